// Writes the throw-away profile of scripts/demo: the settings (one mailbox on
// the demo's local server over STARTTLS, its password enciphered as the
// program stores it,
// deletions confirmed and followed by a fresh listing) and, in the program
// folder, spam rules that mark the sample spam, with the unknown-domain check
// off so that judging never asks a DNS server.
// Usage: demo_profile PROGRAM_FOLDER SETTINGS_FOLDER SERVER USER PASSWORD [SECURITY]
// SECURITY is "None", "STARTTLS" (the default) or "SSL/TLS".
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "config/password_cipher.h"
#include "config/rule_table.h"
#include "config/settings_store.h"
#include "config/spam_rules.h"
#include "mail/mail_security.h"

namespace {

void addRules(quorvel::RuleTable& table, std::initializer_list<std::initializer_list<const char*>> rules) {
    table.setRowCount(static_cast<int>(rules.size()) + 1);
    int row = 1;
    for (const auto& rule : rules) {
        int col = 0;
        for (const char* cell : rule) table.setCell(col++, row, cell);
        quorvel::CheckGridAdv(table, row, table.cell(4, row) == "Yes");
        ++row;
    }
}

}  // namespace

int main(int argc, char** argv) {
    int security = static_cast<int>(quorvel::TmsSecurity::STARTTLS);
    if (argc == 7) {
        const std::string name = argv[6];
        security = -1;
        for (std::size_t i = 0; i < quorvel::kSecurityNames.size(); ++i)
            if (name == quorvel::kSecurityNames[i]) security = static_cast<int>(i);
    }
    if ((argc != 6 && argc != 7) || security < 0) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER SETTINGS_FOLDER SERVER USER PASSWORD [None|STARTTLS|SSL/TLS]\n",
                     argv[0]);
        return 2;
    }
    const std::string programFolder = argv[1], settingsFolder = argv[2];
    try {
        std::filesystem::create_directories(programFolder);
        std::filesystem::create_directories(settingsFolder);

        quorvel::SettingsStore store(settingsFolder);
        quorvel::TPasswordCipher cipher;
        cipher.Key = "qiro";
        store.writeString("Server", "Version161", "161");
        store.writeString("Server", "Server1", argv[3]);
        store.writeString("Server", "Mailbox1", argv[4]);
        store.writeString("Server", "Passwd1", cipher.encipher(argv[5]));
        store.writeInteger("Server", "Security1", security);
        store.writeInteger("Server", "Which", 1);
        // The demo's password stays in its throw-away profile, never in the
        // user's own keyring.
        store.writeBool("Server", "Keyring", false);
        store.writeBool("General", "Automatic", false);
        store.writeBool("General", "Ask", true);
        // After a deletion the mailbox is listed again (no mail program to launch).
        store.writeBool("General", "Launch", false);
        store.writeBool("General", "Exit", false);
        store.writeBool("General", "SysTray", false);
        store.writeString("General", "Logfile", programFolder + "/logfile.txt");

        quorvel::SpamRules rules(programFolder);
        rules.SetGridHeadings();
        // Subject rules: what, matches, case, delete?, hits. A rule that does
        // not delete puts the question mark on the message instead.
        addRules(rules.gridSubject, {{"", "Contains", "viagra", "No", "Yes", "0"},
                                     {"", "Contains", "winner", "No", "Yes", "0"},
                                     {"", "Contains", "free money", "No", "Yes", "0"},
                                     {"", "Contains", "limited time", "No", "No", "0"}});
        addRules(rules.gridFrom, {{"", "Domain name", "Contains", "cheap-meds", "Yes", "0"}});
        rules.options.Valid = false;  // no unknown-domain check: nothing leaves the machine
        rules.Savesettings();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "demo_profile: %s\n", error.what());
        return 1;
    }
    return 0;
}
