#include "config/frm_import_spam.h"

namespace quorvel {

TfrmImportSpam::TfrmImportSpam() : Form("frmImportSpam", "Import new keywords") {
    lblHint.caption =
        "A quick way to enter new SPAM subject keywords is to paste them into the box above or type them in.  They "
        "should be entered one per line.  This will allow you to quickly expand the number of keywords that Quorvel "
        "searches for.";
    btOK.caption = "OK";
    btCancel.caption = "Cancel";
}

void TfrmImportSpam::open(const std::string& title) {
    lblTitle.caption = title;
    Memo1.text.clear();
    modalResult = ModalResult::None;
    changed();
}

std::vector<std::string> TfrmImportSpam::lines() const {
    std::vector<std::string> result;
    const std::string& text = Memo1.text;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t stop = end;
        if (stop > start && end < text.size() && text[stop - 1] == '\r') --stop;
        result.push_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return result;
}

void TfrmImportSpam::btOKClick() {
    const std::vector<std::string> all = lines();
    std::string text;
    text.reserve(Memo1.text.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i > 0 && all[i] == all[i - 1]) continue;
        text += all[i];
        text += '\n';
    }
    Memo1.text = std::move(text);
    modalResult = ModalResult::Ok;
    changed();
}

void TfrmImportSpam::btCancelClick() {
    modalResult = ModalResult::Cancel;
    changed();
}

}  // namespace quorvel
