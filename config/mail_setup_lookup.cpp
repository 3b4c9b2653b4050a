#include "config/mail_setup_lookup.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>

#include "config/registry.h"
#include "platform/files.h"
#include "platform/utf8.h"

extern char** environ;

namespace quorvel {

namespace {

constexpr const char* kCurrentUser = "HKEY_CURRENT_USER\\";
constexpr const char* kLocalMachine = "HKEY_LOCAL_MACHINE\\";
constexpr const char* kEudoraAppPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Eudora.exe";
constexpr const char* kMailtoCommand = "SOFTWARE\\Classes\\mailto\\shell\\open\\command";
// Nobody's configuration file is this large; a bigger one is not read.
constexpr std::size_t kMaxConfigFile = 4 * 1024 * 1024;

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string upperCase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), upper);
    return s;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && upperCase(a) == upperCase(b);
}

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = s.find(separator, start);
        parts.push_back(s.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result = split(text, '\n');
    for (auto& line : result)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    return result;
}

std::optional<std::string> readConfigFile(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > kMaxConfigFile)
        return std::nullopt;
    return readFileBytes(path);
}

// Another program's value; a key, a value or a type that is not there reads
// as nothing, since a look-up must never get in the user's way.
std::string registryValue(const Registry& registry, const std::string& key, const std::string& name) {
    try {
        return registry.readString(key, name).value_or("");
    } catch (const ERegistryException&) {
        return {};
    }
}

// ---- INI files (Eudora's settings, Thunderbird's profile list) ----

struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
};

std::vector<IniSection> parseIni(const std::string& text) {
    std::vector<IniSection> sections;
    for (const std::string& raw : lines(text)) {
        const std::string line = trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const auto close = line.find(']');
            if (close != std::string::npos) sections.push_back({trim(line.substr(1, close - 1)), {}});
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos || sections.empty()) continue;
        std::string value = trim(line.substr(equals + 1));
        // A value in matching quotes is read without them.
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        sections.back().entries.emplace_back(trim(line.substr(0, equals)), value);
    }
    return sections;
}

std::string iniValue(const IniSection& section, const std::string& name) {
    for (const auto& [key, value] : section.entries)
        if (equalsNoCase(key, name)) return value;
    return {};
}

std::string iniValue(const std::vector<IniSection>& sections, const std::string& section, const std::string& name) {
    for (const auto& s : sections)
        if (equalsNoCase(s.name, section)) return iniValue(s, name);
    return {};
}

// The path with its extension replaced (or added), as a Windows program
// names its settings file after its executable.
std::string changeFileExt(const std::string& path, const std::string& ext) {
    const auto dot = path.rfind('.');
    const auto separator = path.find_last_of("/\\:");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return path + ext;
    return path.substr(0, dot) + ext;
}

// ---- Thunderbird ----

// The folders Thunderbird keeps its profiles in, native and packaged.
std::vector<std::string> thunderbirdRoots(const MailSetupSources& s) {
    const std::string config = s.xdgConfigHome.empty() ? joinPath(s.home, ".config") : s.xdgConfigHome;
    return {joinPath(s.home, ".thunderbird"), joinPath(config, "thunderbird"),
            joinPath(s.home, ".var/app/org.mozilla.Thunderbird/.thunderbird"),
            joinPath(s.home, "snap/thunderbird/common/.thunderbird")};
}

std::string profileFolder(const std::string& root, const std::string& path, bool relative) {
    if (path.empty()) return {};
    return relative && path[0] != '/' ? joinPath(root, path) : path;
}

// The profile profiles.ini names as the default: the one an installation
// uses, else the one marked Default=1, else the only one.
std::string defaultProfile(const std::string& root, const std::vector<IniSection>& sections) {
    for (const auto& s : sections)
        if (startsWith(s.name, "Install")) {
            const std::string path = iniValue(s, "Default");
            if (!path.empty()) return profileFolder(root, path, true);
        }
    std::vector<const IniSection*> profiles;
    for (const auto& s : sections)
        if (startsWith(s.name, "Profile")) profiles.push_back(&s);
    const auto folderOf = [&root](const IniSection& s) {
        return profileFolder(root, iniValue(s, "Path"), iniValue(s, "IsRelative") != "0");
    };
    for (const IniSection* p : profiles)
        if (iniValue(*p, "Default") == "1") return folderOf(*p);
    return profiles.size() == 1 ? folderOf(*profiles[0]) : std::string();
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A JavaScript string literal at text[pos]; leaves pos after it.
std::optional<std::string> readJsString(const std::string& text, std::size_t& pos) {
    if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\'')) return std::nullopt;
    const char quote = text[pos++];
    std::string out;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == quote) return out;
        if (c == '\n') return std::nullopt;
        if (c != '\\' || pos >= text.size()) {
            out += c;
            continue;
        }
        const char e = text[pos++];
        const auto hexRun = [&](std::size_t digits) -> std::optional<unsigned> {
            if (pos + digits > text.size()) return std::nullopt;
            unsigned v = 0;
            for (std::size_t i = 0; i < digits; ++i) {
                const int d = hexValue(text[pos + i]);
                if (d < 0) return std::nullopt;
                v = v * 16 + static_cast<unsigned>(d);
            }
            pos += digits;
            return v;
        };
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x':
            if (auto v = hexRun(2)) appendUtf8(out, *v);
            else out += e;
            break;
        case 'u':
            if (auto v = hexRun(4)) appendUtf8(out, *v);
            else out += e;
            break;
        default: out += e; break;
        }
    }
    return std::nullopt;
}

// The user_pref("name", value) lines of prefs.js; string values unescaped,
// other values as written.
std::map<std::string, std::string> parsePrefs(const std::string& text) {
    std::map<std::string, std::string> prefs;
    const std::string call = "user_pref(";
    std::size_t pos = 0;
    while ((pos = text.find(call, pos)) != std::string::npos) {
        pos += call.size();
        const auto skipSpace = [&] {
            while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        };
        skipSpace();
        auto name = readJsString(text, pos);
        if (!name) continue;
        skipSpace();
        if (pos >= text.size() || text[pos] != ',') continue;
        ++pos;
        skipSpace();
        if (auto value = readJsString(text, pos)) {
            prefs[*name] = *value;
        } else {
            const auto end = text.find_first_of(")\n", pos);
            prefs[*name] = trim(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        }
    }
    return prefs;
}

std::string pref(const std::map<std::string, std::string>& prefs, const std::string& name) {
    const auto found = prefs.find(name);
    return found == prefs.end() ? std::string() : found->second;
}

// The servers in the order of the account list; without one, by number.
std::vector<std::string> serversInAccountOrder(const std::map<std::string, std::string>& prefs) {
    std::vector<std::string> servers;
    for (const std::string& account : split(pref(prefs, "mail.accountmanager.accounts"), ',')) {
        const std::string server = pref(prefs, "mail.account." + trim(account) + ".server");
        if (!server.empty()) servers.push_back(server);
    }
    if (!servers.empty()) return servers;
    std::vector<std::pair<long, std::string>> numbered;
    const std::string prefix = "mail.server.server";
    for (const auto& [name, value] : prefs) {
        if (!startsWith(name, prefix) || !endsWith(name, ".type")) continue;
        const std::string server = name.substr(12, name.size() - 12 - 5);  // "serverN"
        const std::string digits = server.substr(6);
        if (digits.empty() || digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        numbered.emplace_back(std::stol(digits), server);
    }
    std::sort(numbered.begin(), numbered.end());
    for (auto& [number, server] : numbered) servers.push_back(server);
    return servers;
}

// ---- mpop ----

// The argument of a configuration line: the rest of the line, or the text
// inside double quotes with backslash escapes.
std::string mpopArgument(const std::string& rest) {
    const std::string arg = trim(rest);
    if (arg.empty() || arg[0] != '"') return arg;
    std::string out;
    for (std::size_t i = 1; i < arg.size(); ++i) {
        if (arg[i] == '"') break;
        if (arg[i] == '\\' && i + 1 < arg.size()) ++i;
        out += arg[i];
    }
    return out;
}

struct MpopAccount {
    std::optional<std::string> host, user;
};

std::optional<MailboxFields> mpopDefaultAccount(const std::string& text) {
    MpopAccount defaults;
    std::map<std::string, MpopAccount> accounts;
    MpopAccount* current = nullptr;
    for (const std::string& raw : lines(text)) {
        const std::string line = trim(raw);
        if (line.empty() || line[0] == '#') continue;
        const auto space = line.find_first_of(" \t");
        const std::string command = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space);
        if (command == "defaults") {
            current = &defaults;
        } else if (command == "account") {
            const std::string arg = trim(rest);
            const auto colon = arg.find(':');
            const std::string name = trim(arg.substr(0, colon));
            MpopAccount account = defaults;
            if (colon != std::string::npos)
                for (const std::string& parent : split(arg.substr(colon + 1), ',')) {
                    const auto found = accounts.find(trim(parent));
                    if (found == accounts.end()) continue;
                    if (found->second.host) account.host = found->second.host;
                    if (found->second.user) account.user = found->second.user;
                }
            current = &(accounts[name] = account);
        } else if (current && command == "host") {
            current->host = mpopArgument(rest);
        } else if (current && command == "user") {
            current->user = mpopArgument(rest);
        }
        // Other commands, "eval" among them, are not ours to run.
    }
    const auto found = accounts.find("default");
    if (found == accounts.end() || !found->second.host || found->second.host->empty()) return std::nullopt;
    return MailboxFields{*found->second.host, found->second.user.value_or("")};
}

// ---- The desktop's mailto handler ----

std::vector<std::string> dataDirs(const MailSetupSources& s) {
    std::vector<std::string> dirs{s.xdgDataHome.empty() ? joinPath(s.home, ".local/share") : s.xdgDataHome};
    for (const std::string& dir : split(s.xdgDataDirs.empty() ? "/usr/local/share:/usr/share" : s.xdgDataDirs, ':'))
        if (!dir.empty()) dirs.push_back(dir);
    return dirs;
}

// A desktop file id names applications/<id>, or with dashes standing for
// subfolders (kde-kmail.desktop is applications/kde/kmail.desktop).
std::string findDesktopFile(const MailSetupSources& s, const std::string& id) {
    for (const std::string& dir : dataDirs(s)) {
        std::string name = id;
        for (;;) {
            const std::string path = joinPath(joinPath(dir, "applications"), name);
            if (fileExists(path)) return path;
            const auto dash = name.find('-');
            if (dash == std::string::npos) break;
            name[dash] = '/';
        }
    }
    return {};
}

std::string desktopEntryExec(const std::string& text) {
    bool inEntry = false;
    for (const std::string& raw : lines(text)) {
        const std::string line = trim(raw);
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || !startsWith(line, "Exec")) continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos || trim(line.substr(4, equals - 4)) != "") continue;
        // The string escapes of desktop files.
        std::string value;
        const std::string raw_value = trim(line.substr(equals + 1));
        for (std::size_t i = 0; i < raw_value.size(); ++i) {
            if (raw_value[i] != '\\' || i + 1 >= raw_value.size()) {
                value += raw_value[i];
                continue;
            }
            switch (raw_value[++i]) {
            case 's': value += ' '; break;
            case 'n': value += '\n'; break;
            case 't': value += '\t'; break;
            case 'r': value += '\r'; break;
            default: value += raw_value[i]; break;
            }
        }
        return value;
    }
    return {};
}

// The words of an Exec line: quoted words keep their spaces, and inside
// quotes a backslash escapes the next character.
std::vector<std::string> execWords(const std::string& exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"') quoted = false;
            else if (c == '\\' && i + 1 < exec.size()) word += exec[++i];
            else word += c;
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

bool isFieldCode(const std::string& word) {
    return word.size() == 2 && word[0] == '%' && std::string("fFuUdDnNickvm").find(word[1]) != std::string::npos;
}

bool isExecutableFile(const std::string& path) {
    return fileExists(path) && access(path.c_str(), X_OK) == 0;
}

std::string resolveProgram(const std::string& program, const std::string& searchPath) {
    if (program.find('/') != std::string::npos) return isExecutableFile(program) ? program : std::string();
    for (const std::string& dir : split(searchPath, ':')) {
        if (dir.empty()) continue;
        const std::string path = joinPath(dir, program);
        if (isExecutableFile(path)) return path;
    }
    return {};
}

}  // namespace

MailSetupSources MailSetupSources::fromProcess(const Registry& registry) {
    const auto env = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    MailSetupSources s;
    s.registry = &registry;
    s.home = env("HOME");
    s.xdgConfigHome = env("XDG_CONFIG_HOME");
    s.xdgDataHome = env("XDG_DATA_HOME");
    s.xdgDataDirs = env("XDG_DATA_DIRS");
    s.path = env("PATH");
    s.mailtoHandler = [] { return firstLineOfCommand({"xdg-mime", "query", "default", "x-scheme-handler/mailto"}); };
    return s;
}

void lookUpInternetAccountManager(const Registry& registry, MailboxFields& fields) {
    const std::string key = std::string(kCurrentUser) + "Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001";
    const std::string server = registryValue(registry, key, "POP3 Server");
    if (server.empty()) return;
    fields.server = server;
    fields.user = registryValue(registry, key, "POP3 User Name");
}

void lookUpEudora(const Registry& registry, MailboxFields& fields) {
    std::string ini = registryValue(registry, std::string(kLocalMachine) + kEudoraAppPath, "Path");
    if (ini.empty()) {
        ini = registryValue(registry, std::string(kLocalMachine) + kMailtoCommand, "");
        const auto switchAt = ini.find(" /m");
        if (switchAt != std::string::npos) ini.erase(switchAt);
        if (!ini.empty()) ini = changeFileExt(ini, ".ini");
    }
    // A quoted program path would otherwise never name an existing file.
    if (!ini.empty() && ini[0] == '"') ini.erase(0, 1);
    if (ini.empty() || !fileExists(ini)) return;
    const auto text = readConfigFile(ini);
    if (!text) return;
    const std::string account = iniValue(parseIni(*text), "Settings", "POPAccount");
    if (account.empty()) return;
    const auto at = account.find('@');
    if (at == std::string::npos) {
        fields.server = account;
        return;
    }
    fields.user = account.substr(0, at);
    fields.server = account.substr(at + 1, 255);
}

void lookUpNetscape(const Registry& registry, MailboxFields& fields) {
    const std::string root = std::string(kCurrentUser) + "SOFTWARE\\Netscape\\Netscape Navigator\\";
    const std::string user = registryValue(registry, root + "Mail", "POP Name");
    if (user.empty()) return;
    fields.user = user;
    const std::string server = registryValue(registry, root + "Services", "POP_Server");
    if (!server.empty()) fields.server = server;
}

void lookUpThunderbird(const MailSetupSources& sources, MailboxFields& fields) {
    if (sources.home.empty()) return;
    for (const std::string& root : thunderbirdRoots(sources)) {
        const auto profiles = readConfigFile(joinPath(root, "profiles.ini"));
        if (!profiles) continue;
        const std::string profile = defaultProfile(root, parseIni(*profiles));
        if (profile.empty()) continue;
        const auto text = readConfigFile(joinPath(profile, "prefs.js"));
        if (!text) continue;
        const auto prefs = parsePrefs(*text);
        for (const std::string& server : serversInAccountOrder(prefs)) {
            const std::string prefix = "mail.server." + server + ".";
            if (pref(prefs, prefix + "type") != "pop3") continue;
            const std::string host = pref(prefs, prefix + "hostname");
            if (host.empty()) continue;
            fields.server = host;
            fields.user = pref(prefs, prefix + "userName");
            return;
        }
        return;  // the first installation found is the user's
    }
}

void lookUpMpop(const MailSetupSources& sources, MailboxFields& fields) {
    if (sources.home.empty()) return;
    const std::string config = sources.xdgConfigHome.empty() ? joinPath(sources.home, ".config") : sources.xdgConfigHome;
    // mpop reads ~/.mpoprc when it exists, its XDG file otherwise.
    auto text = readConfigFile(joinPath(sources.home, ".mpoprc"));
    if (!text) text = readConfigFile(joinPath(config, "mpop/config"));
    if (!text) return;
    if (auto account = mpopDefaultAccount(*text)) fields = *account;
}

void lookUpFirstAccount(const MailSetupSources& sources, MailboxFields& fields) {
    if (sources.registry) {
        const Registry& registry = *sources.registry;
        if (fields.server.empty()) lookUpInternetAccountManager(registry, fields);
        if (fields.server.empty()) lookUpEudora(registry, fields);
        if (fields.server.empty()) lookUpNetscape(registry, fields);
    }
    if (fields.server.empty()) lookUpThunderbird(sources, fields);
    if (fields.server.empty()) lookUpMpop(sources, fields);
}

std::string mailProgramOfMailtoCommand(const std::string& command) {
    const std::string upperCommand = upperCase(command);
    if (upperCommand.find("RUNDLL32") != std::string::npos)
        return command.size() > 3 ? command.substr(0, command.size() - 3) : std::string();
    const auto exe = upperCommand.find("EXE");
    return exe == std::string::npos ? command : command.substr(0, exe + 3);
}

std::string desktopMailtoProgram(const MailSetupSources& sources) {
    if (!sources.mailtoHandler) return {};
    const std::string id = trim(sources.mailtoHandler());
    // Only a plain desktop file name; a path from the handler is not followed.
    if (!endsWith(id, ".desktop") || id.find('/') != std::string::npos || id.find("..") != std::string::npos)
        return {};
    const std::string desktopFile = findDesktopFile(sources, id);
    if (desktopFile.empty()) return {};
    const auto text = readConfigFile(desktopFile);
    if (!text) return {};
    const std::vector<std::string> words = execWords(desktopEntryExec(*text));
    if (!words.empty() && std::all_of(words.begin() + 1, words.end(), isFieldCode)) {
        const std::string program = resolveProgram(words[0], sources.path);
        if (!program.empty()) return program;
    }
    // Wrappers (env, flatpak, a terminal) need the whole entry to start.
    return desktopFile;
}

std::string lookUpMailProgram(const MailSetupSources& sources) {
    if (sources.registry) {
        const Registry& registry = *sources.registry;
        const std::string eudora = registryValue(registry, std::string(kLocalMachine) + kEudoraAppPath, "Path");
        if (!eudora.empty() && fileExists(eudora)) return eudora;
        const std::string command = registryValue(registry, std::string(kLocalMachine) + kMailtoCommand, "");
        const std::string program = mailProgramOfMailtoCommand(command);
        if (!program.empty()) return program;
    }
    return desktopMailtoProgram(sources);
}

std::string firstLineOfCommand(const std::vector<std::string>& argv) {
    if (argv.empty()) return {};
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return {};
    }
    // A handler's name is one short line; more than this is not read.
    std::string output;
    char buffer[1024];
    while (output.size() < 4096) {
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        output.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return trim(lines(output).front());
}

}  // namespace quorvel
