#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quorvel {

class Registry;

// The fields of the first mailbox that an account look-up may fill.
struct MailboxFields {
    std::string server;
    std::string user;
};

// Where the look-ups find the user's other mail programs: the registry's
// emulation of their keys, and the user's folders and desktop on this system.
// A real start takes them from the process; tests point them at fixtures.
struct MailSetupSources {
    const Registry* registry = nullptr;
    std::string home;
    std::string xdgConfigHome;  // "" means home/.config
    std::string xdgDataHome;    // "" means home/.local/share
    std::string xdgDataDirs;    // colon-separated; "" means /usr/local/share:/usr/share
    std::string path;           // the program search path, colon-separated
    // The desktop file name of the handler of mailto links, or "".
    std::function<std::string()> mailtoHandler;

    // The environment of this process; the mailto handler is asked of
    // `xdg-mime query default x-scheme-handler/mailto`.
    static MailSetupSources fromProcess(const Registry& registry);
};

// The account look-ups. Each reads only, and changes `fields` only where it
// found something; missing keys, values and files leave them as they were.
void lookUpInternetAccountManager(const Registry& registry, MailboxFields& fields);
void lookUpEudora(const Registry& registry, MailboxFields& fields);
void lookUpNetscape(const Registry& registry, MailboxFields& fields);
// The first POP3 account of Thunderbird's default profile.
void lookUpThunderbird(const MailSetupSources& sources, MailboxFields& fields);
// The account "default" of mpop's configuration file.
void lookUpMpop(const MailSetupSources& sources, MailboxFields& fields);

// Every account look-up in turn, each only while the server is still empty.
void lookUpFirstAccount(const MailSetupSources& sources, MailboxFields& fields);

// The mail program: Eudora's registered path when that file exists, else the
// registered mailto command, else the desktop's handler of mailto links.
// "" when nothing is found.
std::string lookUpMailProgram(const MailSetupSources& sources);

// The program part of a registered mailto command: cut after "EXE", or for a
// RUNDLL32 command the command without its last three characters (" %1").
std::string mailProgramOfMailtoCommand(const std::string& command);

// The desktop's mailto handler as something the shell can start: its
// program when the handler's Exec line is the program and field codes only,
// else the path of its desktop file. "" when none is found.
std::string desktopMailtoProgram(const MailSetupSources& sources);

// Runs a program and returns the first line of its output, or "" when it
// cannot be run or fails. The program's output is capped at a few kilobytes.
std::string firstLineOfCommand(const std::vector<std::string>& argv);

}  // namespace quorvel
