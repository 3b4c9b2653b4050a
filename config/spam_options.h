#pragma once

#include <string>

#include "config/ini_file.h"

namespace quorvel {

// How readily the learned judge marks: a level from cautious to eager.
inline constexpr int kCautiousLearning = 1;
inline constexpr int kEagerLearning = 5;
inline constexpr int kDefaultLearningLevel = 3;

// The spam option values kept in "quorvel.ini".
struct SpamOptions {
    // [Smaller]
    bool QSmaller = false;     // the size-below check is on
    int smallerNum = 100;      // lower size limit in bytes
    bool smallerCheck = true;  // a too-small message gets the check mark, else the question mark
    // [Larger]
    bool QLarger = false;
    int largerNum = 20000;
    bool largerCheck = true;
    // [Known]
    bool QMonitor = true;         // the known-spammer check is on
    bool Valid = true;            // the unknown-domain check is on
    bool Question = false;        // an unknown domain gets the check mark (false: the question mark)
    std::string unknownNum = "0";  // unknown domains found so far, as shown
    // [Learning]
    bool learning = true;            // the learned judge is on; untrained it marks nothing
    bool learnFromKept = false;      // a deletion also teaches the unmarked messages left as wanted
    bool deleteLearnedSpam = false;  // off: what it learned is spam gets only the question mark
    int learningLevel = kDefaultLearningLevel;  // kCautiousLearning to kEagerLearning

    bool operator==(const SpamOptions&) const = default;
};

inline constexpr const char* kIniFileName = "quorvel.ini";

// Missing keys, and values that are not numbers, give the defaults above.
SpamOptions readSpamOptions(const IniFile& ini);
void writeSpamOptions(IniFile& ini, const SpamOptions& options);

// A missing or unreadable file gives the defaults.
SpamOptions loadSpamOptions(const std::string& iniPath);
// Updates the values in the file, keeping its other lines, and replaces it whole.
void saveSpamOptions(const std::string& iniPath, const SpamOptions& options);

}  // namespace quorvel
