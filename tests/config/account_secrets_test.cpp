#include "config/account_secrets.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "app/check_steps.h"
#include "app/program.h"
#include "config/frm_general.h"
#include "support/fake_platform.h"
#include "support/memory_secret_store.h"

namespace quorvel {
namespace {

using testing::MemorySecretStore;

class Secrets : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    TPasswordCipher cipher;
    MemorySecretStore keyring;

    Secrets() { cipher.Key = "qiro"; }
    void putInFile(int n, const std::string& password) {
        store.writeString("Server", "Passwd" + std::to_string(n), cipher.encipher(password));
    }
    std::string inFile(int n) {
        const std::string stored = store.readString("Server", "Passwd" + std::to_string(n), "");
        return stored.empty() ? std::string() : cipher.decipher(stored);
    }
    void putInKeyring(int n, const std::string& password) {
        keyring.items[{n, SecretKind::Password}] = {"label", password};
    }
    static std::string label(int n) { return "Quorvel mailbox " + std::to_string(n) + " password"; }
};

TEST_F(Secrets, ReadingTakesTheFilesPasswordFirstThenTheKeyrings) {
    struct Case {
        const char* name;
        const char* file;
        const char* keyring;  // nullptr: no item
        SecretStatus answer;
        std::string text;
        SecretStatus status;
        bool inKeyring;
        int keyringCalls;
    };
    const Case cases[] = {
        {"file only", "filed", nullptr, SecretStatus::Ok, "filed", SecretStatus::Ok, false, 0},
        // The file's password is there only while it is newer than the keyring's.
        {"both", "newer", "older", SecretStatus::Ok, "newer", SecretStatus::Ok, false, 0},
        {"keyring only", "", "kept", SecretStatus::Ok, "kept", SecretStatus::Ok, true, 1},
        {"neither", "", nullptr, SecretStatus::Ok, "", SecretStatus::NotFound, false, 1},
        {"keyring locked", "", "kept", SecretStatus::Locked, "", SecretStatus::Locked, true, 1},
        {"keyring gone", "", "kept", SecretStatus::Unavailable, "", SecretStatus::Unavailable, true, 1},
        {"locked, file holds it", "filed", "kept", SecretStatus::Locked, "filed", SecretStatus::Ok, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keyring.items.clear();
        keyring.calls.clear();
        keyring.answer = c.answer;
        if (*c.file) putInFile(2, c.file);
        else store.writeString("Server", "Passwd2", "");
        if (c.keyring) putInKeyring(2, c.keyring);
        const AccountSecrets::Password read = AccountSecrets(store, cipher, &keyring).read(2);
        EXPECT_EQ(read.text, c.text);
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(read.inKeyring, c.inKeyring);
        EXPECT_EQ(static_cast<int>(keyring.calls.size()), c.keyringCalls);
    }
}

TEST_F(Secrets, WithoutAKeyringTheFileKeepsEverything) {
    AccountSecrets secrets(store, cipher, nullptr);
    EXPECT_FALSE(secrets.keep(1, label(1), "pw1", true));
    EXPECT_EQ(inFile(1), "pw1");
    EXPECT_EQ(secrets.read(1).text, "pw1");
    EXPECT_EQ(secrets.moveToKeyring(label), 0);
    EXPECT_EQ(inFile(1), "pw1");
}

TEST_F(Secrets, MovingToTheKeyringEmptiesTheFileOnlyForConfirmedWrites) {
    putInFile(1, "one");
    putInFile(3, "three");
    putInFile(4, "four");
    keyring.refuseWrites = {3};
    AccountSecrets secrets(store, cipher, &keyring);
    EXPECT_EQ(secrets.moveToKeyring(label), 1);
    EXPECT_EQ(keyring.password(1), "one");
    EXPECT_EQ(keyring.items.at({1, SecretKind::Password}).label, "Quorvel mailbox 1 password");
    EXPECT_EQ(inFile(1), "");
    // Refused (a cancelled prompt): it stays in the file, and the keyring is
    // not asked again for the next one.
    EXPECT_EQ(inFile(3), "three");
    EXPECT_EQ(inFile(4), "four");
    EXPECT_EQ(keyring.calls, (std::vector<std::string>{"write 1", "write 3"}));
    // A later start, the keyring willing, finishes the move.
    keyring.refuseWrites.clear();
    EXPECT_EQ(AccountSecrets(store, cipher, &keyring).moveToKeyring(label), 2);
    EXPECT_EQ(keyring.password(3), "three");
    EXPECT_EQ(keyring.password(4), "four");
    EXPECT_EQ(inFile(3), "");
    EXPECT_EQ(inFile(4), "");
}

TEST_F(Secrets, ALockedKeyringIsAskedOnceAndLosesNothing) {
    for (const SecretStatus answer : {SecretStatus::Locked, SecretStatus::Unavailable, SecretStatus::Failed}) {
        SCOPED_TRACE(static_cast<int>(answer));
        keyring.calls.clear();
        keyring.answer = answer;
        for (int n = 1; n <= 12; ++n) putInFile(n, "pw" + std::to_string(n));
        AccountSecrets secrets(store, cipher, &keyring);
        EXPECT_EQ(secrets.moveToKeyring(label), 0);
        for (int n = 1; n <= 12; ++n) EXPECT_EQ(inFile(n), "pw" + std::to_string(n));
        EXPECT_EQ(keyring.calls.size(), 1u);
        EXPECT_FALSE(secrets.keyringAnswers());
        // Reading a mailbox the keyring holds no longer prompts either, and
        // says how the keyring refused.
        store.writeString("Server", "Passwd5", "");
        EXPECT_EQ(secrets.read(5).status, answer);
        EXPECT_EQ(keyring.calls.size(), 1u);
    }
}

TEST_F(Secrets, KeepingAPassword) {
    struct Case {
        const char* name;
        bool useKeyring;
        SecretStatus answer;
        bool inKeyring;
        std::string file, keyringHolds;
    };
    const Case cases[] = {
        {"into the keyring", true, SecretStatus::Ok, true, "", "new"},
        // Back to the file, by the user's choice: the keyring's item goes.
        {"into the file by choice", false, SecretStatus::Ok, false, "new", ""},
        // A keyring that refuses leaves the password in the file, and its
        // old item where it was: the file's is read first.
        {"keyring locked", true, SecretStatus::Locked, false, "new", "old"},
        {"keyring gone", true, SecretStatus::Unavailable, false, "new", "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keyring.answer = SecretStatus::Ok;
        keyring.items.clear();
        putInKeyring(6, "old");
        keyring.answer = c.answer;
        AccountSecrets secrets(store, cipher, &keyring);
        EXPECT_EQ(secrets.keep(6, label(6), "new", c.useKeyring), c.inKeyring);
        EXPECT_EQ(inFile(6), c.file);
        EXPECT_EQ(keyring.password(6), c.keyringHolds);
        EXPECT_EQ(AccountSecrets(store, cipher, &keyring).read(6).text, "new");
    }
}

TEST_F(Secrets, AClearedPasswordLeavesNeitherPlaceHoldingOne) {
    putInKeyring(2, "old");
    AccountSecrets secrets(store, cipher, &keyring);
    EXPECT_FALSE(secrets.keep(2, label(2), "", true));
    EXPECT_EQ(store.readString("Server", "Passwd2", "x"), "");
    EXPECT_EQ(keyring.password(2), "");
}

TEST_F(Secrets, TheLabelNamesTheProgramTheMailboxAndTheAccount) {
    EXPECT_EQ(secretLabel(3, SecretKind::Password, "alice", "pop.example.com"),
              "Quorvel mailbox 3 password (alice on pop.example.com)");
    EXPECT_EQ(secretLabel(12, SecretKind::RefreshToken, "bob", "pop.mail.test"),
              "Quorvel mailbox 12 sign-in token (bob on pop.mail.test)");
    EXPECT_EQ(secretLabel(1, SecretKind::Password, "", ""), "Quorvel mailbox 1 password");
}

TEST_F(Secrets, AnAccountWhosePasswordTheKeyringKeepsToItselfIsNotLoaded) {
    store.writeString("Server", "Server4", "pop.example.com");
    store.writeString("Server", "Mailbox4", "alice");
    putInKeyring(4, "secret");
    TmsRemotePOP client(fake.platform.pump, fake.platform.timers);
    readAccount(store, cipher, &keyring, 4, client);
    EXPECT_EQ(client.Password, "secret");

    keyring.answer = SecretStatus::Locked;
    try {
        readAccount(store, cipher, &keyring, 4, client);
        ADD_FAILURE() << "a locked keyring loaded the account";
    } catch (const SecretUnavailable& error) {
        EXPECT_EQ(error.status, SecretStatus::Locked);
        EXPECT_EQ(std::string(error.what()),
                  "The desktop keyring is locked: the password of mailbox 4 is kept there.");
        EXPECT_EQ(std::string(error.what()).find("secret"), std::string::npos);
    }
    // The password loaded before never stands in for it.
    EXPECT_EQ(client.Password, "");
    // A mailbox whose password is still in the file needs no keyring.
    putInFile(5, "filed");
    readAccount(store, cipher, &keyring, 5, client);
    EXPECT_EQ(client.Password, "filed");
}

TEST_F(Secrets, AGuardAsksARefusingKeyringOnceUntilTheUserActsAgain) {
    for (const SecretStatus refusal : {SecretStatus::Locked, SecretStatus::Unavailable}) {
        SCOPED_TRACE(static_cast<int>(refusal));
        keyring.calls.clear();
        keyring.answer = refusal;
        KeyringGuard guard(keyring);
        std::string secret;
        EXPECT_EQ(guard.read(1, SecretKind::Password, secret), refusal);
        EXPECT_EQ(guard.write(2, SecretKind::Password, "label", "pw"), refusal);
        EXPECT_EQ(guard.remove(3, SecretKind::Password), refusal);
        EXPECT_EQ(guard.read(4, SecretKind::RefreshToken, secret), refusal);
        EXPECT_EQ(keyring.calls, std::vector<std::string>{"read 1"});
        keyring.answer = SecretStatus::Ok;
        askKeyringAgain(&guard);
        EXPECT_EQ(guard.write(2, SecretKind::Password, "label", "pw"), SecretStatus::Ok);
        EXPECT_EQ(keyring.calls.size(), 2u);
    }
    // A keyring that answers is asked every time.
    keyring.calls.clear();
    KeyringGuard guard(keyring);
    std::string secret;
    EXPECT_EQ(guard.read(1, SecretKind::Password, secret), SecretStatus::NotFound);
    EXPECT_EQ(guard.read(1, SecretKind::Password, secret), SecretStatus::NotFound);
    EXPECT_EQ(keyring.calls.size(), 2u);
}

class MailboxesPage : public Secrets {
protected:
    MailboxesPage() { fake.platform.secrets = &keyring; }
    void configure(int n, const std::string& password) {
        store.writeString("Server", "Server" + std::to_string(n), "pop" + std::to_string(n) + ".test");
        store.writeString("Server", "Mailbox" + std::to_string(n), "user" + std::to_string(n));
        if (!password.empty()) putInFile(n, password);
    }
};

TEST_F(MailboxesPage, StartUpMovesTheFilesPasswordsAndSaysWhereEachIs) {
    configure(1, "one");
    configure(2, "two");
    putInKeyring(3, "three");
    configure(3, "");
    TfrmGeneral w(fake.platform, store);
    EXPECT_EQ(w.lblKept[0].caption, "settings file");
    EXPECT_EQ(w.lblKept[2].caption, "desktop keyring");
    EXPECT_EQ(w.edPass[2].text, "three");
    w.movePasswordsToKeyring();
    EXPECT_EQ(w.lblKept[0].caption, "desktop keyring");
    EXPECT_EQ(w.lblKept[1].caption, "desktop keyring");
    EXPECT_EQ(w.lblKept[3].caption, "");
    EXPECT_EQ(keyring.items.at({2, SecretKind::Password}).label, "Quorvel mailbox 2 password (user2 on pop2.test)");
    EXPECT_EQ(inFile(1), "");
    EXPECT_EQ(inFile(2), "");
    EXPECT_TRUE(w.cbKeyring.checked);
}

TEST_F(MailboxesPage, ANewPasswordGoesToTheKeyringAndTheFileKeepsNone) {
    configure(1, "");
    putInKeyring(1, "old");
    TfrmGeneral w(fake.platform, store);
    w.edPass[0].text = "typed";
    ASSERT_TRUE(w.saveServerSettings());
    EXPECT_EQ(keyring.password(1), "typed");
    EXPECT_EQ(store.readString("Server", "Passwd1", "x"), "");
    EXPECT_EQ(w.lblKept[0].caption, "desktop keyring");
}

TEST_F(MailboxesPage, TurningTheKeyringOffBringsThePasswordsBackIntoTheFile) {
    configure(1, "");
    configure(2, "");
    putInKeyring(1, "one");
    putInKeyring(2, "two");
    TfrmGeneral w(fake.platform, store);
    w.cbKeyring.checked = false;
    ASSERT_TRUE(w.saveServerSettings());
    EXPECT_EQ(inFile(1), "one");
    EXPECT_EQ(inFile(2), "two");
    EXPECT_TRUE(keyring.items.empty());
    EXPECT_FALSE(store.readBool("Server", "Keyring", true));
    EXPECT_EQ(w.lblKept[1].caption, "settings file");
    // Off, a start moves nothing back.
    TfrmGeneral again(fake.platform, store);
    again.movePasswordsToKeyring();
    EXPECT_FALSE(again.cbKeyring.checked);
    EXPECT_EQ(inFile(1), "one");
    EXPECT_TRUE(keyring.items.empty());
}

// A settings file that cannot be read takes no write (it would lose every
// value it holds): the keyring's item then stays, whatever the switch says.
TEST_F(Secrets, AnItemLeavesTheKeyringOnlyOnceTheFileIsSeenToHoldIt) {
    putInKeyring(1, "one");
    keyring.items[{2, SecretKind::RefreshToken}] = {"label", "token-2"};
    std::filesystem::remove(store.filePath());
    std::filesystem::create_directories(store.filePath());  // unreadable as a file
    AccountSecrets secrets(store, cipher, &keyring);
    EXPECT_TRUE(secrets.keep(1, label(1), "one", false));
    EXPECT_EQ(secrets.moveToFile(SecretKind::RefreshToken, label), 0);
    EXPECT_EQ(keyring.password(1), "one");
    EXPECT_EQ(keyring.items.at({2, SecretKind::RefreshToken}).secret, "token-2");

    // A file that reads: each moves, and only then leaves the keyring.
    std::filesystem::remove(store.filePath());
    EXPECT_FALSE(secrets.keep(1, label(1), "one", false));
    EXPECT_EQ(secrets.moveToFile(SecretKind::RefreshToken, label), 1);
    EXPECT_EQ(inFile(1), "one");
    EXPECT_EQ(cipher.decipher(store.readString("Server", "OAuthRefresh2", "")), "token-2");
    EXPECT_TRUE(keyring.items.empty());
}

// With no keyring answering, "(not answering)" stands only beside a mailbox
// that keeps something there: not one whose token command keeps nothing.
TEST_F(MailboxesPage, OnlyAMailboxThatKeepsSomethingThereIsNotAnswered) {
    configure(1, "");
    configure(2, "");
    writeSignIn(store, 2, TmsSignIn::OAuth2);
    store.writeString("Server", "OAuthCommand2", "token-helper --account user2");
    configure(3, "three");
    keyring.answer = SecretStatus::Unavailable;
    TfrmGeneral w(fake.platform, store);
    EXPECT_EQ(w.lblKept[0].caption, "desktop keyring (not answering)");
    EXPECT_EQ(w.lblKept[1].caption, "");
    EXPECT_EQ(w.lblKept[2].caption, "settings file");
    EXPECT_EQ(w.lblKept[3].caption, "");
}

// The keyring switch moves the refresh tokens with the passwords, both ways,
// and the column says where each mailbox's sign-in is.
TEST_F(MailboxesPage, EverySecretKindFollowsTheKeyringSwitchBothWays) {
    configure(1, "");
    putInKeyring(1, "one");
    configure(2, "");
    writeSignIn(store, 2, TmsSignIn::OAuth2);
    keyring.items[{2, SecretKind::RefreshToken}] = {"label", "token-2"};
    TfrmGeneral w(fake.platform, store);
    EXPECT_EQ(w.lblKept[1].caption, "desktop keyring");
    w.cbKeyring.checked = false;
    ASSERT_TRUE(w.saveServerSettings());
    EXPECT_EQ(inFile(1), "one");
    EXPECT_EQ(cipher.decipher(store.readString("Server", "OAuthRefresh2", "")), "token-2");
    EXPECT_TRUE(keyring.items.empty());
    EXPECT_EQ(w.lblKept[0].caption, "settings file");
    EXPECT_EQ(w.lblKept[1].caption, "settings file");

    w.cbKeyring.checked = true;
    ASSERT_TRUE(w.saveServerSettings());
    EXPECT_EQ(keyring.password(1), "one");
    EXPECT_EQ(keyring.items.at({2, SecretKind::RefreshToken}).secret, "token-2");
    EXPECT_EQ(keyring.items.at({2, SecretKind::RefreshToken}).label,
              "Quorvel mailbox 2 sign-in token (user2 on pop2.test)");
    EXPECT_EQ(store.readString("Server", "OAuthRefresh2", "x"), "");
    EXPECT_EQ(store.readString("Server", "Passwd1", "x"), "");
    EXPECT_EQ(w.lblKept[0].caption, "desktop keyring");
    EXPECT_EQ(w.lblKept[1].caption, "desktop keyring");
}

TEST_F(MailboxesPage, ALockedKeyringPromptsOnceAndSavingKeepsWhatItHolds) {
    for (int n = 1; n <= 4; ++n) {
        configure(n, "");
        putInKeyring(n, "pw" + std::to_string(n));
    }
    keyring.answer = SecretStatus::Locked;
    TfrmGeneral w(fake.platform, store);
    EXPECT_EQ(keyring.calls, std::vector<std::string>{"read 1"});
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w.lblKept[i].caption, "desktop keyring (locked)");
        EXPECT_EQ(w.edPass[i].text, "");
    }
    // A mailbox not set up holds no password anywhere.
    EXPECT_EQ(w.lblKept[4].caption, "");
    // Saving with the fields the keyring did not fill: no "no password" error, nothing erased.
    w.edPass[1].text = "typed";
    ASSERT_TRUE(w.saveServerSettings());
    EXPECT_TRUE(fake.dialogs.shown.empty());
    keyring.answer = SecretStatus::Ok;
    for (const int n : {1, 3, 4}) {
        EXPECT_EQ(keyring.password(n), "pw" + std::to_string(n));
        EXPECT_EQ(inFile(n), "");
    }
    // The typed one could not go to the keyring: the file holds it, and it wins.
    EXPECT_EQ(inFile(2), "typed");
    EXPECT_EQ(w.lblKept[1].caption, "settings file");
    EXPECT_EQ(AccountSecrets(store, cipher, &keyring).read(2).text, "typed");
}

TEST_F(MailboxesPage, AStartWithALockedKeyringPromptsOnceAndLosesNothing) {
    store.writeString("Server", "Version161", "161");
    configure(1, "");
    configure(2, "");
    configure(3, "three");
    putInKeyring(1, "one");
    putInKeyring(2, "two");
    keyring.answer = SecretStatus::Locked;
    Program program(fake.platform);
    program.start();
    EXPECT_EQ(keyring.calls.size(), 1u);
    // The current mailbox's password is not there: said once, not guessed.
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].text, "The desktop keyring is locked: the password of mailbox 1 is kept there.");
    EXPECT_EQ(program.frmGeneral()->lblKept[0].caption, "desktop keyring (locked)");
    EXPECT_EQ(program.frmGeneral()->lblKept[2].caption, "settings file");
    EXPECT_EQ(inFile(3), "three");
    keyring.answer = SecretStatus::Ok;
    EXPECT_EQ(keyring.password(1), "one");
}

}  // namespace
}  // namespace quorvel
