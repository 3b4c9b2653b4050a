#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "classify/learned_model.h"

namespace quorvel {

// The learned model of a profile, in one file in the program's data folder.
// The file is data like any server line: a damaged, cut or foreign file is
// set aside under another name and learning starts again. The window and
// quorvel-check may both learn at once: a save takes a lock, reads what the
// other wrote meanwhile, adds its own changes since loading and writes the
// whole atomically.
class LearnedModelFile {
public:
    // Past this many tokens the rarest and stalest are dropped, down to
    // nine tenths of it, so the file stays small and quick to read.
    static constexpr std::size_t kMaxTokens = 250000;
    static constexpr const char* kFileName = "learned.dat";

    explicit LearnedModelFile(std::string path, std::size_t maxTokens = kMaxTokens);
    static std::string pathFor(const std::string& programFolder);

    // Reads the file into `model` (which loses any changes). "" when read or
    // not there; otherwise a line for the activity log saying why the file was
    // set aside, and the model is empty.
    std::string load(LearnedModel& model);
    // Adds the model's changes since loading to the file as it is now, writes
    // it (0600, temporary file, fsync, rename) and makes `model` the merged
    // whole; without changes it only reads what others learned. Throws std::runtime_error with the text for the user. A damaged
    // file found meanwhile is set aside; `problem` then says so.
    void save(LearnedModel& model, std::string* problem = nullptr);
    // Forgets everything: an empty model, written at once.
    void forgetAll(LearnedModel& model);

    const std::string& path() const { return path_; }
    std::size_t maxTokens() const { return maxTokens_; }

private:
    // Reads the file into a fresh model: "" when read or missing (`missing`
    // then says which), otherwise why it cannot be used.
    static std::string read(const std::string& path, LearnedModel& model, bool& missing);

    std::string path_;
    std::size_t maxTokens_;
};

}  // namespace quorvel
