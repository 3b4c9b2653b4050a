#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "mail/remote_info.h"
#include "mail/socket.h"

namespace quorvel {

using TmsNumNotifyEvent = std::function<void(int Num)>;
// Contents is the whole answer after the status line, as received.
using TmsUserMsgSaveEvent = std::function<void(int Num, const std::string& Contents)>;

// POP3 (USER, PASS, STAT, LIST, TOP, UIDL, RETR, DELE, QUIT) over the socket.
class TmsCustomPOP : public TmsMailBase {
public:
    TmsCustomPOP(EventPump& pump, TimerFactory& timers);

    std::string UserName;
    std::string Password;

    TmsNumNotifyEvent OnRetrieving, OnRetrieved, OnDeleting;

    std::int32_t MessageCount() const { return messageCount_; }
    std::int32_t TotalSize() const { return totalSize_; }

    // Refuses an empty user name or password before any network activity.
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

protected:
    // Reads a reply into LastReply; anything but "+" raises EServerError.
    void checkReply();
    // The size from a LIST answer, 0 when there is none.
    static std::int32_t listedSize(const std::string& reply);
    // The size of message index+1 as the listing showed it; -1 when unknown.
    virtual std::int32_t shownSize(int) const { return -1; }

    std::int32_t messageCount_ = -1;
    std::int32_t totalSize_ = -1;
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

    bool KeepConnected = false;

    TNotifyEvent OnUpdatingInfo, OnInfoUpdated, OnTransferringData, OnDataTransfered;
    TmsNumNotifyEvent OnNextInfoUpdated;
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

private:
    std::string messageDirectory_;
    TmsRemoteInfo remoteInfo_;
};

}  // namespace quorvel
