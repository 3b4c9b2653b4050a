#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/silent_desktop.h"

namespace quorvel::cli {

// The dialogs of a program without windows (its tray, sound and shell are
// the silent ones). A message box the shared logic raises is kept for the
// caller to report, and every question is answered with No: nothing may be
// confirmed on the user's behalf.
class HeadlessDialogs : public Dialogs {
public:
    ModalResult messageBox(MessageKind kind, const std::string& text, MessageButtons buttons) override {
        if (kind == MessageKind::Error || kind == MessageKind::Warning) errors.push_back(text);
        return buttons == MessageButtons::Ok ? ModalResult::Ok : ModalResult::No;
    }
    ModalResult showModal(Form&) override { return ModalResult::Cancel; }
    std::optional<std::string> openFileName(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFileName(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    std::vector<std::string> errors;
};

}  // namespace quorvel::cli
