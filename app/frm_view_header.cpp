#include "app/frm_view_header.h"

namespace quorvel {

TfrmViewHeader::TfrmViewHeader(Mode mode) : Form("frmViewHeader", "View Selected Headers"), mode_(mode) {
    btOK.caption = "OK";
    lblMoreParts.visible = false;
    FormShow();
}

void TfrmViewHeader::addLine(std::string_view line) {
    Memo1.text.append(line);
    Memo1.text.push_back('\n');
}

void TfrmViewHeader::addParts(std::initializer_list<std::pair<std::string_view, std::string_view>> parts) {
    for (const auto& [text, charSet] : parts) {
        if (!charSet.empty() && !text.empty()) spans.push_back({Memo1.text.size(), text.size(), std::string(charSet)});
        Memo1.text.append(text);
    }
    Memo1.text.push_back('\n');
}

std::vector<std::string> TfrmViewHeader::lines() const {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end; (end = Memo1.text.find('\n', start)) != std::string::npos; start = end + 1)
        result.push_back(Memo1.text.substr(start, end - start));
    if (start < Memo1.text.size()) result.push_back(Memo1.text.substr(start));
    return result;
}

void TfrmViewHeader::setMoreParts(const std::vector<std::pair<std::string, std::size_t>>& parts) {
    lblMoreParts.visible = !parts.empty();
    if (parts.empty()) {
        lblMoreParts.caption.clear();
        return;
    }
    // A hostile message may carry thousands of parts: a few are named.
    constexpr std::size_t kNamed = 5;
    std::string text = "Only the text of the first part is shown. " + std::to_string(parts.size()) + " more part" +
                       (parts.size() == 1 ? "" : "s") + ": ";
    for (std::size_t i = 0; i < parts.size() && i < kNamed; ++i) {
        if (i > 0) text += ", ";
        std::string name = parts[i].first.empty() ? std::string("(no name)") : parts[i].first;
        for (char& c : name)
            if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        text += name + " (" +
                std::to_string(parts[i].second) + " bytes)";
    }
    if (parts.size() > kNamed) text += " and " + std::to_string(parts.size() - kNamed) + " more";
    lblMoreParts.caption = text;
    changed();
}

void TfrmViewHeader::FormShow() {
    switch (mode_) {
    case Mode::Headers: lblTitle.caption = kHeadersTitle; break;
    case Mode::Reasons: lblTitle.caption = kReasonsTitle; break;
    case Mode::Body: lblTitle.caption = kBodyTitle; break;
    }
    modalResult = ModalResult::None;
    changed();
}

void TfrmViewHeader::btOKClick() {
    modalResult = ModalResult::Ok;
    changed();
}

}  // namespace quorvel
