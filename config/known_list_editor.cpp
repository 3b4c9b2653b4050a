#include "config/known_list_editor.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/utf8.h"

namespace quorvel {

namespace {

// Strict UTF-8: no overlong forms, surrogates, code points past U+10FFFF or
// noncharacters, so every text it passes a viewer also reads as UTF-8.
bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const int length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4                                   ? 4
                                                                                            : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) return false;
        char32_t code = lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
            (code >= 0xFDD0 && code <= 0xFDEF) || (code & 0xFFFE) == 0xFFFE)
            return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

// Windows-1252 differs from Latin-1 only in 0x80 to 0x9F.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        appendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte);
    }
    return out;
}

// Calls line(text) for every line, without its line break; the result, with
// each line's own break, is the new text.
template <typename F>
std::string eachLine(std::string_view text, F line) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\r' && text[i] != '\n') continue;
        if (i == text.size() && start == i) break;
        out += line(text.substr(start, i - start));
        if (i == text.size()) break;
        const std::size_t breakLength = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        out += text.substr(i, breakLength);
        i += breakLength - 1;
        start = i + 1;
    }
    return out;
}

}  // namespace

KnownListEditor::KnownListEditor(KnownList& list, std::string path) : list_(list), path_(std::move(path)) {
    btEditKnown.caption = "&Edit";
    btSaveChanges.caption = "&Save";
    btCancelChanges.caption = "Cancel";
    pnlSorting.caption = "Re-building list ... stand by";
    pnlSorting.visible = false;
    btSaveChanges.enabled = false;
    btCancelChanges.enabled = false;
}

void KnownListEditor::lockEditing() {
    readOnly = true;
    btSaveChanges.enabled = false;
    btCancelChanges.enabled = false;
}

void KnownListEditor::LoadMemoofKnownSpammers() {
    const auto bytes = fileExists(path_) ? readFileBytes(path_) : std::nullopt;
    const bool found = bytes.has_value();
    if (found) {
        readAs_.clear();
        const std::size_t lineBreak = bytes->find_first_of("\r\n");
        if (lineBreak != std::string::npos)
            lineEnd_ = bytes->compare(lineBreak, 2, "\r\n") == 0 ? "\r\n" : bytes->substr(lineBreak, 1);
        if (isUtf8(*bytes)) {
            text = *bytes;
        } else {
            text = eachLine(*bytes, [this](std::string_view line) {
                if (isUtf8(line)) return std::string(line);
                std::string shown = windows1252ToUtf8(line);
                readAs_[shown];
                return shown;
            });
            // A valid line may show as a converted one does: both keep their bytes.
            eachLine(*bytes, [this](std::string_view line) {
                const auto same = readAs_.find(isUtf8(line) ? std::string(line) : windows1252ToUtf8(line));
                if (same != readAs_.end()) same->second.emplace_back(line);
                return std::string();
            });
        }
        ++opened;
    }
    pnlSorting.caption = found ? "Re-building list ... stand by" : "Could not locate the known spammer blacklist!";
    pnlSorting.visible = !found;
    btEditKnown.visible = btSaveChanges.visible = btCancelChanges.visible = found;
}

void KnownListEditor::btEditKnownClick() {
    readOnly = false;
    btSaveChanges.enabled = true;
    btCancelChanges.enabled = true;
}

void KnownListEditor::btSaveChangesClick() {
    pnlSorting.caption = "Re-building list ... stand by";
    pnlSorting.visible = true;
    lockEditing();

    const std::string bytes = fileForm();
    list_.assign(filterKnownListLines(bytes));
    if (fileExists(path_)) {
        std::string file = list_.toFileBytes();
        if (lineEnd_ != "\r\n") {
            std::string kept;
            kept.reserve(file.size());
            eachLine(file, [&](std::string_view line) {
                kept.append(line).append(lineEnd_);
                return std::string();
            });
            file = std::move(kept);
        }
        writeFileAtomically(path_, file);
    }

    const int keepTop = topLine;
    LoadMemoofKnownSpammers();
    topLine = keepTop;
    pnlSorting.visible = !fileExists(path_);
}

void KnownListEditor::btCancelChangesClick() {
    lockEditing();
    LoadMemoofKnownSpammers();
}

std::string KnownListEditor::fileForm() const {
    if (readAs_.empty()) return text;
    // The k-th line showing as a converted line did takes the bytes of the
    // k-th file line that showed so; edits keep the order of the lines left alone.
    std::unordered_map<std::string_view, std::size_t> used;
    return eachLine(text, [&](std::string_view line) {
        const auto found = readAs_.find(std::string(line));
        if (found == readAs_.end()) return std::string(line);
        const std::vector<std::string>& originals = found->second;
        std::size_t& k = used[found->first];
        return originals[std::min(k++, originals.size() - 1)];
    });
}

std::size_t KnownListEditor::lineCount() const {
    // Counted in place: the list may hold a million lines, and the count is
    // shown after every change of a table.
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++breaks;
        } else if (text[i] == '\r') {
            ++breaks;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
    }
    const bool open = !text.empty() && text.back() != '\n' && text.back() != '\r';
    return breaks + (open ? 1 : 0);
}

}  // namespace quorvel
