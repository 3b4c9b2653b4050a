// The spam settings window's "Learning" tab: the learned judge's options,
// what it has learned, learning from a mail folder, and forgetting.
#include <algorithm>
#include <exception>
#include <string>

#include "config/frm_options_main.h"
#include "platform/files.h"

namespace quorvel {

namespace {

std::string plural(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void TfrmOptionsMain::setLearning(LearningService* service) {
    learning_ = service;
    showLearning();
}

void TfrmOptionsMain::showLearning() {
    const Batch batch(*this);
    for (Control* c : {&lblLearned, &lblNeeded, &lblPreview, &btLearnFolder, &btLearnFile, &btForget, &rbSourceSpam,
                       &rbSourceHam, &lblSource})
        c->visible = learning_ != nullptr;
    // What the judge marks depends on these only while it judges.
    for (Control* c : {&cbDeleteLearned, &lblCutoffs, &cbCutoffs, &lblPreview}) c->enabled = cbLearning.checked;
    if (!learning_) {
        changed();
        return;
    }
    const LearnedFacts facts = learning_->facts();
    lblLearned.caption = "Learned from " + plural(facts.spam, "spam message", "spam messages") + " and " +
                         plural(facts.ham, "wanted message", "wanted messages") + "; " +
                         plural(facts.tokens, "token", "tokens") + " kept.";
    lblNeeded.caption =
        facts.decisionsNeeded > 0
            ? "It needs " + plural(static_cast<std::uint64_t>(facts.decisionsNeeded), "more decision", "more decisions") +
                  " (messages deleted, marks cleared, or learned from a folder) before it marks anything."
            : "It has learned enough to judge new messages.";
    const MarkCount count = learning_->wouldMark(rules.options);
    lblPreview.caption = count.listed > 0 ? "Would mark " + std::to_string(count.marked) + " of the " +
                                                std::to_string(count.listed) + " listed message" +
                                                (count.listed == 1 ? "" : "s")
                                          : std::string();
    btForget.enabled = facts.spam + facts.ham > 0;
    changed();
}

void TfrmOptionsMain::cbLearningClick() {
    rules.options.learning = cbLearning.checked;
    showLearning();
}

void TfrmOptionsMain::cbLearnFromKeptClick() {
    rules.options.learnFromKept = cbLearnFromKept.checked;
    changed();
}

void TfrmOptionsMain::cbDeleteLearnedClick() {
    rules.options.deleteLearnedSpam = cbDeleteLearned.checked;
    showLearning();
}

void TfrmOptionsMain::cbCutoffsChange() {
    const int level = cbCutoffs.itemIndex + kCautiousLearning;
    if (level < kCautiousLearning || level > kEagerLearning)
        cbCutoffs.itemIndex = rules.options.learningLevel - kCautiousLearning;
    else
        rules.options.learningLevel = level;
    showLearning();
}

void TfrmOptionsMain::rbSourceClick(bool spam) {
    rbSourceSpam.checked = spam;
    rbSourceHam.checked = !spam;
    changed();
}

void TfrmOptionsMain::btLearnFolderClick() {
    if (busy_ || !learning_) return;
    const auto path = platform_.dialogs.folderName("Learn from a mail folder", "");
    if (path) learnFrom(*path);
}

void TfrmOptionsMain::btLearnFileClick() {
    if (busy_ || !learning_) return;
    const auto path = platform_.dialogs.openFileName(
        "Learn from a mailbox file", "Mailbox files (*)|*|Saved messages (*.eml)|*.eml", "", "");
    if (path) learnFrom(*path);
}

void TfrmOptionsMain::learnFrom(const std::string& path) {
    if (busy_ || !learning_) return;
    const bool spam = rbSourceSpam.checked;
    std::unique_ptr<MailLearningRun> run;
    try {
        run = learning_->learnFrom(path, spam);
    } catch (const std::exception& error) {
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
        return;
    }
    busy_ = learningRunning_ = true;
    learningCancelled_ = false;
    learningTotal = run->total();
    const auto progress = [&] {
        pbLearning.value = run->done();
        lblLearnProgress.caption = "Learning message " + std::to_string(run->done()) + " of " +
                                   std::to_string(learningTotal) + " ... ";
        changed();
    };
    for (Control* c : {&pbLearning, &lblLearnProgress, &btLearnCancel}) c->visible = true;
    progress();
    // The window stays live between two messages: it redraws now and then,
    // and Cancel ends the run there.
    const int redrawEvery = std::max(1, (learningTotal + kLearningRedraws - 1) / kLearningRedraws);
    // What was learned before a fault is kept all the same.
    std::string problem;
    try {
        while (!learningCancelled_ && run->next()) {
            if (run->done() % redrawEvery == 0) progress();
            platform_.pump.processEvents();
        }
    } catch (const std::exception& error) {
        problem = error.what();
    }
    try {
        run->finish();
    } catch (const std::exception& error) {
        if (problem.empty()) problem = error.what();
    }
    busy_ = learningRunning_ = false;
    for (Control* c : {&pbLearning, &btLearnCancel}) c->visible = false;
    lblLearnProgress.caption = std::string(learningCancelled_ ? "Cancelled: learned " : "Learned ") +
                               plural(static_cast<std::uint64_t>(run->done()), "message", "messages") + " as " +
                               (spam ? "spam" : "wanted mail") + " from " + path;
    // A message counts once however often it is learned.
    if (run->known() > 0)
        lblLearnProgress.caption += " (" + std::to_string(run->known()) + " of them " +
                                    (run->known() == 1 ? "was" : "were") + " learned before)";
    showLearning();
    if (!problem.empty()) platform_.dialogs.messageBox(MessageKind::Error, problem);
}

void TfrmOptionsMain::btLearnCancelClick() {
    if (learningRunning_) learningCancelled_ = true;
}

void TfrmOptionsMain::btForgetClick() {
    if (busy_ || !learning_) return;
    if (platform_.dialogs.messageBox(MessageKind::Confirmation,
                                     "Really forget everything Quorvel has learned?  It then marks nothing until it "
                                     "has learned again from your decisions.",
                                     MessageButtons::YesNo) != ModalResult::Yes)
        return;
    try {
        learning_->forget();
    } catch (const std::exception& error) {
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
    }
    lblLearnProgress.caption.clear();
    showLearning();
}

}  // namespace quorvel
