#include "log/frm_chart.h"

#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

Control checkBox(const char* caption) {
    Control c = captioned(caption);
    c.checked = true;
    return c;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

TDateTime dateOnly(TDateTime value) {
    return std::floor(value);
}

}  // namespace

// ---- Date range ----

TfrmSelectDateRange::TfrmSelectDateRange(Platform& platform)
    : Form("frmSelectDateRange", "Select Date Range"), platform_(platform) {
    lblTitle = captioned("Select a date range");
    rbBetween = captioned("between");
    rbBetween.checked = true;
    lblAnd = captioned("and");
    rbMonths = captioned("during the previous");
    edMonths.value = 1;
    lblMonths = captioned("months");
    rbDays = captioned("during the previous");
    edDays.value = 7;
    lblDays = captioned("days");
    btOK = captioned("OK");
    btCancel = captioned("Cancel");
}

void TfrmSelectDateRange::computeRange() {
    const TDateTime today = dateOnly(platform_.clock.now());
    edMonths.value = std::clamp(edMonths.value, 1, kMaxMonths);
    edDays.value = std::clamp(edDays.value, 1, kMaxDays);
    if (rbMonths.checked) {
        end = today;
        start = monthsBefore(today, edMonths.value);
    } else if (rbDays.checked) {
        end = today;
        start = end - edDays.value;
    } else {
        start = startDate;
        end = endDate;
    }
    dtStart.enabled = dtEnd.enabled = rbBetween.checked;
    edMonths.enabled = rbMonths.checked;
    edDays.enabled = rbDays.checked;
}

void TfrmSelectDateRange::FormShow() {
    computeRange();
    changed();
}

void TfrmSelectDateRange::choose(Control& choice) {
    for (Control* c : {&rbBetween, &rbMonths, &rbDays}) c->checked = c == &choice;
    computeRange();
    changed();
}

void TfrmSelectDateRange::rbBetweenClick() { choose(rbBetween); }
void TfrmSelectDateRange::rbMonthsClick() { choose(rbMonths); }
void TfrmSelectDateRange::rbDaysClick() { choose(rbDays); }

void TfrmSelectDateRange::dtStartExit() {
    if (startDate > endDate) endDate = startDate;
    computeRange();
    changed();
}

void TfrmSelectDateRange::btOKClick() {
    computeRange();
    modalResult = ModalResult::Ok;
    visible = false;
    changed();
}

void TfrmSelectDateRange::btCancelClick() {
    modalResult = ModalResult::Cancel;
    visible = false;
    changed();
}

// ---- Chart window ----

TfrmChart::TfrmChart(Platform& platform) : Form("frmChart", "Chart of Activity"), platform_(platform) {
    start = encodeDateTime({1998, 1, 1});
    end = platform_.clock.now();
    cbHourFound = checkBox("Found");
    cbHourDeleted = checkBox("Deleted");
    cbHourChecked = checkBox("Checked");
    cbDayFound = checkBox("Found");
    cbDayDeleted = checkBox("Deleted");
    cbDayChecked = checkBox("Checked");
    lblSelect = captioned("&Select :");
    cbMailbox.items = {kAllMailboxes};
    cbMailbox.itemIndex = 0;
    btRedraw = captioned("Redraw", "Click here after changing the mailbox to view");
    btDateRange = captioned("Date Range");
    btHints = captioned("Hints", "Hints on graph scroll/zoom");
    btPrint = captioned("Print", "Print this page");
    btSavePicture = captioned("Save picture...", "Save this chart as a PNG or SVG picture");
    btClose = captioned("Close", "Return to Quorvel");
    pnlHints.visible = false;
    lblHintsTitle = captioned("Graph Zoom/Navigation Hints");
    lblHintZoom = captioned("Left click and drag mouse from upper left to lower right to zoom");
    lblHintMove = captioned("Right click and drag mouse to move graph");
    lblHintReset = captioned("Left click and drag mouse from lower right to upper left to reset");
    btHintsOK = captioned("OK");
    frmSelectDateRange = std::make_unique<TfrmSelectDateRange>(platform_);
}

TfrmChart::~TfrmChart() = default;

void TfrmChart::entriesRead() {
    cbMailbox.items = entries.mailboxes.empty() ? std::vector<std::string>{kAllMailboxes} : entries.mailboxes;
    cbMailbox.itemIndex = 0;
    changed();
}

void TfrmChart::waitCursor(bool on) {
    if (OnWaitCursor) OnWaitCursor(on);
}

std::string TfrmChart::title() const {
    const FormatSettings& fs = platform_.clock.formatSettings();
    const std::string mailbox = cbMailbox.itemIndex >= 0 && cbMailbox.itemIndex < static_cast<int>(cbMailbox.items.size())
                                    ? cbMailbox.items[static_cast<std::size_t>(cbMailbox.itemIndex)]
                                    : std::string();
    return mailbox + " from " + formatDateTime("ddddd", start, fs) + " thru " + formatDateTime("ddddd", end, fs);
}

void TfrmChart::FormShow() {
    lblTitle.caption = title();
    changed();
}

void TfrmChart::Redraw() {
    waitCursor(true);
    struct Restore {
        TfrmChart& form;
        ~Restore() { form.waitCursor(false); }
    } restore{*this};
    lblTitle.caption = title();
    ChartFilter filter;
    filter.start = start;
    filter.end = end;
    filter.allMailboxes = cbMailbox.itemIndex <= 0;
    if (!filter.allMailboxes && cbMailbox.itemIndex < static_cast<int>(cbMailbox.items.size()))
        filter.mailbox = std::string(trimmed(cbMailbox.items[static_cast<std::size_t>(cbMailbox.itemIndex)]));
    tally = tallyActivity(entries, filter, platform_.clock.formatSettings(), platform_.clock.now());
    ++drawn;
    changed();
}

void TfrmChart::btRedrawClick() { Redraw(); }

void TfrmChart::btDateRangeClick() {
    TfrmSelectDateRange& dialog = *frmSelectDateRange;
    dialog.startDate = dateOnly(start);
    dialog.endDate = dateOnly(end);
    dialog.modalResult = ModalResult::None;
    if (platform_.dialogs.showModal(dialog) != ModalResult::Ok) return;
    dialog.computeRange();
    start = dialog.start;
    end = dialog.end;
    Redraw();
}

void TfrmChart::btHintsClick() {
    pnlHints.visible = true;
    changed();
}

void TfrmChart::btHintsOKClick() {
    pnlHints.visible = false;
    changed();
}

void TfrmChart::btPrintClick() {
    if (!output_) return;
    if (activePage == EmailTraffic)
        output_->printGrid(activePage, "E-mail traffic");
    else if (activePage == SpamDeleted)
        output_->printGrid(activePage, "Deleted Spam");
    else
        output_->previewChart(activePage);
}

void TfrmChart::btSavePictureClick() {
    if (!output_ || isGridPage(activePage)) return;
    const auto path = platform_.dialogs.saveFileName(
        "Save picture", "PNG pictures (*.png)|*.png|SVG pictures (*.svg)|*.svg", ".png",
        std::string(kPages[static_cast<std::size_t>(activePage)]) + ".png");
    if (!path) return;
    if (!output_->savePicture(activePage, *path))
        platform_.dialogs.messageBox(MessageKind::Error, "Could not save the picture as " + *path + ".");
}

void TfrmChart::btCloseClick() {
    visible = false;
    modalResult = ModalResult::Ok;
    changed();
}

void TfrmChart::pageChanged(int page) {
    activePage = std::clamp(page, 0, static_cast<int>(kPages.size()) - 1);
    btSavePicture.enabled = !isGridPage(activePage);
    changed();
}

void TfrmChart::cbMailboxChange(int index) {
    if (index >= 0 && index < static_cast<int>(cbMailbox.items.size())) cbMailbox.itemIndex = index;
}

int TfrmChart::gridRowCount(Page grid) const {
    const std::size_t rows = grid == EmailTraffic ? tally.checkRows.size() : tally.deletionRows.size();
    return std::max(1, static_cast<int>(rows));
}

std::string TfrmChart::gridCell(Page grid, int row, int column) const {
    if (row < 0 || column < 0) return {};
    const auto r = static_cast<std::size_t>(row);
    if (grid == EmailTraffic) {
        if (r >= tally.checkRows.size()) return {};
        const MailCheckEntry& e = entries.mailChecks[tally.checkRows[r]];
        const std::string_view cells[] = {e.date, e.time, e.server, e.mailbox, e.count};
        return column < 5 ? std::string(trimmed(cells[column])) : std::string();
    }
    if (r >= tally.deletionRows.size()) return {};
    const DeletedSpamEntry& e = entries.deletedSpam[tally.deletionRows[r]];
    const std::string_view cells[] = {e.date, e.time, e.server, e.mailbox, e.size, e.sender, e.domain};
    return column < 7 ? std::string(trimmed(cells[column])) : std::string();
}

std::string TfrmChart::slotLabel(int slot) const {
    const TDateTime time = (slot / 2 * 60 + slot % 2 * 30) / 1440.0;
    const FormatSettings& fs = platform_.clock.formatSettings();
    return formatDateTime(fs.shortTimeFormat, time, fs);
}

const std::string& TfrmChart::dayName(int weekday) const {
    return platform_.clock.formatSettings().longDayNames[static_cast<std::size_t>(std::clamp(weekday, 0, 6))];
}

std::string TfrmChart::nowText(const std::string& format) const {
    return formatDateTime(format, platform_.clock.now(), platform_.clock.formatSettings());
}

}  // namespace quorvel
