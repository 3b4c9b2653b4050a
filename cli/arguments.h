#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvel::cli {

enum class OutputFormat { Text, Json };

// What one call of quorvel-check asks for. The first word chooses the
// command; a command is a row of the table in arguments.cpp, so a new one
// needs a row and its own options, nothing else.
struct Arguments {
    enum class Command { Check, Why, Decode, SignIn, Learn, Help, Version };
    Command command = Command::Check;
    // Check: mailbox 1 to 12, or 0 for the current one (the stored choice);
    // sign-in: the mailbox to sign in.
    int mailbox = 0;
    bool all = false;
    bool del = false;
    OutputFormat format = OutputFormat::Text;
    // Why and decode: the saved message.
    std::string file;
    // Learn: learn from the mail named, show what was learned, or forget it all.
    enum class LearnAction { Train, Status, Forget };
    LearnAction learn = LearnAction::Train;
    std::vector<std::string> spamPaths;
    std::vector<std::string> hamPaths;
};

// A command line that cannot be understood; the text says why.
struct UsageError {
    std::string message;
};

// Parses the words after the program's name.
Arguments parseArguments(const std::vector<std::string>& words);

// The --help text.
std::string usageText();

}  // namespace quorvel::cli
