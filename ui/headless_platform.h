#pragma once

#include <cstdio>

#include "platform/silent_desktop.h"
#include "ui/qt_platform.h"

namespace quorvel::ui {

// The toolkit's event pump and timers with no one to ask: messages go to the
// standard error, questions and choosers answer as if cancelled, no tray and
// no sound. For programs that draw windows without a user (pictures and
// benchmarks).
class HeadlessPlatform {
public:
    explicit HeadlessPlatform(Clock& clock) : platform{pump, timers, clock, dialogs, tray, sound, shell, ".", "."} {}

    struct PrintingDialogs : Dialogs {
        ModalResult messageBox(MessageKind, const std::string& text, MessageButtons) override {
            std::fprintf(stderr, "%s\n", text.c_str());
            return ModalResult::Ok;
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
    };
    QtEventPump pump;
    QtTimers timers;
    PrintingDialogs dialogs;
    NoTrayIcon tray;
    NoSound sound;
    QtShell shell;
    Platform platform;
};

}  // namespace quorvel::ui
