#pragma once

#include <cstdint>
#include <string>

#include "mail/remote_info.h"

namespace quorvel {

// The socket component's configuration.
class TagSocket {
public:
    virtual ~TagSocket() = default;
    std::string ServiceName;  // looked up in the service database for the port
    bool IsConnected() const { return connected_; }

protected:
    bool connected_ = false;
};

// What every mail protocol client is configured with.
class TmsMailBase : public TagSocket {
public:
    std::string Server;  // host name or dotted address, optionally ":" and a port
    std::uint16_t DefaultPort = 0;
    std::int32_t TimeOut = 60;  // seconds of silence before an operation fails
};

class TmsCustomPOP : public TmsMailBase {
public:
    TmsCustomPOP() {
        DefaultPort = 110;
        ServiceName = "pop3";
    }

    std::string UserName;
    std::string Password;

    std::int32_t MessageCount() const { return messageCount_; }
    std::int32_t TotalSize() const { return totalSize_; }

protected:
    std::int32_t messageCount_ = -1;
    std::int32_t totalSize_ = -1;
};

// The POP3 client the main window owns: its configuration and the records of
// the last listing, which the message list and the classification read.
class TmsRemotePOP : public TmsCustomPOP {
public:
    bool KeepConnected = false;

    const std::string& MessageDirectory() const { return messageDirectory_; }
    // A folder without a trailing separator gets one; an empty one stays empty.
    void setMessageDirectory(const std::string& folder);

    TmsRemoteInfo& RemoteInfo() { return remoteInfo_; }
    const TmsRemoteInfo& RemoteInfo() const { return remoteInfo_; }

    void SetDeleteMark(int index);
    void SetRetrieveMark(int index);
    void ClearMarks(int index);

private:
    std::string messageDirectory_;
    TmsRemoteInfo remoteInfo_;
};

}  // namespace quorvel
