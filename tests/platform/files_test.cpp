// The program's own files and folders are the user's alone, and its private
// folders are never taken from somewhere shared.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/fake_platform.h"

namespace quorvel {
namespace {

unsigned modeOf(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return 01000;  // no such entry
    return st.st_mode & 0777;
}

// Sets an environment variable for the scope, or unsets it for nullopt.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A permissive umask, so only the program's own modes decide.
class OpenUmask {
public:
    OpenUmask() : old_(umask(0)) {}
    ~OpenUmask() { umask(old_); }

private:
    mode_t old_;
};

std::string passwordDatabaseHome() {
    const passwd* entry = getpwuid(getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

TEST(Files, WrittenFilesAndMadeFoldersAreTheUsersAlone) {
    testing::TempFolder temp;
    OpenUmask open;
    writeFileAtomically(temp.file("new.lst"), "a\r\n");
    writeFileAtomically(temp.file("old.lst"), "a\r\n", 0644);
    writeFileAtomically(temp.file("old.lst"), "b\r\n");  // replacing takes the program's mode too
    EXPECT_EQ(modeOf(temp.file("new.lst")), 0600u);
    EXPECT_EQ(modeOf(temp.file("old.lst")), 0600u);

    ASSERT_TRUE(std::filesystem::create_directory(temp.file("shared")));
    std::filesystem::permissions(temp.file("shared"), std::filesystem::perms::all);
    EXPECT_TRUE(makePrivateFolders(temp.file("shared/one/two/")));
    EXPECT_EQ(modeOf(temp.file("shared/one")), 0700u);
    EXPECT_EQ(modeOf(temp.file("shared/one/two")), 0700u);
    EXPECT_EQ(modeOf(temp.file("shared")), 0777u);  // there before: left alone
    writeFileAtomically(temp.file("plain"), "");
    EXPECT_FALSE(makePrivateFolders(temp.file("plain/below")));
}

TEST(Files, PrivateFolderIsTightenedOrRefused) {
    testing::TempFolder temp;
    OpenUmask open;
    ASSERT_TRUE(std::filesystem::create_directory(temp.file("loose")));
    std::filesystem::permissions(temp.file("loose"), std::filesystem::perms::all);
    EXPECT_TRUE(ensurePrivateFolder(temp.file("loose")));
    EXPECT_EQ(modeOf(temp.file("loose")), 0700u);

    EXPECT_TRUE(ensurePrivateFolder(temp.file("made")));
    EXPECT_EQ(modeOf(temp.file("made")), 0700u);

    std::filesystem::create_directory_symlink(temp.file("loose"), temp.file("link"));
    EXPECT_FALSE(ensurePrivateFolder(temp.file("link")));

    ASSERT_TRUE(std::filesystem::create_directory(temp.file("theirs")));
    if (chown(temp.file("theirs").c_str(), 65534, 65534) == 0) {
        EXPECT_FALSE(ensurePrivateFolder(temp.file("theirs")));
    }
}

TEST(Files, HomeComesFromThePasswordDatabaseWhenHomeIsUnset) {
    const std::string fromDatabase = passwordDatabaseHome();
    ASSERT_FALSE(fromDatabase.empty());
    {
        ScopedEnv home("HOME", std::nullopt);
        EXPECT_EQ(homeFolder(), fromDatabase);
    }
    {
        ScopedEnv home("HOME", std::string());
        EXPECT_EQ(homeFolder(), fromDatabase);
    }
    ScopedEnv home("HOME", std::string("/somewhere/else"));
    EXPECT_EQ(homeFolder(), "/somewhere/else");
}

TEST(Files, RuntimeFolderIsTheUsersOwnAndClosedToOthers) {
    testing::TempFolder temp;
    OpenUmask open;
    ScopedEnv home("HOME", temp.path());
    const std::string fallback = temp.file(".cache/quorvel");

    ASSERT_TRUE(std::filesystem::create_directory(temp.file("good")));
    std::filesystem::permissions(temp.file("good"), std::filesystem::perms::owner_all);
    ASSERT_TRUE(std::filesystem::create_directory(temp.file("open")));
    std::filesystem::permissions(temp.file("open"), std::filesystem::perms::all);
    std::filesystem::create_directory_symlink(temp.file("good"), temp.file("link"));

    const struct {
        std::optional<std::string> runtime;
        std::string expected;
    } cases[] = {
        {temp.file("good"), temp.file("good")},
        {temp.file("open"), fallback},  // others may enter: not used, and not changed
        {temp.file("link"), fallback},
        {temp.file("missing"), fallback},
        {std::string("relative"), fallback},
        {std::nullopt, fallback},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.runtime.value_or("unset"));
        ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(privateRuntimeFolder(), c.expected);
    }
    EXPECT_EQ(modeOf(temp.file("open")), 0777u);
    EXPECT_EQ(modeOf(fallback), 0700u);
}

}  // namespace
}  // namespace quorvel
