// The main window's side of the learning judge: the two list commands that
// mark and learn at once, learning a row, and keeping the model saved.
#include <iostream>

#include "app/frm_main.h"
#include "classify/learning_tokenizer.h"

namespace quorvel {

void TfrmMain::setActivityLog(ActivityLog* log) {
    log_ = log;
    // A model file set aside at start is said once, where the user looks.
    if (!log_ || learningLoadReported_ || learning_->loadProblem().empty()) return;
    learningLoadReported_ = true;
    try {
        log_->logLearning(learning_->loadProblem());
    } catch (const std::exception& error) {
        std::cerr << "Quorvel: the activity log cannot be written: " << error.what() << "\n";
    }
}

bool TfrmMain::learningOn() const {
    return frmOptionsMain_ && frmOptionsMain_->rules.options.learning;
}

void TfrmMain::learnRow(std::size_t index, bool spam) {
    const TmsRemoteInfo& records = msRemotePOP1.RemoteInfo();
    if (!learningOn() || index >= static_cast<std::size_t>(records.Count())) return;
    learning_->learn(records.Items(static_cast<int>(index)), spam);
    learningSave_->setEnabled(true);
}

void TfrmMain::saveLearning() {
    if (learningSave_) learningSave_->setEnabled(false);
    if (!learning_ || !learning_->unsaved()) return;
    const std::string problem = learning_->save();
    if (problem.empty()) return;
    std::cerr << "Quorvel: " << problem << "\n";
    try {
        // A record now would close the log a deletion run holds open.
        if (log_ && !log_->logOpen()) log_->logLearning(problem);
    } catch (const std::exception& error) {
        std::cerr << "Quorvel: the activity log cannot be written: " << error.what() << "\n";
    }
}

std::string TfrmMain::learnedSpamReason(std::size_t index) const {
    const TmsRemoteInfo& records = msRemotePOP1.RemoteInfo();
    if (!learningOn() || index >= static_cast<std::size_t>(records.Count())) return {};
    const TmsRemoteInfoItem& record = records.Items(static_cast<int>(index));
    const LearnedJudgement judgement =
        judgeLearned(learning_->model(),
                     learningTokens(record.Headers, record.Size > 0 ? static_cast<std::uint64_t>(record.Size) : 0),
                     learningSettings(frmOptionsMain_->rules.options).cutoffs);
    return judgement.verdict == LearnedVerdict::Spam ? judgement.explanation() : std::string();
}

void TfrmMain::ThisIsSpam1Click() {
    playAlarmSound(false);
    if (!hasSelection()) return;
    for (std::size_t i = 0; i < ListView1.rows.size(); ++i) {
        MessageRow& row = ListView1.rows[i];
        if (!row.selected) continue;
        if (!isMarkedForDeletion(row.stateIndex)) row.stateIndex = Mark::Delete;
        learnRow(i, true);
    }
    ShowTotalCount();
}

void TfrmMain::ThisIsNotSpam1Click() {
    playAlarmSound(false);
    if (!hasSelection()) return;
    for (std::size_t i = 0; i < ListView1.rows.size(); ++i) {
        MessageRow& row = ListView1.rows[i];
        if (!row.selected) continue;
        // An exception's picture stays: it already says the message is wanted.
        if (row.stateIndex < Mark::FirstException) row.stateIndex = Mark::None;
        learnRow(i, false);
    }
    ShowTotalCount();
}

}  // namespace quorvel
