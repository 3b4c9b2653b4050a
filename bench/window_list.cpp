// Lists a mailbox in the real main window, as a user does: the whole program
// (offscreen), its settings pointing at the server, "Check e-mail" clicked.
// Prints how long the click took, the rows judged and drawn included; the
// output matches pop3_list's so window_compare.sh can put them side by side.
// Usage: window_list SERVER PORT USER PASSWORD
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <chrono>
#include <cstdio>

#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "ui/application.h"

namespace {

// The unknown-domain check stays on the machine: every domain exists.
struct EveryDomainExists : quorvel::DomainResolver {
    void resolveDomain(const std::string&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s SERVER PORT USER PASSWORD\n", argv[0]);
        return 2;
    }
    quorvel::ui::QuorvelApplication app(argc, argv);
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    {
        quorvel::SettingsStore store(path + "/settings");
        quorvel::TPasswordCipher cipher;
        cipher.Key = "qiro";
        store.writeString("Server", "Version161", "161");
        store.writeString("Server", "Server1", std::string(argv[1]) + ":" + argv[2]);
        store.writeString("Server", "Mailbox1", argv[3]);
        store.writeString("Server", "Passwd1", cipher.encipher(argv[4]));
        store.writeString("General", "Logfile", path + "/log.txt");
    }
    quorvel::ui::Desktop desktop(quorvel::ui::Desktop::Folders{path, path + "/settings"});
    desktop.start();
    quorvel::TfrmMain& main = *desktop.program.frmMain();
    EveryDomainExists resolver;
    main.setDomainResolver(resolver);
    // A few subject rules, so that judging does its work and marks rows.
    quorvel::RuleTable& subjects = desktop.program.frmOptionsMain()->rules.gridSubject;
    const char* rules[][6] = {{"", "Contains", "viagra", "No", "Yes", "0"},
                              {"", "Starts with", "Offer", "No", "Yes", "0"},
                              {"", "Contains", "message 7", "No", "Yes", "0"}};
    subjects.setRowCount(4);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 6; ++col) subjects.setCell(col, row + 1, rules[row][col]);

    // The window on screen and settled, as when the user clicks.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 50);

    auto* check = desktop.mainWindow->findChild<QToolButton*>("btList");
    const auto start = std::chrono::steady_clock::now();
    check->click();
    QApplication::processEvents();  // what the listing left to draw
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    const int rows = desktop.mainWindow->messageList()->model()->rowCount();
    std::printf("%d messages, %d marked, %.3f s\n", rows, main.ListView1.markedCount(), took.count());
    main.FormCloseQuery();
    return rows == static_cast<int>(main.ListView1.rows.size()) ? 0 : 1;
}
