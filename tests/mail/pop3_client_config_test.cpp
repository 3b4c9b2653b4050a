#include <gtest/gtest.h>

#include "mail/pop3_client.h"
#include "platform/poll_event_loop.h"

namespace quorvel {
namespace {

TEST(Pop3ClientConfiguration, AFreshClientHasNoListingAndTheDefaults) {
    PollEventLoop loop;
    TmsRemotePOP pop(loop, loop);
    EXPECT_EQ(pop.MessageCount(), -1);
    EXPECT_EQ(pop.TotalSize(), -1);
    EXPECT_FALSE(pop.IsConnected());
    EXPECT_EQ(pop.RemoteInfo().Count(), 0);
    EXPECT_EQ(pop.DefaultPort, 110);
    EXPECT_EQ(pop.ServiceName, "pop3");
    EXPECT_EQ(pop.TimeOut, 60);
    EXPECT_FALSE(pop.KeepConnected);
}

TEST(Pop3ClientConfiguration, MessageDirectoryEndsWithASeparatorUnlessEmpty) {
    PollEventLoop loop;
    TmsRemotePOP pop(loop, loop);
    pop.setMessageDirectory("/tmp/q");
    EXPECT_EQ(pop.MessageDirectory(), "/tmp/q/");
    pop.setMessageDirectory("/tmp/q/");
    EXPECT_EQ(pop.MessageDirectory(), "/tmp/q/");
    pop.setMessageDirectory("");
    EXPECT_EQ(pop.MessageDirectory(), "");
}

TEST(Pop3ClientConfiguration, MarksStayUntilClearedOrTheRecordsAreRebuilt) {
    PollEventLoop loop;
    TmsRemotePOP pop(loop, loop);
    for (int i = 0; i < 5; ++i) pop.RemoteInfo().Add(std::make_unique<TmsRemoteInfoItem>());
    pop.SetDeleteMark(3);
    pop.SetRetrieveMark(3);
    EXPECT_TRUE(pop.RemoteInfo().Items(3).deleteMarked());
    EXPECT_TRUE(pop.RemoteInfo().Items(3).retrieveMarked());
    EXPECT_EQ(pop.RemoteInfo().Items(3).marks, 3);
    EXPECT_EQ(pop.RemoteInfo().Items(2).marks, 0);
    pop.ClearMarks(3);
    EXPECT_EQ(pop.RemoteInfo().Items(3).marks, 0);
    pop.SetDeleteMark(1);
    pop.RemoteInfo().Clear();
    EXPECT_EQ(pop.RemoteInfo().Count(), 0);
    EXPECT_THROW(pop.SetDeleteMark(1), std::out_of_range);
}

}  // namespace
}  // namespace quorvel
