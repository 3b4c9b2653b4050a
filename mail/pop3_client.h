#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mail/listing_cache.h"
#include "mail/pipeline_window.h"
#include "mail/pop3_capabilities.h"
#include "mail/remote_info.h"
#include "mail/sasl.h"
#include "mail/socket.h"

namespace quorvel {

using TmsNumNotifyEvent = std::function<void(int Num)>;

// How a mailbox signs in; the values are the ones the settings keep.
enum class TmsSignIn {
    // USER/PASS, or the strongest SASL password mechanism once TLS protects
    // the session.
    Password = 0,
    // APOP: the password never crosses the network, but its digest is MD5.
    APOP = 1,
    // An OAuth 2.0 access token through OAUTHBEARER or XOAUTH2.
    OAuth2 = 2,
};
inline constexpr std::array<const char*, 3> kSignInNames = {"Password", "APOP", "OAuth 2.0"};
// Contents is the whole answer after the status line, as received.
using TmsUserMsgSaveEvent = std::function<void(int Num, const std::string& Contents)>;

// POP3 (CAPA, STLS, APOP, USER, PASS, STAT, LIST, TOP, UIDL, RETR, DELE,
// QUIT) over the socket.
class TmsCustomPOP : public TmsMailBase {
public:
    TmsCustomPOP(EventPump& pump, TimerFactory& timers);

    std::string UserName;
    std::string Password;
    // APOP only when the user chose it: the digest is MD5.
    TmsSignIn SignIn = TmsSignIn::Password;
    // For OAuth 2.0: gives the access token, asked before the connection is
    // made; after the server refused a token it is asked once more with
    // `renew`, for a fresh one. Its errors end the log-in as they are, but
    // for one after Cancel, which ends it as a cancel.
    std::function<std::string(bool renew)> AccessToken;

    TmsNumNotifyEvent OnRetrieving, OnRetrieved, OnDeleting;
    // With no security chosen (a mailbox stored before the choice existed),
    // a server that offers STLS is spoken to over STARTTLS: Security then
    // holds that choice, and this is called once the log-in succeeded, for
    // the caller to store it.
    TNotifyEvent OnSecurityChosen;

    std::int32_t MessageCount() const { return messageCount_; }
    std::int32_t TotalSize() const { return totalSize_; }
    // What the server said it can do, read at log-in (again once TLS began);
    // empty when it refused CAPA. Kept for the session.
    const TmsCapabilities& Capabilities() const { return capabilities_; }
    // Whether the server agreed to UTF8 mode in this session.
    bool Utf8Mode() const { return utf8_; }
    // Off: one command at a time even when the server could take more.
    bool UsePipelining = true;
    // Whether the session sends commands ahead of their replies: only when
    // the server offers PIPELINING.
    bool Pipelining() const { return UsePipelining && capabilities_.has("PIPELINING"); }

    // Refuses an empty user name or password (for OAuth 2.0: no token
    // source) before any network activity.
    virtual void CheckProperties();
    void Connect() override;
    // 1 for "+", -1 for "-", 0 otherwise.
    int ReplyCode(const std::string& reply) override;
    void LogIn() override;
    void LogOut() override;
    void Stat();
    void RetrieveMessage(int index);
    void DeleteMessage(int index);
    virtual void SaveMessage(int index, const std::string& contents) = 0;

    // What a refused log-in tells the user: plain words and the server's line,
    // once. A locked mailbox is said to be in use, not a wrong password.
    static std::string RefusedLogInText(const std::string& host, const std::string& reply);
    // Throws EMailboxInUse or EServerError with RefusedLogInText.
    [[noreturn]] static void throwRefusedLogIn(const std::string& host, const std::string& reply);
    // The timestamp of an APOP greeting ("<...@...>"), empty when it has none.
    static std::string GreetingTimestamp(const std::string& greeting);
    // The APOP digest: MD5 of the timestamp and the password, in lower-case hex.
    static std::string ApopDigest(const std::string& timestamp, const std::string& password);

    // The largest CAPA answer read.
    static constexpr long long kMaxCapaAnswer = 64 << 10;
    void ResetState() override;

    // The most rounds of challenges one SASL exchange may take.
    static constexpr int kMaxSaslRounds = 8;

protected:
    std::string sessionAccount() const override {
        return TmsMailBase::sessionAccount() + '\n' + UserName + '\n' + std::to_string(static_cast<int>(SignIn));
    }
    // RFC 5034 AUTH with one mechanism; a refusal raises EServerError with
    // the server's line and what the mechanism learnt of the cause.
    void authenticate(SaslMechanism& mechanism);
    // With a password: the strongest mechanism in the server's SASL list,
    // only once TLS protects the session (today's USER/PASS otherwise); null
    // when there is none to use.
    std::unique_ptr<SaslMechanism> passwordMechanism();

    // Sends CAPA and keeps the answer; a refusal leaves the list empty.
    void readCapabilities();
    // USER/PASS, APOP or the access token, as SignIn says; never the
    // password in the clear after an APOP choice.
    void sendCredentials(const std::string& greeting);
    // OAUTHBEARER where the server offers it, XOAUTH2 otherwise; a refused
    // token is renewed and tried once more in the same session.
    void signInWithToken();
    // Reads a reply into LastReply; anything but "+" raises EServerError.
    void checkReply();
    // Reads one reply line, the oldest owed one when commands went ahead.
    int receiveReply(std::string& reply);
    // Sends commands ahead of their replies, in one write; `withAnswer` tells
    // for each whether a "+" reply is followed by a multi-line answer.
    void sendAhead(const std::vector<std::pair<std::string, bool>>& commands);
    // Sends DELE for record `index` ahead of its reply, which is read in turn
    // with the other owed replies.
    void sendDeleteAhead(int index);
    // Reads the DELE replies owed before any other reply.
    void readOwedDeletions();
    // Reads and drops the replies still owed, so that the session stays in
    // step (the QUIT that follows reads its own reply); DELE replies among
    // them are still noted.
    void dropOwedReplies();
    bool repliesOwed() const { return !owed_.empty(); }
    // The size from a LIST answer, 0 when there is none.
    static std::int32_t listedSize(const std::string& reply);
    // The size of message index+1 as the listing showed it; -1 when unknown.
    virtual std::int32_t shownSize(int) const { return -1; }
    // The records whose DELE the server accepted, once QUIT committed them.
    virtual void deletionsCommitted(const std::vector<int>&) {}
    // Commands to send in the same write as the log-in's STAT when the session
    // pipelines (with whether a "+" reply carries a multi-line answer); their
    // replies stay owed, to be read by whoever asked.
    virtual std::vector<std::pair<std::string, bool>> commandsWithStat() { return {}; }
    // Notes the reply to DELE of record `index`: only a "+" counts.
    void readDeleteReply(int index);

    std::int32_t messageCount_ = -1;
    std::int32_t totalSize_ = -1;
    TmsCapabilities capabilities_;
    bool utf8_ = false;

private:
    // What a reply still owed answers, in the order the commands went out.
    struct OwedReply {
        bool withAnswer;   // a "+" reply is followed by a multi-line answer
        int deleted = -1;  // for DELE: the record index
    };
    std::deque<OwedReply> owed_;
    // The access token of the log-in in progress.
    std::string accessToken_;
    std::string askAccessToken(bool renew);
    // The server refused the first token of a log-in: it is renewed with the
    // session closed.
    struct TokenRefused {};
    bool tokenRenewed_ = false;
    bool securityChosen_ = false;
    // One connection's log-in: greeting, capabilities, TLS, credentials.
    void logInOnce();
    // The records whose DELE the server accepted in this session; the QUIT
    // that ends it commits them, anything else forgets them.
    std::vector<int> acceptedDeletions_;
};

// The POP3 client the main window owns: it lists a mailbox's messages (size
// and header lines only), and retrieves or deletes the ones marked.
class TmsRemotePOP : public TmsCustomPOP {
public:
    TmsRemotePOP(EventPump& pump, TimerFactory& timers) : TmsCustomPOP(pump, timers) {}

    // A record keeps at most this many header lines and octets of them; the
    // rest of an overgrown header block is dropped like the body.
    static constexpr std::size_t kMaxHeaderLines = 4096;
    static constexpr std::size_t kMaxHeaderOctets = 512 * 1024;
    // A whole-mailbox UIDL or LIST answer may hold at most this many octets,
    // whatever count the server claims: some 200,000 lines of a number, a
    // unique id of 70 characters and the line end. Tests set a smaller bound.
    static constexpr long long kMaxScanAnswerOctets = 16LL << 20;
    long long MaxScanAnswerOctets = kMaxScanAnswerOctets;
    // A listing keeps at most this many octets of records in all: each
    // record's own keeping (kRecordOctets), its unique id, and each header
    // line with the sizeof(std::string) its keeping takes; beyond it the
    // check fails with the reason. Tests set a smaller cap.
    static constexpr std::size_t kMaxListingHeaderOctets = 32 << 20;
    std::size_t MaxListingHeaderOctets = kMaxListingHeaderOctets;
    // What a record costs with no header line: the record, its pointer in
    // the list, and the allocator's share of its two blocks.
    static constexpr std::size_t kRecordOctets = sizeof(TmsRemoteInfoItem) + sizeof(void*) + 2 * 16;
    // What a listed record counts against MaxListingHeaderOctets.
    static std::size_t recordOctets(const TmsRemoteInfoItem& item);

    bool KeepConnected = false;
    // When set, a listing asks for every unique id and size at once and sends
    // TOP only for the messages the cache does not know.
    TmsListingCache* ListingCache = nullptr;

    TNotifyEvent OnUpdatingInfo, OnInfoUpdated, OnTransferringData, OnDataTransfered;
    TmsNumNotifyEvent OnNextInfoUpdated;
    // For each message whose DELE the server accepted, in order, once the QUIT
    // that commits the deletions succeeded (a session that ends otherwise
    // deletes nothing). OnDeleting only reports progress before a DELE.
    TmsNumNotifyEvent OnDeleted;
    // When set, replaces saving a retrieved message to a file.
    TmsUserMsgSaveEvent OnUserMessageSave;

    const std::string& MessageDirectory() const { return messageDirectory_; }
    // A folder without a trailing separator gets one; an empty one stays empty.
    void setMessageDirectory(const std::string& folder);

    TmsRemoteInfo& RemoteInfo() { return remoteInfo_; }
    const TmsRemoteInfo& RemoteInfo() const { return remoteInfo_; }

    void SetDeleteMark(int index);
    void SetRetrieveMark(int index);
    void ClearMarks(int index);

    // Lists the mailbox into RemoteInfo.
    void UpdateInfo();
    // Retrieves and deletes the marked records, then ends the session.
    void ProcessMarks();
    // Fills `item` for record `index`; `ok` turns false when UIDL is refused.
    void GetInfo(int index, TmsRemoteInfoItem& item, bool& ok, bool listAndTop, bool uidl);
    // Whether message index+1 on the server is still the one listed.
    bool VerifyMessage(int index);
    void SaveMessage(int index, const std::string& contents) override;

    // The unique-id of a UIDL reply: '+OK 3 a1b2c3' gives 'a1b2c3'.
    static std::string ExtractWord(const std::string& reply);

protected:
    std::int32_t shownSize(int index) const override;
    void deletionsCommitted(const std::vector<int>& indexes) override;

private:
    // The reading halves of GetInfo, shared by the pipelined runs.
    // Both check that the reply is for message index+1.
    void readUidl(int index, TmsRemoteInfoItem& item, bool& ok);
    void readList(int index, TmsRemoteInfoItem& item);
    // A "+" reply naming another message than index+1 means the replies are
    // out of step: the session ends without QUIT, so nothing is deleted.
    void checkReplyNumber(int index, const char* command, const std::string& reply);
    // `listing`: a refusal of the first message's TOP says the server has none.
    void readTop(int index, TmsRemoteInfoItem& item, bool listing);
    void getInfo(int index, TmsRemoteInfoItem& item, bool& ok, bool listAndTop, bool uidl, bool listing);
    bool sameAsListed(int index, const TmsRemoteInfoItem& current) const;
    void listAhead();
    // The listing with known unique ids; false (and nothing listed) when the
    // server's UIDL or LIST answer cannot be trusted for it.
    bool listWithKnownIds();
    void deleteAhead();
    // Adds a listed record and announces it; one that takes the listing's
    // header lines past MaxListingHeaderOctets ends the session with an error
    // instead.
    void addListed(std::unique_ptr<TmsRemoteInfoItem> item);
    [[noreturn]] void listingTooLarge();
    // Ends a session whose listing failed; QUIT only when `inStep`.
    void endFailedSession(bool inStep);
    std::vector<std::pair<std::string, bool>> commandsWithStat() override;

    std::size_t listedHeaderOctets_ = 0;
    std::string messageDirectory_;
    TmsRemoteInfo remoteInfo_;
    // Set while UpdateInfo opens its session: the listing's UIDL may go with STAT.
    bool openingForListing_ = false;
    // The whole-mailbox UIDL went out with STAT; its reply is owed.
    bool uidlSentWithStat_ = false;
};

}  // namespace quorvel
