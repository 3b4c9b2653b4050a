#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/mark_preview.h"
#include "config/spam_options.h"

namespace quorvel {

// What the learned model holds, as the "Learning" tab shows it.
struct LearnedFacts {
    std::uint64_t spam = 0;    // messages learned as spam
    std::uint64_t ham = 0;     // messages learned as wanted
    std::uint64_t tokens = 0;  // tokens kept
    // More decisions needed before the judge marks anything; 0 once trained.
    int decisionsNeeded = 0;
};

// One "Learn from a mail folder..." run, message by message, so the window
// can show its progress and answer Cancel between two messages.
class MailLearningRun {
public:
    virtual ~MailLearningRun() = default;
    // The messages found.
    virtual int total() const = 0;
    // Learns the next message; false once every message is learned.
    virtual bool next() = 0;
    virtual int done() const = 0;
    // Of those done, the messages learned before as the same kind.
    virtual int known() const = 0;
    // Keeps what was learned so far (also after a cancel).
    virtual void finish() = 0;
};

// What the "Learning" tab asks of the program's learned model and the main
// window's list. The main window answers it; the tab sits below both.
class LearningService {
public:
    virtual ~LearningService() = default;
    virtual LearnedFacts facts() = 0;
    // How many listed messages the learned judge alone would mark under these
    // options; no mark and no count moves.
    virtual MarkCount wouldMark(const SpamOptions& options) = 0;
    // Forgets every message learned and saves the empty model.
    virtual void forget() = 0;
    // Starts learning the messages of a maildir folder, a folder of saved
    // messages, an mbox file or one saved message. Throws, with the text for
    // the user, when nothing there can be read as mail.
    virtual std::unique_ptr<MailLearningRun> learnFrom(const std::string& path, bool spam) = 0;
};

}  // namespace quorvel
