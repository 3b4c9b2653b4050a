#include "config/spam_options.h"

#include "platform/files.h"

namespace quorvel {

SpamOptions readSpamOptions(const IniFile& ini) {
    const SpamOptions defaults;
    SpamOptions options;
    options.QSmaller = ini.readBool("Smaller", "QSmaller", defaults.QSmaller);
    options.smallerNum = ini.readInteger("Smaller", "Num", defaults.smallerNum);
    options.smallerCheck = ini.readBool("Smaller", "Check", defaults.smallerCheck);
    options.QLarger = ini.readBool("Larger", "QLarger", defaults.QLarger);
    options.largerNum = ini.readInteger("Larger", "Num", defaults.largerNum);
    options.largerCheck = ini.readBool("Larger", "Check", defaults.largerCheck);
    options.QMonitor = ini.readBool("Known", "QMonitor", defaults.QMonitor);
    options.Valid = ini.readBool("Known", "Valid", defaults.Valid);
    options.Question = ini.readBool("Known", "Question", defaults.Question);
    options.unknownNum = ini.readString("Known", "Num", defaults.unknownNum);
    options.learning = ini.readBool("Learning", "Enabled", defaults.learning);
    options.learnFromKept = ini.readBool("Learning", "LearnFromKept", defaults.learnFromKept);
    options.deleteLearnedSpam = ini.readBool("Learning", "DeleteLearnedSpam", defaults.deleteLearnedSpam);
    const int level = ini.readInteger("Learning", "Cutoffs", defaults.learningLevel);
    options.learningLevel = level >= kCautiousLearning && level <= kEagerLearning ? level : defaults.learningLevel;
    return options;
}

void writeSpamOptions(IniFile& ini, const SpamOptions& options) {
    ini.writeBool("Smaller", "QSmaller", options.QSmaller);
    ini.writeInteger("Smaller", "Num", options.smallerNum);
    ini.writeBool("Smaller", "Check", options.smallerCheck);
    ini.writeBool("Larger", "QLarger", options.QLarger);
    ini.writeInteger("Larger", "Num", options.largerNum);
    ini.writeBool("Larger", "Check", options.largerCheck);
    ini.writeBool("Known", "QMonitor", options.QMonitor);
    ini.writeBool("Known", "Valid", options.Valid);
    ini.writeBool("Known", "Question", options.Question);
    ini.writeString("Known", "Num", options.unknownNum);
    ini.writeBool("Learning", "Enabled", options.learning);
    ini.writeBool("Learning", "LearnFromKept", options.learnFromKept);
    ini.writeBool("Learning", "DeleteLearnedSpam", options.deleteLearnedSpam);
    ini.writeInteger("Learning", "Cutoffs", options.learningLevel);
}

SpamOptions loadSpamOptions(const std::string& iniPath) {
    const auto bytes = readFileBytes(iniPath);
    return readSpamOptions(bytes ? IniFile(*bytes) : IniFile());
}

void saveSpamOptions(const std::string& iniPath, const SpamOptions& options) {
    const auto bytes = readFileBytes(iniPath);
    IniFile ini = bytes ? IniFile(*bytes) : IniFile();
    writeSpamOptions(ini, options);
    writeFileAtomically(iniPath, ini.toBytes());
}

}  // namespace quorvel
