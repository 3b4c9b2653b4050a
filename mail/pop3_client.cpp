#include "mail/pop3_client.h"

namespace quorvel {

void TmsRemotePOP::setMessageDirectory(const std::string& folder) {
    messageDirectory_ = folder;
    if (!messageDirectory_.empty() && messageDirectory_.back() != '/') messageDirectory_ += '/';
}

void TmsRemotePOP::SetDeleteMark(int index) {
    remoteInfo_.Items(index).marks |= TmsRemoteInfoItem::DeleteMark;
}

void TmsRemotePOP::SetRetrieveMark(int index) {
    remoteInfo_.Items(index).marks |= TmsRemoteInfoItem::RetrieveMark;
}

void TmsRemotePOP::ClearMarks(int index) {
    remoteInfo_.Items(index).marks = 0;
}

}  // namespace quorvel
