// The start at log-in: the desktop entry's text, where it goes, and the
// "Start Up" page's check box that writes and removes it.
#include "config/autostart.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "config/frm_general.h"
#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

// Runs desktop-file-validate on `file`; its exit status and what it said.
std::pair<int, std::string> validate(const std::string& file) {
    const std::string command = "desktop-file-validate '" + file + "' 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {-1, "popen failed"};
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// Sets an environment variable for the test's duration.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(AutostartEntry, ExecLineQuotesAndEscapesThePath) {
    const struct {
        const char* executable;
        const char* exec;
    } cases[] = {
        {"/opt/quorvel/bin/quorvel", R"(Exec="/opt/quorvel/bin/quorvel" --tray)"},
        {"/home/ann/My Programs/quorvel", R"(Exec="/home/ann/My Programs/quorvel" --tray)"},
        {"/srv/100%/quorvel", R"(Exec="/srv/100%%/quorvel" --tray)"},
        {"/srv/$HOME/quorvel", R"(Exec="/srv/\\$HOME/quorvel" --tray)"},
        {"/srv/\"q\"/quorvel", R"(Exec="/srv/\\"q\\"/quorvel" --tray)"},
        {"/srv/back\\slash/quorvel", R"(Exec="/srv/back\\\\slash/quorvel" --tray)"},
        {"/srv/`tick`/quorvel", R"(Exec="/srv/\\`tick\\`/quorvel" --tray)"},
    };
    testing::TempFolder folder;
    for (const auto& c : cases) {
        const std::string text = AutostartEntry::contents(c.executable);
        EXPECT_NE(text.find(std::string("\n") + c.exec + "\n"), std::string::npos) << text;
        EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
        const std::string file = folder.file("quorvel.desktop");
        writeFileAtomically(file, text);
        const auto [status, said] = validate(file);
        EXPECT_EQ(status, 0) << c.executable << "\n" << said;
        EXPECT_EQ(said.find("error"), std::string::npos) << c.executable << "\n" << said;
    }
    for (const char* bad : {"/srv/new\nline/quorvel", "/srv/tab\t/quorvel", "/srv/cr\r/quorvel"})
        EXPECT_THROW(AutostartEntry::contents(bad), std::invalid_argument) << bad;
}

TEST(AutostartEntry, GoesToTheAutostartFolderOfTheUsersConfiguration) {
    const struct {
        const char* xdgConfigHome;  // null: not set
        const char* expected;
    } cases[] = {
        {"/tmp/cfg", "/tmp/cfg"},
        {nullptr, "/home/ann/.config"},
        {"", "/home/ann/.config"},
        {"relative/cfg", "/home/ann/.config"},  // only an absolute folder counts
    };
    const ScopedEnv home("HOME", "/home/ann");
    for (const auto& c : cases) {
        const ScopedEnv xdg("XDG_CONFIG_HOME", c.xdgConfigHome);
        EXPECT_EQ(AutostartEntry::defaultConfigHome(), c.expected) << (c.xdgConfigHome ? c.xdgConfigHome : "unset");
    }
    EXPECT_EQ(AutostartEntry("/tmp/cfg", "/usr/bin/quorvel").path(), "/tmp/cfg/autostart/quorvel.desktop");
    EXPECT_FALSE(AutostartEntry("", "/usr/bin/quorvel").available());
    EXPECT_FALSE(AutostartEntry("/tmp/cfg", "").available());
}

class StartUpPage : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    std::string entry() const { return fake.platform.configHome + "/autostart/quorvel.desktop"; }

    std::unique_ptr<TfrmGeneral> window() {
        auto w = std::make_unique<TfrmGeneral>(fake.platform, store);
        w->mailSetup = {};
        return w;
    }
};

TEST_F(StartUpPage, TheCheckBoxWritesAndRemovesTheEntryOnOk) {
    auto w = window();
    w->FormShow();
    EXPECT_EQ(w->cbAutostart.caption, "Start Quorvel when I log in");
    EXPECT_TRUE(w->cbAutostart.enabled);
    EXPECT_FALSE(w->cbAutostart.checked);

    w->cbAutostart.checked = true;
    w->btCancelClick();  // Cancel writes nothing and puts the box back
    EXPECT_FALSE(fileExists(entry()));
    EXPECT_FALSE(w->cbAutostart.checked);

    w->FormShow();
    w->cbAutostart.checked = true;
    w->btOKClick();
    ASSERT_TRUE(fileExists(entry()));
    EXPECT_EQ(readFileBytes(entry()), AutostartEntry::contents(fake.platform.executable));
    const auto [status, said] = validate(entry());
    EXPECT_EQ(status, 0) << said;
    EXPECT_TRUE(fake.dialogs.shown.empty());  // no restart needed, unlike the tray setting

    auto again = window();  // a later run sees the entry
    again->FormShow();
    EXPECT_TRUE(again->cbAutostart.checked);
    again->cbAutostart.checked = false;
    again->btOKClick();
    EXPECT_FALSE(fileExists(entry()));
    again->FormShow();
    EXPECT_FALSE(again->cbAutostart.checked);
}

TEST_F(StartUpPage, AnEntryThatCannotBeWrittenIsReportedAndTheBoxClears) {
    // The configuration folder is a file: no autostart folder can be made in it.
    writeFileAtomically(fake.platform.configHome, "not a folder");
    auto w = window();
    w->FormShow();
    w->cbAutostart.checked = true;
    w->btOKClick();
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_FALSE(w->cbAutostart.checked);
}

TEST_F(StartUpPage, WithoutAPlaceForTheEntryTheBoxIsDisabled) {
    fake.platform.configHome.clear();
    auto w = window();
    w->FormShow();
    EXPECT_FALSE(w->cbAutostart.enabled);
    w->cbAutostart.checked = true;
    w->btOKClick();
    EXPECT_TRUE(fake.dialogs.shown.empty());
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

// Every option the log-in entry passes is documented in the manual page.
TEST(AutostartEntry, TheOptionsOfTheLogInEntryAreInTheManualPage) {
    const auto page = readFileBytes(std::string(QUORVEL_DATA) + "/../packaging/quorvel.1");
    ASSERT_TRUE(page);
    const std::size_t options = page->find(".SH OPTIONS\n");
    ASSERT_NE(options, std::string::npos);
    EXPECT_EQ(page->find("takes no options"), std::string::npos);
    const std::string text = AutostartEntry::contents("/usr/bin/quorvel");
    const std::size_t exec = text.find("Exec=\"/usr/bin/quorvel\"");
    ASSERT_NE(exec, std::string::npos);
    std::istringstream words(text.substr(exec, text.find('\n', exec) - exec));
    std::string word;
    int seen = 0;
    while (words >> word) {
        if (word.rfind("--", 0) != 0) continue;
        ++seen;
        // Manual pages write a hyphen as \-.
        std::string roff;
        for (const char c : word) roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page->find(".B " + roff + "\n", options), std::string::npos) << word;
    }
    EXPECT_GT(seen, 0);
}

}  // namespace
}  // namespace quorvel
