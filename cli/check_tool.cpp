#include "cli/check_tool.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

#include "app/check_steps.h"
#include "classify/learned_model_file.h"
#include "cli/mail_sources.h"
#include "classify/unknown_domain.h"
#include "config/frm_general.h"
#include "config/frm_options_main.h"
#include "config/ini_file.h"
#include "config/spam_options.h"
#include "config/password_cipher.h"
#include "config/registry.h"
#include "config/settings_store.h"
#include "config/text_lines.h"
#include "classify/operators.h"
#include "cli/output.h"
#include "log/activity_log.h"
#include "mail/listing_cache_file.h"
#include "mail/mail_errors.h"
#include "mail/msg_decoder.h"
#include "mail/mx_resolver.h"
#include "mail/pop3_client.h"
#include "platform/convert.h"
#include "platform/files.h"

namespace quorvel::cli {

namespace {

constexpr const char* kVersion = "1.0";
// The marker the program stores with enciphered passwords; a larger number
// comes from a newer version whose profile this one must not guess at.
constexpr int kProfileVersion = 161;
constexpr std::size_t kHeaderReadLimit = 1 << 20;
constexpr long long kDecodeLimit = 64LL << 20;

const char* const kSetUpHint =
    "Set one up in Quorvel: \"Settings and more\", \"General settings\", page \"Mailboxes\": the POP server, "
    "the user name and the password.";

std::string mailboxName(int mailbox, const std::string& user, const std::string& server) {
    return "mailbox " + std::to_string(mailbox) + " (" + user + " on " + server + ")";
}

// The header lines of a saved message, up to the empty line that ends them;
// throws when the bytes are not a mail message.
TmsHeaders headerLinesOf(const std::string& file, const std::string& bytes) {
    TmsHeaders lines;
    for (const std::string_view line : splitLines(bytes)) {
        if (line.empty()) break;
        lines.emplace_back(line);
    }
    const auto isField = [](const std::string& line) {
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0) return false;
        for (std::size_t k = 0; k < colon; ++k) {
            const auto c = static_cast<unsigned char>(line[k]);
            if (c <= 32 || c >= 127) return false;
        }
        return true;
    };
    std::size_t first = 0;
    if (!lines.empty() && lines[0].rfind("From ", 0) == 0) first = 1;  // an mbox separator
    bool ok = first < lines.size() && isField(lines[first]);
    for (std::size_t k = first; ok && k < lines.size(); ++k) {
        if (lines[k].find('\0') != std::string::npos) ok = false;
        if (!isField(lines[k]) && lines[k][0] != ' ' && lines[k][0] != '\t') ok = false;
    }
    if (!ok) throw ToolError(kInputFile, file + ": not a mail message (it does not begin with header lines)");
    if (first == 1) lines.erase(lines.begin());
    return lines;
}

long long fileSize(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        throw ToolError(kInputFile, file + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) throw ToolError(kInputFile, file + ": not a file");
    return static_cast<long long>(st.st_size);
}

std::string readHead(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ToolError(kInputFile, file + ": " + std::strerror(errno));
    std::string bytes(kHeaderReadLimit, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::string jsonArray(const std::vector<std::string>& lines) {
    std::string out = "[";
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? "," : "") + jsonString(lines[i]);
    return out + "]";
}

const char* encodingName(AttEncoding encoding) {
    switch (encoding) {
    case AttEncoding::Base64: return "base64";
    case AttEncoding::QuotedPrintable: return "quoted-printable";
    case AttEncoding::None: break;
    }
    return "none";
}

// Holds a lock on the settings folder while mailboxes are checked, so a
// second quorvel-check on the same profile ends at once instead of fighting
// over the same mailboxes. Nothing is written: the lock is on the folder.
class ProfileLock {
public:
    explicit ProfileLock(const std::string& folder) {
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ::close(fd_);
            fd_ = -1;
            throw ToolError(kMailboxInUse,
                            "another quorvel-check is checking the mailboxes of this profile; try again when it has "
                            "ended");
        }
    }
    ~ProfileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

std::string markName(int mark) {
    switch (mark) {
    case Mark::None: return "none";
    case Mark::Delete: return "delete";
    case Mark::Question: return "question";
    case Mark::KnownSpammer: return "known-spammer";
    default: return mark >= Mark::FirstException && mark <= Mark::LastException ? "exception" : "none";
    }
}

// The learning judge's options as the spam settings keep them in quorvel.ini.
LearningSettings readLearningSettings(const std::string& programFolder) {
    LearningSettings settings;
    const auto bytes = readFileBytes(joinPath(programFolder, kIniFileName));
    if (!bytes) return settings;
    const IniFile ini(*bytes);
    settings.enabled = ini.readBool("Learning", "Enabled", settings.enabled);
    settings.deleteLearnedSpam = ini.readBool("Learning", "DeleteLearnedSpam", settings.deleteLearnedSpam);
    settings.cutoffs = LearningCutoffs::preset(ini.readInteger("Learning", "Cutoffs", LearningCutoffs::kDefaultLevel));
    return settings;
}

// The window's profile as one check run uses it.
struct CheckTool::Profile {
    // The general settings report a password that does not decipher, the
    // spam settings a rule file that cannot be read, each in a message box:
    // either way the profile cannot be used as the window would use it, and
    // nothing of it may be saved.
    Profile(Platform& platform, HeadlessDialogs& dialogs, SettingsStore& settings, const std::string& storePath,
            ClassificationHost& host)
        : store(settings),
          mx(platform.pump, platform.timers),
          mxDomains(mx),
          log(platform, [this] { return general->Logfile(); }) {
        cipher.Key = "qiro";
        dialogs.errors.clear();
        general = std::make_unique<TfrmGeneral>(platform, store);
        if (!dialogs.errors.empty())
            throw ToolError(kProfile, "the settings store " + storePath + " cannot be read: " + dialogs.errors.front());
        options = std::make_unique<TfrmOptionsMain>(platform);
        if (!dialogs.errors.empty())
            throw ToolError(kProfile, "the spam rules cannot be loaded: " + dialogs.errors.front());
        known.LoadUpKnownList(joinPath(platform.programFolder, kKnownListFileName));
        classification = std::make_unique<Classification>(options->rules, known, host);
        learnedFile = std::make_unique<LearnedModelFile>(LearnedModelFile::pathFor(platform.programFolder));
        learnedProblem = learnedFile->load(learned);
        classification->setLearning(&learned, readLearningSettings(platform.programFolder));
    }
    void useResolver(DomainResolver& resolver) {
        domains = std::make_unique<UnknownDomainCheck>(resolver, options->edUnknown.text);
        classification->setUnknownDomainCheck(domains.get());
    }

    SettingsStore& store;
    std::unique_ptr<TfrmGeneral> general;
    std::unique_ptr<TfrmOptionsMain> options;
    KnownList known;
    TPasswordCipher cipher;
    TmsMXResolver mx;
    MXDomainResolver mxDomains;
    std::unique_ptr<UnknownDomainCheck> domains;
    std::unique_ptr<Classification> classification;
    ActivityLog log;
    std::unique_ptr<LearnedModelFile> learnedFile;
    LearnedModel learned;
    std::string learnedProblem;
};

struct CheckTool::MailboxResult {
    int marked = 0;
    int code = kNothingMarked;
};

CheckTool::CheckTool(ToolSystem system, Console console)
    : system_(std::move(system)),
      console_(console),
      platform_{system_.pump,  system_.timers, system_.clock,         dialogs_,
                tray_,         sound_,         shell_,                system_.programFolder,
                system_.settingsFolder, {},             {},
                nullptr,       system_.secrets, system_.oauth} {
    // The window widens the short date to four-digit years at start-up; the
    // log's timestamps and the Date column must read the same here.
    widenShortDate(system_.clock.formatSettings());
    if (system_.secrets) {
        keyringGuard_ = std::make_unique<KeyringGuard>(*system_.secrets);
        platform_.secrets = keyringGuard_.get();
    }
}

CheckTool::~CheckTool() = default;

int CheckTool::fail(const ToolError& error) {
    endProgress();
    console_.err << "quorvel-check: " << plainLine(error.what()) << "\n";
    console_.err.flush();
    return error.code;
}

int CheckTool::run(const std::vector<std::string>& words) {
    try {
        return run(parseArguments(words));
    } catch (const UsageError& error) {
        console_.err << "quorvel-check: " << plainLine(error.message) << " (see quorvel-check --help)\n";
        return kUsage;
    }
}

int CheckTool::run(const Arguments& args) {
    try {
        switch (args.command) {
        case Arguments::Command::Help: console_.out << usageText(); return kNothingMarked;
        case Arguments::Command::Version: console_.out << "quorvel-check " << kVersion << "\n"; return kNothingMarked;
        case Arguments::Command::Why: return why(args);
        case Arguments::Command::Decode: return decode(args);
        case Arguments::Command::SignIn: return signIn(args);
        case Arguments::Command::Learn: return learn(args);
        case Arguments::Command::Check: return check(args);
        }
    } catch (const ToolError& error) {
        return fail(error);
    } catch (const std::exception& error) {
        return fail(ToolError(kProfile, error.what()));
    }
    return kUsage;
}

void CheckTool::openProfile() {
    const std::string path = joinPath(system_.settingsFolder, SettingsStore::kFileName);
    if (fileExists(path) && !readFileBytes(path))
        throw ToolError(kProfile, "the settings store " + path + " cannot be read: " + std::strerror(errno));
    store_ = std::make_unique<SettingsStore>(system_.settingsFolder);
    try {
        const auto bytes = readFileBytes(path);
        Registry& registry = store_->registry();
        const std::string root = SettingsStore::kKey;
        if (bytes && bytes->find_first_not_of(" \t\r\n") != std::string::npos &&
            !registry.keyExists(root + "\\General") && !registry.keyExists(root + "\\Server") &&
            !registry.keyExists(root + "\\Logfile"))
            throw ToolError(kProfile, "the settings store " + path +
                                          " holds no settings of this version of Quorvel (damaged, or written by "
                                          "another version)");
        const std::string marker = store_->readString("Server", "Version161", "");
        if (parseStoredInteger(marker, 0) > kProfileVersion)
            throw ToolError(kProfile, "the settings store " + path + " was written by a newer version of Quorvel (" +
                                          plainLine(marker) + "); this quorvel-check reads version " +
                                          std::to_string(kProfileVersion));
        if (!marker.empty() && marker != std::to_string(kProfileVersion))
            throw ToolError(kProfile, "the settings store " + path + " is damaged: unknown version \"" +
                                          plainLine(marker) + "\"");
        if (marker.empty())
            for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n)
                if (!store_->readString("Server", "Passwd" + std::to_string(n), "").empty())
                    throw ToolError(kProfile,
                                    "the stored passwords come from an older version of Quorvel: start Quorvel once "
                                    "and enter them again in its general settings");
        profile_ = std::make_unique<Profile>(platform_, dialogs_, *store_, path, *this);
    } catch (const ERegistryException& error) {
        throw ToolError(kProfile, "the settings store " + path + " cannot be read: " + error.what());
    }
    profile_->useResolver(resolverOverride_ ? *resolverOverride_ : profile_->mxDomains);
    if (!profile_->learnedProblem.empty()) console_.err << "quorvel-check: " << plainLine(profile_->learnedProblem) << "\n";
}

std::vector<int> CheckTool::mailboxesToCheck(const Arguments& args) {
    TfrmGeneral& general = *profile_->general;
    // As the automatic cycle: a mailbox without a server or a user name is passed over.
    std::vector<int> configured;
    for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n)
        if (!general.serverOf(n).empty() && !general.userOf(n).empty()) configured.push_back(n);
    if (args.all) {
        if (configured.empty()) throw ToolError(kProfile, std::string("no mailbox is set up. ") + kSetUpHint);
        return configured;
    }
    bool any = false;
    for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n) any = any || !IsBlank(general.serverOf(n));
    if (!any) throw ToolError(kProfile, std::string("no mailbox is set up. ") + kSetUpHint);
    const int n = args.mailbox > 0 ? args.mailbox : store_->readInteger("Server", "Which", 1);
    if (n < 1 || n > TfrmGeneral::kMailboxes || IsBlank(general.serverOf(n)))
        throw ToolError(kProfile, "mailbox " + std::to_string(n) + " is not set up. " + kSetUpHint);
    return {n};
}

void CheckTool::whyAdd(bool del, const std::string& what, const std::string& op, const std::string& pattern,
                       bool caseSensitive) {
    if (!explaining_) return;
    memo_.push_back(reasonLine(del, explainException_, what, op, pattern, caseSensitive));
}

void CheckTool::whyExcept(const std::string& what, const std::string& op, const std::string& pattern,
                          bool caseSensitive) {
    explainException_ = true;
    whyAdd(false, what, op, pattern, caseSensitive);
    explainException_ = false;
}

std::vector<std::string> CheckTool::explain(MessageList& list, const TmsRemoteInfo& records, int index) {
    MessageRow& row = list.rows[static_cast<std::size_t>(index)];
    memo_ = whyHeading(row);
    const int old = row.stateIndex;
    row.stateIndex = Mark::None;
    explaining_ = true;
    try {
        judgeRows(*profile_->classification, list, records, index);
    } catch (...) {
        explaining_ = false;
        row.stateIndex = old;
        throw;
    }
    explaining_ = false;
    closeWhyMemo(memo_, old, row.stateIndex);
    row.stateIndex = old;
    return std::vector<std::string>(memo_.begin() + 3, memo_.end());
}

std::string CheckTool::coloured(const std::string& text, int mark) const {
    if (!console_.outIsTerminal) return text;
    const char* colour = isMarkedForDeletion(mark) ? "\033[1;31m"
                         : mark == Mark::Question ? "\033[33m"
                         : mark >= Mark::FirstException ? "\033[32m"
                                                        : nullptr;
    return colour ? colour + text + "\033[0m" : text;
}

void CheckTool::progress(int mailbox, int done, int total) {
    if (!console_.errIsTerminal) return;
    const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    if (done != total && lastProgressMs_ >= 0 && now - lastProgressMs_ < 100) return;
    lastProgressMs_ = now;
    console_.err << "\r\033[KMailbox " << mailbox << ": message " << done << " of " << total;
    console_.err.flush();
    progressShown_ = true;
}

void CheckTool::endProgress() {
    if (!progressShown_) return;
    console_.err << "\r\033[K";
    console_.err.flush();
    progressShown_ = false;
    lastProgressMs_ = -1;
}

void CheckTool::printRow(const Arguments& args, int mailbox, const TmsRemotePOP& client, const MessageRow& row,
                         int number, const std::vector<std::string>& why, bool deleted) {
    if (args.format == OutputFormat::Json) {
        console_.out << "{\"mailbox\":" << mailbox << ",\"server\":" << jsonString(client.Server)
                     << ",\"user\":" << jsonString(client.UserName) << ",\"number\":" << number
                     << ",\"mark\":" << row.stateIndex << ",\"markName\":\"" << markName(row.stateIndex)
                     << "\",\"marked\":" << (isMarkedForDeletion(row.stateIndex) ? "true" : "false")
                     << ",\"deleted\":" << (deleted ? "true" : "false") << ",\"sender\":" << jsonString(row.senderShown())
                     << ",\"subject\":" << jsonString(row.subjectShown()) << ",\"size\":" << strToInt(row.size)
                     << ",\"date\":" << jsonString(row.date) << ",\"why\":" << jsonArray(why) << "}\n";
        return;
    }
    std::string reasons;
    for (const std::string& line : why) {
        std::string text = plainLine(line);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        reasons += (reasons.empty() ? "" : " | ") + text;
    }
    console_.out << mailbox << ":" << number << "\t"
                 << coloured(deleted ? "deleted" : markName(row.stateIndex), row.stateIndex) << "\t" << row.size
                 << "\t" << plainLine(row.date) << "\t" << plainLine(row.senderShown()) << "\t" << plainLine(row.subjectShown())
                 << "\t" << reasons << "\n";
}

namespace {

// A password or sign-in that the keyring keeps but does not give: one line
// and the profile's status, whatever the kind; nothing here waits for a person.
ToolError keyringRefused(int mailbox, const SecretUnavailable& error) {
    const std::string where = "mailbox " + std::to_string(mailbox) + ": its " +
                              (error.kind == SecretKind::Password ? "password" : "OAuth 2.0 sign-in") +
                              " is in the desktop keyring";
    switch (error.status) {
    case SecretStatus::Unavailable:
        return ToolError(kProfile, where + " and no keyring answers (no session bus: run quorvel-check from a "
                                           "systemd user timer, not cron)");
    case SecretStatus::Locked:
        return ToolError(kProfile, where + ", which is locked (quorvel-check does not wait for its unlock "
                                           "prompt: unlock it, or log in so that the login keyring opens)");
    default: return ToolError(kProfile, where + ", which failed to give it");
    }
}

}  // namespace

CheckTool::MailboxResult CheckTool::checkMailbox(int mailbox, const Arguments& args) {
    Profile& profile = *profile_;
    TmsRemotePOP client(platform_.pump, platform_.timers);
    client.DefaultPort = 110;
    client.TimeOut = 120;
    // Nobody is there to sign in: a refused refresh ends the run.
    OAuthAccess oauth({*store_, profile.cipher, platform_.secrets, platform_.oauth, platform_.pump, nullptr});
    try {
        readAccount(*store_, profile.cipher, platform_.secrets, mailbox, client, &oauth);
    } catch (const SecretUnavailable& error) {
        throw keyringRefused(mailbox, error);
    } catch (const std::exception& error) {
        throw ToolError(kProfile, "mailbox " + std::to_string(mailbox) + ": " + error.what());
    }
    const std::string name = mailboxName(mailbox, client.UserName, client.Server);
    if (IsBlank(client.UserName))
        throw ToolError(kProfile, name + ": You need to enter your e-mail username in the settings.");
    // Kept open for the deletion, so it works on the session that was listed.
    client.KeepConnected = args.del;
    checking_ = mailbox;

    // The window's listing cache of this mailbox, while its option is on.
    std::unique_ptr<TmsListingCacheFile> cache;
    if (store_->readBool("General", "RememberListed", true)) {
        cache = std::make_unique<TmsListingCacheFile>(TmsListingCacheFile::pathFor(platform_.programFolder, mailbox),
                                                      TmsListingAccount{client.Server, client.DefaultPort, client.UserName});
        const std::string problem = cache->load();
        if (!problem.empty())
            console_.err << "quorvel-check: " << name << ": listing cache discarded: " << plainLine(problem) << "\n";
        client.ListingCache = cache.get();
    }

    MessageList list;
    client.OnNextInfoUpdated = [&](int num) {
        list.rows.push_back(messageRowFromRecord(client.RemoteInfo().Items(num), platform_.clock.formatSettings()));
        judgeRows(*profile.classification, list, client.RemoteInfo(), static_cast<int>(list.rows.size()) - 1);
        progress(mailbox, num + 1, client.MessageCount());
    };
    // Each row was judged, and counted, as it came in.
    client.OnInfoUpdated = [&] { judgeRows(*profile.classification, list, client.RemoteInfo(), -1, false); };
    client.OnError = [&](std::string& message) {
        message = plainConnectionError(message, client);
        profile.log.logError(message, client.UserName, client.Server);
    };
    client.OnCancel = [&] { profile.log.logCancel(client.UserName, client.Server); };
    client.OnSecurityChosen = [&] { keepChosenSecurity(*store_, &profile.log, mailbox, client); };

    const auto mailError = [&](const std::exception& error) -> ToolError {
        endProgress();
        if (const auto* refused = dynamic_cast<const EOAuthError*>(&error))
            return ToolError(refused->signInAgain ? kProfile : kMailServer,
                             name + ": " + error.what() +
                                 (refused->signInAgain ? "; sign in again in the Quorvel window (General settings, "
                                                         "Mailboxes, the \"...\" beside \"OAuth 2.0\")"
                                                       : ""));
        if (const auto* keyring = dynamic_cast<const SecretUnavailable*>(&error)) return keyringRefused(mailbox, *keyring);
        if (dynamic_cast<const ETokenCommand*>(&error)) return ToolError(kProfile, name + ": " + error.what());
        if (dynamic_cast<const EInOutError*>(&error))
            return ToolError(kProfile, "the activity log cannot be written: " + std::string(error.what()));
        // The client's text says it is in use, and gives the server's words.
        if (dynamic_cast<const EMailboxInUse*>(&error)) return ToolError(kMailboxInUse, name + ": " + error.what());
        return ToolError(kMailServer, name + ": " + error.what());
    };
    try {
        client.UpdateInfo();
        if (cache) cache->save();
    } catch (const ToolError&) {
        throw;
    } catch (const std::exception& error) {
        throw mailError(error);
    }
    endProgress();
    profile.log.logMailCheck(static_cast<int>(list.rows.size()), client.UserName, client.Server);
    // The hit counters this check raised, as the window stores them.
    profile.options->Savesettings();

    MailboxResult result;
    result.marked = list.markedCount();
    // Rows whose deletion the server committed (its QUIT succeeded).
    std::vector<bool> deletedRows(list.rows.size(), false);
    int deletedCount = 0;
    bool deleted = false;
    if (args.del && result.marked > 0) {
        setDeleteMarks(list, client);
        client.OnDeleted = [&](int num) {
            if (num < 0 || num >= static_cast<int>(list.rows.size())) return;
            deletedRows[static_cast<std::size_t>(num)] = true;
            ++deletedCount;
            if (profile.log.logOpen())
                profile.log.logDeletedSpam(deletedSpamRowOf(list.rows[static_cast<std::size_t>(num)]), client.Server,
                                           client.UserName);
        };
        // The spam counter, as the window raises it; only that value is written.
        const auto raiseSpamCounter = [&] {
            if (deletedCount == 0) return;
            const std::string count = store_->readString("General", "Count", "0");
            const std::optional<long long> value = readLeadingNumber(count, 1LL << 62);
            if (value && std::to_string(*value) == count)
                store_->writeString("General", "Count", std::to_string(*value + deletedCount));
            else
                console_.err << "quorvel-check: the spam counter \"" << plainLine(count)
                             << "\" is not a number; it was left as it is\n";
        };
        try {
            profile.log.OpenLogFile();
            client.ProcessMarks();
        } catch (const std::exception& error) {
            profile.log.CloseLogFile();
            raiseSpamCounter();
            if (deletedCount == 0 && !dynamic_cast<const EInOutError*>(&error))
                profile.log.logError(kNothingDeleted, client.UserName, client.Server);
            throw mailError(error);
        }
        profile.log.CloseLogFile();
        deleted = true;
        raiseSpamCounter();
    } else if (client.IsConnected()) {
        try {
            client.Close();
        } catch (const std::exception&) {
            // The listing is complete; a failed QUIT changes nothing of it.
        }
    }

    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        const std::vector<std::string> why = explain(list, client.RemoteInfo(), static_cast<int>(i));
        printRow(args, mailbox, client, list.rows[i], static_cast<int>(i) + 1, why,
                 deletedRows[i]);
    }
    if (args.format == OutputFormat::Text)
        console_.out << "# " << name << ": " << list.rows.size() << " message(s), " << result.marked << " marked"
                     << (deleted ? ", " + std::to_string(deletedCount) + " deleted" : std::string()) << "\n";
    console_.out.flush();
    checking_ = 0;
    result.code = result.marked > 0 ? kMarkedFound : kNothingMarked;
    return result;
}

int CheckTool::check(const Arguments& args) {
    openProfile();
    const std::vector<int> mailboxes = mailboxesToCheck(args);
    ProfileLock lock(system_.settingsFolder);
    int code = kNothingMarked;
    int error = 0;
    // Like the automatic cycle, a failed mailbox does not keep the others
    // from being checked; the first error decides the exit status.
    for (const int mailbox : mailboxes) {
        try {
            const MailboxResult result = checkMailbox(mailbox, args);
            if (result.code == kMarkedFound) code = kMarkedFound;
        } catch (const ToolError& failure) {
            const int status = fail(failure);
            if (!error) error = status;
        }
    }
    return error ? error : code;
}

int CheckTool::signIn(const Arguments& args) {
    openProfile();
    SettingsStore& store = *store_;
    const int n = args.mailbox;
    const std::string number = std::to_string(n);
    const std::string user = store.readString("Server", "Mailbox" + number, "");
    const std::string server = store.readString("Server", "Server" + number, "");
    const std::string name = mailboxName(n, user, server);
    if (readSignIn(store, n) != TmsSignIn::OAuth2)
        throw ToolError(kProfile, name + " does not sign in with OAuth 2.0 (its \"Sign-in\" choice on the Mailboxes "
                                         "page)");
    const OAuthSettings settings = OAuthSettings::read(store, n);
    if (!platform_.oauth) throw ToolError(kProfile, "OAuth 2.0 sign-in is not available here");
    // A provider typed in may name its device address in its metadata, which
    // the sign-in reads.
    if (settings.provider.deviceAuthorizationUrl.empty() && settings.provider.name != "Other")
        throw ToolError(kProfile, name + ": " + settings.provider.name +
                                      " offers no sign-in for machines without a browser; sign in in the Quorvel "
                                      "window instead");
    if (settings.provider.clientId.empty())
        throw ToolError(kProfile, name + " has no client ID (its OAuth 2.0 settings in the Quorvel window)");
    OAuthAccess access({store, profile_->cipher, platform_.secrets, platform_.oauth, platform_.pump, nullptr});
    try {
        const bool inKeyring = access.signInOnDevice(
            n, settings.provider, user, server, store.readBool("Server", "Keyring", true),
            [&](const std::string& address, const std::string& code) {
                console_.out << "To sign in " << plainLine(name) << ", open " << plainLine(address)
                             << " on any device and enter the code " << plainLine(code) << "\n";
                console_.out.flush();
            });
        console_.out << plainLine(name) << " is signed in; the sign-in is kept in the "
                     << (inKeyring ? kKeyringPlace : kFilePlace) << "\n";
    } catch (const EOAuthError& error) {
        throw ToolError(error.signInAgain ? kProfile : kMailServer, name + ": " + error.what());
    }
    return kNothingMarked;
}

int CheckTool::why(const Arguments& args) {
    const long long size = fileSize(args.file);
    const TmsHeaders headers = headerLinesOf(args.file, readHead(args.file));
    openProfile();
    TmsRemoteInfo records;
    auto record = std::make_unique<TmsRemoteInfoItem>();
    record->Size = static_cast<std::int32_t>(std::min<long long>(size, INT32_MAX));
    record->Headers = headers;
    records.Add(std::move(record));
    MessageList list;
    list.rows.push_back(messageRowFromRecord(records.Items(0), platform_.clock.formatSettings()));
    // Judged as a listing judges it, then explained as the Why command does.
    judgeRows(*profile_->classification, list, records, 0);
    judgeRows(*profile_->classification, list, records, 0, false);
    const std::vector<std::string> reasons = explain(list, records, 0);
    const MessageRow& row = list.rows[0];
    if (args.format == OutputFormat::Json) {
        console_.out << "{\"file\":" << jsonString(args.file) << ",\"mark\":" << row.stateIndex << ",\"markName\":\""
                     << markName(row.stateIndex) << "\",\"marked\":"
                     << (isMarkedForDeletion(row.stateIndex) ? "true" : "false")
                     << ",\"sender\":" << jsonString(row.senderShown()) << ",\"subject\":" << jsonString(row.subjectShown())
                     << ",\"size\":" << strToInt(row.size) << ",\"date\":" << jsonString(row.date)
                     << ",\"why\":" << jsonArray(reasons) << "}\n";
    } else {
        for (const std::string& line : whyHeading(row)) console_.out << plainLine(line) << "\n";
        for (const std::string& line : reasons) console_.out << plainLine(line) << "\n";
        console_.out << "Mark: " << coloured(markName(row.stateIndex), row.stateIndex) << "\n";
    }
    return isMarkedForDeletion(row.stateIndex) ? kMarkedFound : kNothingMarked;
}

void CheckTool::learnProgress(const std::string& text, bool force) {
    if (!console_.errIsTerminal) return;
    const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    if (!force && lastProgressMs_ >= 0 && now - lastProgressMs_ < 100) return;
    lastProgressMs_ = now;
    console_.err << "\r\033[K" << text;
    console_.err.flush();
    progressShown_ = true;
}

int CheckTool::learn(const Arguments& args) {
    LearnedModelFile file(LearnedModelFile::pathFor(system_.programFolder));
    LearnedModel model;
    const std::string problem = file.load(model);
    if (!problem.empty()) console_.err << "quorvel-check: " << plainLine(problem) << "\n";
    const bool json = args.format == OutputFormat::Json;
    const auto status = [&](bool ownLine) {
        const DecisionsNeeded needed = model.decisionsNeeded();
        if (json) {
            console_.out << "{\"spam\":" << model.spamMessages() << ",\"ham\":" << model.hamMessages()
                         << ",\"tokens\":" << model.tokenCount() << ",\"spamNeeded\":" << needed.spam
                         << ",\"hamNeeded\":" << needed.ham << ",\"trained\":" << (model.trained() ? "true" : "false")
                         << "}" << (ownLine ? "\n" : "");
            return;
        }
        console_.out << "Spam learned: " << model.spamMessages() << "\nHam learned: " << model.hamMessages()
                     << "\nTokens kept: " << model.tokenCount() << "\n";
        if (model.trained())
            console_.out << "The judge is trained and marks messages.\n";
        else
            console_.out << "The judge marks nothing until it has learned " << needed.spam << " more spam and "
                         << needed.ham << " more ham.\n";
    };
    if (args.learn == Arguments::LearnAction::Status) {
        status(true);
        return kNothingMarked;
    }
    if (args.learn == Arguments::LearnAction::Forget) {
        file.forgetAll(model);
        if (json)
            console_.out << "{\"forgotten\":true}\n";
        else
            console_.out << "Everything learned is forgotten.\n";
        return kNothingMarked;
    }

    struct Tally {
        long long learned = 0, moved = 0, already = 0;
    } spam, ham;
    long long skipped = 0;
    const auto line = [&] {
        return "Learning: " + std::to_string(spam.learned + spam.moved) + " spam, " +
               std::to_string(ham.learned + ham.moved) + " ham, " + std::to_string(spam.already + ham.already) +
               " known already";
    };
    for (const bool isSpam : {true, false}) {
        Tally& tally = isSpam ? spam : ham;
        MailSources sources;
        sources.message = [&](const TmsHeaders& headers, std::uint64_t size) {
            switch (learnMessage(model, headers, size, isSpam)) {
            case TrainOutcome::Learned: ++tally.learned; break;
            case TrainOutcome::Moved: ++tally.moved; break;
            case TrainOutcome::AlreadyLearned: ++tally.already; break;
            }
            learnProgress(line(), false);
        };
        sources.skipped = [&](const std::string& why) {
            ++skipped;
            endProgress();
            console_.err << "quorvel-check: passed over " << plainLine(why) << "\n";
        };
        for (const auto& path : isSpam ? args.spamPaths : args.hamPaths) sources.read(path);
    }
    learnProgress(line(), true);
    endProgress();
    std::string saveProblem;
    try {
        file.save(model, &saveProblem);
    } catch (const std::exception& error) {
        throw ToolError(kProfile, "what was learned cannot be saved: " + std::string(error.what()));
    }
    if (!saveProblem.empty()) console_.err << "quorvel-check: " << plainLine(saveProblem) << "\n";
    const long long found = spam.learned + spam.moved + spam.already + ham.learned + ham.moved + ham.already;
    if (json) {
        console_.out << "{\"spamLearned\":" << spam.learned << ",\"spamMoved\":" << spam.moved
                     << ",\"hamLearned\":" << ham.learned << ",\"hamMoved\":" << ham.moved
                     << ",\"known\":" << spam.already + ham.already << ",\"passedOver\":" << skipped << ",\"status\":";
        status(false);
        console_.out << "}\n";
    } else {
        console_.out << "Learned " << spam.learned << " spam and " << ham.learned << " ham";
        if (spam.moved + ham.moved > 0)
            console_.out << "; " << spam.moved << " moved to spam and " << ham.moved << " to ham";
        if (spam.already + ham.already > 0) console_.out << "; " << spam.already + ham.already << " known already";
        if (skipped > 0) console_.out << "; " << skipped << " passed over";
        console_.out << ".\n";
        status(true);
    }
    console_.out.flush();
    if (found == 0) throw ToolError(kInputFile, "no mail message was found to learn from");
    return kNothingMarked;
}

int CheckTool::decode(const Arguments& args) {
    const long long size = fileSize(args.file);
    if (size > kDecodeLimit)
        throw ToolError(kInputFile, args.file + ": too large to decode (" + std::to_string(size) + " bytes)");
    headerLinesOf(args.file, readHead(args.file));
    TmsMessage message;
    try {
        message.LoadFromFile(args.file);
    } catch (const std::exception& error) {
        throw ToolError(kInputFile, args.file + ": " + error.what());
    }
    const std::vector<std::string> body = message.Body.strings();
    if (args.format == OutputFormat::Json) {
        console_.out << "{\"file\":" << jsonString(args.file) << ",\"charset\":" << jsonString(message.CharSet)
                     << ",\"body\":" << jsonArray(body) << ",\"attachments\":[";
        for (int i = 0; i < message.Attachments.Count(); ++i) {
            const TmsAttItem& item = message.Attachments.Items(i);
            console_.out << (i ? "," : "") << "{\"name\":" << jsonString(item.FileName) << ",\"encoding\":\""
                         << encodingName(item.Encoding) << "\",\"size\":" << item.Data.size() << "}";
        }
        console_.out << "],\"error\":"
                     << (message.LoadError.empty() ? std::string("null") : jsonString(message.LoadError)) << "}\n";
    } else {
        for (const std::string& line : body) console_.out << plainLine(line) << "\n";
        for (int i = 0; i < message.Attachments.Count(); ++i) {
            const TmsAttItem& item = message.Attachments.Items(i);
            console_.out << "[attachment] " << plainLine(item.FileName) << ", " << item.Data.size() << " bytes, "
                         << encodingName(item.Encoding) << "\n";
        }
    }
    console_.out.flush();
    if (!message.LoadError.empty()) console_.err << "quorvel-check: " << plainLine(message.LoadError) << "\n";
    return kNothingMarked;
}

}  // namespace quorvel::cli
