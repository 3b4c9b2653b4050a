#include "cli/arguments.h"

#include <functional>

namespace quorvel::cli {

namespace {

using Command = Arguments::Command;

struct Words {
    const std::vector<std::string>& words;
    std::size_t next = 0;
    bool done() const { return next >= words.size(); }
    const std::string& take() { return words[next++]; }
    // The value of an option, given as "--name value" or "--name=value".
    std::string value(const std::string& option, const std::string& inline_) {
        if (!inline_.empty()) return inline_;
        if (done()) throw UsageError{option + " needs a value"};
        return take();
    }
};

// Splits "--name=value"; `value` stays empty for "--name".
std::string optionName(const std::string& word, std::string& value) {
    const auto equals = word.find('=');
    if (word.rfind("--", 0) != 0 || equals == std::string::npos) return word;
    value = word.substr(equals + 1);
    if (value.empty()) throw UsageError{word.substr(0, equals) + " needs a value"};
    return word.substr(0, equals);
}

bool commonOption(const std::string& name, Arguments& args, Words& words, const std::string& inline_) {
    if (name == "--format") {
        const std::string format = words.value(name, inline_);
        if (format == "text")
            args.format = OutputFormat::Text;
        else if (format == "json")
            args.format = OutputFormat::Json;
        else
            throw UsageError{"unknown format \"" + format + "\" (use text or json)"};
        return true;
    }
    return false;
}

int mailboxNumber(const std::string& name, Words& words, const std::string& inline_) {
    const std::string text = words.value(name, inline_);
    std::size_t used = 0;
    int n = 0;
    try {
        n = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || n < 1 || n > 12)
        throw UsageError{"--mailbox takes a number from 1 to 12, not \"" + text + "\""};
    return n;
}

void checkOptions(Arguments& args, Words& words) {
    bool mailboxGiven = false;
    while (!words.done()) {
        std::string inline_;
        const std::string word = words.take();
        const std::string name = optionName(word, inline_);
        if (commonOption(name, args, words, inline_)) continue;
        if (name == "--all" && inline_.empty()) {
            args.all = true;
        } else if (name == "--delete" && inline_.empty()) {
            args.del = true;
        } else if (name == "--mailbox") {
            args.mailbox = mailboxNumber(name, words, inline_);
            mailboxGiven = true;
        } else {
            throw UsageError{"unknown option \"" + word + "\""};
        }
    }
    if (mailboxGiven && args.all) throw UsageError{"--mailbox and --all cannot be used together"};
}

void fileCommand(Arguments& args, Words& words) {
    while (!words.done()) {
        std::string inline_;
        const std::string word = words.take();
        const std::string name = optionName(word, inline_);
        if (commonOption(name, args, words, inline_)) continue;
        if (word.rfind("--", 0) == 0 && word != "--") throw UsageError{"unknown option \"" + word + "\""};
        if (word == "--") {
            if (words.done()) break;
            if (!args.file.empty()) throw UsageError{"only one file can be given"};
            args.file = words.take();
            continue;
        }
        if (!args.file.empty()) throw UsageError{"only one file can be given"};
        args.file = word;
    }
    if (args.file.empty()) throw UsageError{"a saved message (FILE.eml) is needed"};
}

void signInCommand(Arguments& args, Words& words) {
    while (!words.done()) {
        std::string inline_;
        const std::string word = words.take();
        const std::string name = optionName(word, inline_);
        if (name != "--mailbox") throw UsageError{"unknown option \"" + word + "\""};
        args.mailbox = mailboxNumber(name, words, inline_);
    }
    if (args.mailbox == 0) throw UsageError{"sign-in needs --mailbox N"};
}

void learnCommand(Arguments& args, Words& words) {
    std::vector<std::string>* paths = nullptr;  // where a bare word goes
    bool action = false;
    while (!words.done()) {
        std::string inline_;
        const std::string word = words.take();
        const std::string name = optionName(word, inline_);
        if (commonOption(name, args, words, inline_)) continue;
        if (name == "--spam" || name == "--ham") {
            paths = name == "--spam" ? &args.spamPaths : &args.hamPaths;
            if (!inline_.empty()) paths->push_back(inline_);
        } else if ((name == "--status" || name == "--forget") && inline_.empty()) {
            if (action) throw UsageError{"--status and --forget cannot be used together"};
            action = true;
            args.learn = name == "--status" ? Arguments::LearnAction::Status : Arguments::LearnAction::Forget;
        } else if (word == "--") {
            if (!paths) throw UsageError{"say --spam or --ham before the mail to learn from"};
            while (!words.done()) paths->push_back(words.take());
        } else if (word.rfind("--", 0) == 0) {
            throw UsageError{"unknown option \"" + word + "\""};
        } else if (!paths) {
            throw UsageError{"say --spam or --ham before \"" + word + "\""};
        } else {
            paths->push_back(word);
        }
    }
    const bool named = !args.spamPaths.empty() || !args.hamPaths.empty();
    if (action && named) throw UsageError{"learn takes mail to learn from, or --status, or --forget"};
    if (!action && !named) {
        if (paths) throw UsageError{"--spam and --ham need a file or folder"};
        throw UsageError{"learn needs --spam PATH..., --ham PATH..., --status or --forget"};
    }
}

struct CommandRow {
    const char* word;
    Command command;
    std::function<void(Arguments&, Words&)> options;
};

const CommandRow kCommands[] = {
    {"why", Command::Why, fileCommand},
    {"decode", Command::Decode, fileCommand},
    {"sign-in", Command::SignIn, signInCommand},
    {"learn", Command::Learn, learnCommand},
};

}  // namespace

Arguments parseArguments(const std::vector<std::string>& list) {
    Arguments args;
    Words words{list};
    for (const std::string& word : list) {
        if (word == "--") break;
        if (word == "--help" || word == "-h") {
            args.command = Command::Help;
            return args;
        }
        if (word == "--version") {
            args.command = Command::Version;
            return args;
        }
    }
    if (!words.done()) {
        for (const CommandRow& row : kCommands) {
            if (list.front() != row.word) continue;
            words.take();
            args.command = row.command;
            row.options(args, words);
            return args;
        }
        if (list.front().rfind("-", 0) != 0) throw UsageError{"unknown command \"" + list.front() + "\""};
    }
    checkOptions(args, words);
    return args;
}

std::string usageText() {
    return R"(Usage: quorvel-check [--mailbox N | --all] [--delete] [--format text|json]
       quorvel-check why FILE.eml [--format text|json]
       quorvel-check decode FILE.eml [--format text|json]
       quorvel-check sign-in --mailbox N
       quorvel-check learn [--spam PATH...] [--ham PATH...]
       quorvel-check learn --status | --forget [--format text|json]
       quorvel-check --help | --version

Checks POP3 mailboxes with Quorvel's spam rules, without its window: lists
the waiting messages (headers only), judges each one and prints its mark,
sender, subject, size, date and the reasons for its mark. Uses the same
settings, mailboxes, rule files, known-spammer list and activity log as
Quorvel.

  --mailbox N      check mailbox N (1 to 12); default: the current mailbox
  --all            check every configured mailbox in order
  --delete         delete the messages marked for deletion (delete and
                   known-spammer marks) on the server; without it nothing is
                   deleted
  --format FORMAT  text (default) or json (one object per line)
  why FILE.eml     the reasons a saved message would be marked
  decode FILE.eml  the body and attachment records of a saved message
  sign-in --mailbox N
                   signs mailbox N (OAuth 2.0) in with its provider from a
                   machine without a browser: open the address shown on
                   another device and enter the code shown
  learn --spam PATH... --ham PATH...
                   teaches Quorvel's learning judge what spam is: the header
                   lines of saved messages (.eml), mbox files (a mail
                   program's Junk and Inbox files), maildir folders and
                   folders of saved messages
  learn --status   how many spam and ham messages were learned, the tokens
                   kept and how many more decisions the judge needs
  learn --forget   forgets everything learned

Exit status:
  0  nothing marked (why: the message would not be deleted)
  1  marked messages found (why: the message would be deleted)
  2  the command line is wrong
  3  the profile cannot be used: no mailbox set up, a settings store or
     rule file that cannot be read or comes from a newer version, an OAuth
     2.0 sign-in the provider refuses (sign in again), a failing token
     command
  4  the saved message cannot be read or is not a mail message; learn
     found no mail message to learn from
  5  the mail server or the network failed (connection, time-out, login)
  6  the mailbox is in use by another session (the Quorvel window keeping
     its connection open, or another quorvel-check)
)";
}

}  // namespace quorvel::cli
