#include "config/frm_headers.h"

#include <charconv>

namespace quorvel {

namespace {

const std::vector<std::string> kSuggestions = {
    "X-1",
    "X-Advertisement",
    "X-Authentication-Warning",
    "X-BulkEmail",
    "X-Distribution: Bulk",
    "X-Distribution: Mass",
    "X-Distribution: Moderate",
    "X-Mailer: Emailer Platinum",
    "X-Mailer: Extractor",
    "X-Mailer: eMarksman",
    "X-Mailer: Floodgate",
    "X-Mailer: Group Mail",
    "X-Mailer: Millennium Mailer",
    "X-Removal",
    "X-Sender: News Breaker"};

constexpr int kEndsWith = 4;

// The leading decimal number of a text; 0 when it has none or it is too large.
int leadingNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return 0;
    return value;
}

std::string mailboxEntry(int n, const std::string& user, const std::string& server) {
    return std::to_string(n) + ") " + user + " - server " + server;
}

}  // namespace

TfrmHeaders::TfrmHeaders(Dialogs& dialogs, TfrmInternet& internet)
    : RuleDialog("frmHeaders", "Header characteristics", RuleTableKind::Header, dialogs), internet_(internet) {
    lblHeading.caption = "The E-mail header characteristics";
    lblExplanation.caption =
        "If text in the e-mail header line follows any of these patterns it will be marked for deletion since it "
        "looks like a potential spam.";
    rbHeader.caption = "Message Header";
    rbReplyTomatch.caption = "The Sender address does not match the 'Reply-to' address";
    rbTo.caption = "The 'To' address does not contain:";
    rbFromEqualsTo.caption = "The Sender address equals the 'To' address field";
    cbWhat.items = operatorItems(kOperators);
    cbHeader.items = kSuggestions;
    cbCase.caption = "&Check if case matters (upper/lower)";
    lblMailBox.caption = "For Mailbox:";
    lblMark.caption = "Mark message with :";
    rbCheck.caption = "check &mark";
    rbQuestion.caption = "&question mark";
    lblNote.caption = "Note: Only messages with a check mark will be deleted.";
    btCountry.caption = "Block out a country";
    newRule();
}

void TfrmHeaders::listMailboxes(int keep) {
    cbMailBox.items.clear();
    for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n) {
        const std::string server = accounts_ ? accounts_->serverOf(n) : std::string();
        if (!server.empty())
            cbMailBox.items.push_back(mailboxEntry(n, accounts_->userOf(n), server));
        else if (n == keep)
            cbMailBox.items.push_back(mailboxEntry(n, std::string(), std::string()));
    }
    cbMailBox.itemIndex = cbMailBox.items.empty() ? -1 : 0;
}

void TfrmHeaders::newRule() {
    Batch batch(*this);
    modalResult = ModalResult::None;
    focusedControl.clear();
    listMailboxes(0);
    cbWhat.itemIndex = 0;
    cbHeader.text = kSuggestions.front();
    cbCase.checked = false;
    edTo.text.clear();
    lblCountry.caption.clear();
    setMark(rbCheck, rbQuestion, true);
    btCountry.visible = true;
    chooseForm(rbHeader);
}

void TfrmHeaders::fillFromRow(const RuleTable& table, int row) {
    Batch batch(*this);
    modalResult = ModalResult::None;
    focusedControl.clear();
    const std::string& what = table.cell(1, row);
    const std::string& matches = table.cell(2, row);
    cbWhat.itemIndex = operatorIndex(what, kOperators);
    cbHeader.text = matches;
    cbCase.checked = table.cell(3, row) == "Yes";
    setMark(rbCheck, rbQuestion, table.cell(4, row) == "Yes");
    edTo.text.clear();
    lblCountry.caption.clear();
    btCountry.visible = false;

    const bool mailboxForm = what.find(kToDoesNotContain) != std::string::npos;
    const std::size_t mark = matches.find(kMailBoxMark);
    const int mailbox =
        !mailboxForm || mark == std::string::npos
            ? 0
            : leadingNumber(std::string_view(matches).substr(mark + std::string_view(kMailBoxMark).size()));
    listMailboxes(mailbox);
    Control* form = &rbHeader;
    if (matches == kNotReplyTo) {
        form = &rbReplyTomatch;
    } else if (matches == kEqualsTo) {
        form = &rbFromEqualsTo;
    } else if (mailboxForm) {
        form = &rbTo;
        edTo.text = matches.substr(0, mark);
        for (std::size_t i = 0; i < cbMailBox.items.size(); ++i)
            if (leadingNumber(cbMailBox.items[i]) == mailbox) cbMailBox.itemIndex = static_cast<int>(i);
    }
    if (form != &rbHeader) cbHeader.text.clear();
    chooseForm(*form);
}

void TfrmHeaders::writeRow(RuleTable& table, int row) const {
    table.setCell(1, row, storedKeyword(cbWhat.itemIndex));
    table.setCell(2, row, cbHeader.text);
    table.setCell(3, row, yesNo(cbCase.checked));
    table.setCell(4, row, yesNo(rbCheck.checked));
    if (table.cell(5, row).empty()) table.setCell(5, row, "0");
    if (rbReplyTomatch.checked) {
        table.setCell(1, row, kSender);
        table.setCell(2, row, kNotReplyTo);
        table.setCell(3, row, "No");
    } else if (rbTo.checked) {
        const std::string address = edTo.text.substr(0, edTo.text.find(kMailBoxMark));
        std::string number;
        if (cbMailBox.itemIndex >= 0 && cbMailBox.itemIndex < static_cast<int>(cbMailBox.items.size())) {
            const std::string& entry = cbMailBox.items[static_cast<std::size_t>(cbMailBox.itemIndex)];
            number = entry.substr(0, entry.find(')'));
        }
        table.setCell(1, row, kToDoesNotContain);
        table.setCell(2, row, address + kMailBoxMark + number);
        table.setCell(3, row, "No");
    } else if (rbFromEqualsTo.checked) {
        table.setCell(1, row, kSender);
        table.setCell(2, row, kEqualsTo);
        table.setCell(3, row, "No");
    }
    CheckGridAdv(table, row, rbCheck.checked);
}

std::optional<RuleDialog::Refusal> TfrmHeaders::refusal() const {
    // The texts are taken as typed: a header text of spaces is a pattern too.
    if (rbHeader.checked && cbHeader.text.empty()) return Refusal{kBlankHeader, "cbHeader"};
    if (rbTo.checked && edTo.text.empty()) return Refusal{kBlankTo, "edTo"};
    return std::nullopt;
}

void TfrmHeaders::btOKClick() {
    if (!refused()) accept();
}

void TfrmHeaders::chooseForm(Control& option) {
    for (Control* c : {&rbHeader, &rbReplyTomatch, &rbTo, &rbFromEqualsTo}) c->checked = c == &option;
    rbReplyTomatchClick();
}

void TfrmHeaders::rbReplyTomatchClick() {
    const bool header = rbHeader.checked;
    cbWhat.visible = header;
    cbHeader.visible = header;
    cbCase.visible = header;
    lblCountry.visible = header;
    edTo.visible = rbTo.checked;
    lblMailBox.visible = rbTo.checked;
    cbMailBox.visible = rbTo.checked;
    updatePreview();
}

void TfrmHeaders::btCountryClick() {
    internet_.FormShow();
    if (dialogs_.showModal(internet_) != ModalResult::Ok || internet_.suffix.empty()) return;
    Batch batch(*this);
    cbWhat.itemIndex = kEndsWith;
    cbHeader.text = internet_.suffix;
    cbCase.checked = false;
    lblCountry.caption = internet_.countryName;
    chooseForm(rbHeader);
}

void TfrmHeaders::cbWhatClick() { updatePreview(); }

void TfrmHeaders::cbHeaderChange(const std::string& text) {
    cbHeader.text = text;
    updatePreview();
}

void TfrmHeaders::cbCaseClick(bool checked) {
    cbCase.checked = checked;
    updatePreview();
}

void TfrmHeaders::edToChange(const std::string& text) {
    edTo.text = text;
    updatePreview();
}

void TfrmHeaders::cbMailBoxClick(int index) {
    cbMailBox.itemIndex = index;
    updatePreview();
}

void TfrmHeaders::rbCheckClick() {
    setMark(rbCheck, rbQuestion, true);
    updatePreview();
}

void TfrmHeaders::rbQuestionClick() {
    setMark(rbCheck, rbQuestion, false);
    updatePreview();
}

}  // namespace quorvel
