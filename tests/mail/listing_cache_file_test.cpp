// A mailbox's listing cache outlives the program in a file that is data like
// any server line: what is read back is exactly what was written, and
// anything else is discarded whole.
#include "mail/listing_cache_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

const TmsListingAccount kAlice{"pop.example.org", 110, "alice"};

std::unique_ptr<TmsRemoteInfoItem> record(const std::string& uid, int size, TmsHeaders headers) {
    auto item = std::make_unique<TmsRemoteInfoItem>();
    item->UIDL = uid;
    item->Size = size;
    item->Headers = std::move(headers);
    return item;
}

TmsRemoteInfo sampleListing() {
    TmsRemoteInfo listing;
    listing.Add(record("uid-1", 1200, {"From: a@example.org", "Subject: one", " folded"}));
    listing.Add(record("uid-2", 0, {}));
    listing.Add(record("uid:3\n", 77, {"Subject: 12:34\n", ""}));  // separators inside fields
    return listing;
}

std::string savedSample(const testing::TempFolder& temp) {
    TmsListingCacheFile cache(TmsListingCacheFile::pathFor(temp.path(), 1), kAlice);
    cache.update(sampleListing());
    cache.save();
    return *readFileBytes(cache.path());
}

// A check that changed nothing writes nothing; any change of a record, of
// the order or of the ids kept writes the file whole. The file is replaced by
// a marker after loading, so a write shows as a readable cache again.
TEST(ListingCacheFile, SavesOnlyWhatDiffersFromTheFile) {
    const auto changed = [](const std::function<void(TmsRemoteInfo&)>& change) {
        TmsRemoteInfo listing;
        const TmsRemoteInfo sample = sampleListing();
        for (int i = 0; i < sample.Count(); ++i)
            listing.Add(std::make_unique<TmsRemoteInfoItem>(sample.Items(i)));
        change(listing);
        return listing;
    };
    const struct {
        const char* name;
        TmsRemoteInfo listing;
        bool written;
    } cases[] = {
        {"the same", changed([](TmsRemoteInfo&) {}), false},
        {"a header line", changed([](TmsRemoteInfo& l) { l.Items(0).Headers[1] = "Subject: One"; }), true},
        {"a size", changed([](TmsRemoteInfo& l) { l.Items(1).Size = 1; }), true},
        {"the order", changed([](TmsRemoteInfo& l) { std::swap(l.Items(0).UIDL, l.Items(1).UIDL); }), true},
        {"one more", changed([](TmsRemoteInfo& l) { l.Add(record("uid-4", 4, {})); }), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempFolder temp;
        savedSample(temp);
        TmsListingCacheFile cache(TmsListingCacheFile::pathFor(temp.path(), 1), kAlice);
        ASSERT_EQ(cache.load(), "");
        writeFileAtomically(cache.path(), "marker");
        cache.update(c.listing);
        cache.save();
        EXPECT_EQ(*readFileBytes(cache.path()) != "marker", c.written);
        // Once written, the next save of the same is not.
        writeFileAtomically(cache.path(), "marker");
        cache.update(c.listing);
        cache.save();
        EXPECT_EQ(*readFileBytes(cache.path()), "marker");
    }
    // A file that could not be read is written even for an empty cache.
    testing::TempFolder temp;
    TmsListingCacheFile cache(TmsListingCacheFile::pathFor(temp.path(), 1), kAlice);
    writeFileAtomically(cache.path(), "damaged");
    EXPECT_NE(cache.load(), "");
    cache.save();
    TmsListingCacheFile again(cache.path(), kAlice);
    EXPECT_EQ(again.load(), "");
}

TEST(ListingCacheFile, RoundTripKeepsEveryRecordByItsId) {
    testing::TempFolder temp;
    savedSample(temp);
    TmsListingCacheFile cache(TmsListingCacheFile::pathFor(temp.path(), 1), kAlice);
    EXPECT_EQ(cache.load(), "");
    ASSERT_EQ(cache.size(), 3u);
    TmsRemoteInfo want = sampleListing();
    for (int i = 0; i < want.Count(); ++i) {
        const TmsKnownMessage* got = cache.find(want.Items(i).UIDL);
        ASSERT_NE(got, nullptr) << i;
        EXPECT_EQ(got->Size, want.Items(i).Size);
        EXPECT_EQ(got->headers(), want.Items(i).Headers);
    }
    EXPECT_EQ(cache.find("uid-4"), nullptr);
}

TEST(ListingCacheFile, FileIsNamedForItsMailboxAndTheUsersAlone) {
    testing::TempFolder temp;
    EXPECT_EQ(TmsListingCacheFile::pathFor(temp.path(), 2), temp.file("listing-cache-mailbox-2.dat"));
    writeFileAtomically(temp.file("listing-cache-mailbox-1.dat"), "old", 0644);
    savedSample(temp);
    struct stat st {};
    ASSERT_EQ(stat(temp.file("listing-cache-mailbox-1.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Replaced whole: nothing of the old bytes, no temporary left beside it.
    EXPECT_EQ(readFileBytes(temp.file("listing-cache-mailbox-1.dat"))->rfind("QUORVEL LISTING CACHE\n", 0), 0u);
    int files = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(temp.path())) ++files;
    EXPECT_EQ(files, 1);
}

TEST(ListingCacheFile, MissingFileIsAnEmptyCacheWithoutComplaint) {
    testing::TempFolder temp;
    TmsListingCacheFile cache(temp.file("none.dat"), kAlice);
    EXPECT_EQ(cache.load(), "");
    EXPECT_EQ(cache.size(), 0u);
}

TEST(ListingCacheFile, EveryCutOfAValidFileIsDiscarded) {
    testing::TempFolder temp;
    const std::string whole = savedSample(temp);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        writeFileAtomically(temp.file("cut.dat"), whole.substr(0, length));
        TmsListingCacheFile cache(temp.file("cut.dat"), kAlice);
        EXPECT_NE(cache.load(), "") << length;
        EXPECT_EQ(cache.size(), 0u) << length;
    }
    writeFileAtomically(temp.file("cut.dat"), whole + "x");
    TmsListingCacheFile longer(temp.file("cut.dat"), kAlice);
    EXPECT_NE(longer.load(), "");
}

TEST(ListingCacheFile, AnotherAccountStartsEmpty) {
    testing::TempFolder temp;
    savedSample(temp);
    for (const TmsListingAccount& other : {TmsListingAccount{"pop.example.org", 110, "bob"},
                                           TmsListingAccount{"pop.example.org", 995, "alice"},
                                           TmsListingAccount{"mail.example.org", 110, "alice"}}) {
        TmsListingCacheFile cache(TmsListingCacheFile::pathFor(temp.path(), 1), other);
        EXPECT_EQ(cache.load(), "written for another account") << other.UserName;
        EXPECT_EQ(cache.find("uid-1"), nullptr);
    }
}

TEST(ListingCacheFile, CraftedFilesAreDiscarded) {
    testing::TempFolder temp;
    const std::string head = "QUORVEL LISTING CACHE\nversion 1\n15:pop.example.org\n110\n5:alice\n";
    struct Case {
        std::string bytes;
        std::string problem;
    } cases[] = {
        {"QUORVEL LISTING CACHF\n", "not a listing cache"},
        {"QUORVEL LISTING CACHE\nversion 2\n", "another version"},
        {head + "1\n5:uid-1\n10\n1\n99999999999999999999:x\nend\n", "damaged"},         // length past any end
        {head + "1\n5:uid-1\n10\n1\n4:x\nend\n", "damaged"},                              // length past the file
        {head + "2\n5:uid-1\n10\n0\nend\n", "damaged"},                                    // count above entries
        {head + "100001\nend\n", "damaged"},                                               // count above the cap
        {head + "1\n5:uid-1\n10\n4097\nend\n", "damaged"},                                 // lines above the cap
        {head + "1\n5:uid-1\n-1\n0\nend\n", "damaged"},                                    // negative size
        {head + "1\n5:uid-1\n2147483648\n0\nend\n", "damaged"},                            // size past int32
        {head + "1\n0:\n10\n0\nend\n", "damaged"},                                         // empty id
        {head + "1\n71:" + std::string(71, 'u') + "\n10\n0\nend\n", "damaged"},            // id too long
        {head + "2\n5:uid-1\n1\n0\n5:uid-1\n2\n0\nend\n", "an id twice"},
        {head + "1\n5:uid-1\n10\n0\nEND\n", "damaged"},
    };
    for (const Case& c : cases) {
        writeFileAtomically(temp.file("crafted.dat"), c.bytes);
        TmsListingCacheFile cache(temp.file("crafted.dat"), kAlice);
        EXPECT_EQ(cache.load(), c.problem) << c.bytes;
        EXPECT_EQ(cache.size(), 0u);
    }
    // The same shape with sound values is read, so the cases above fail for their fault.
    writeFileAtomically(temp.file("crafted.dat"), head + "1\n70:" + std::string(70, 'u') + "\n2147483647\n0\nend\n");
    TmsListingCacheFile sound(temp.file("crafted.dat"), kAlice);
    EXPECT_EQ(sound.load(), "");
    EXPECT_EQ(sound.size(), 1u);
}

TEST(ListingCacheFile, RecordBoundsHoldAtTheirEdges) {
    testing::TempFolder temp;
    const std::size_t maxLines = TmsListingCacheFile::kMaxHeaderLines;
    const std::size_t maxOctets = TmsListingCacheFile::kMaxHeaderOctets;
    TmsRemoteInfo listing;
    listing.Add(record("lines-1", 1, TmsHeaders(maxLines - 1, "X: y")));
    listing.Add(record("lines", 1, TmsHeaders(maxLines, "X: y")));
    listing.Add(record("lines+1", 1, TmsHeaders(maxLines + 1, "X: y")));
    listing.Add(record("octets-1", 1, {std::string(maxOctets - 1, 'x')}));
    listing.Add(record("octets", 1, {std::string(maxOctets - 10, 'x'), std::string(10, 'y')}));
    listing.Add(record("octets+1", 1, {std::string(maxOctets + 1, 'x')}));
    listing.Add(record(std::string(70, 'u'), 1, {}));
    listing.Add(record(std::string(71, 'u'), 1, {}));
    listing.Add(record("", 1, {}));
    listing.Add(record("twice", 1, {}));  // an id listed twice names neither record
    listing.Add(record("twice", 2, {}));
    TmsListingCacheFile cache(temp.file("bounds.dat"), kAlice);
    cache.update(listing);
    cache.save();
    TmsListingCacheFile again(temp.file("bounds.dat"), kAlice);
    ASSERT_EQ(again.load(), "");
    for (const char* kept : {"lines-1", "lines", "octets-1", "octets"}) EXPECT_NE(again.find(kept), nullptr) << kept;
    for (const char* dropped : {"lines+1", "octets+1", ""}) EXPECT_EQ(again.find(dropped), nullptr) << dropped;
    EXPECT_NE(again.find(std::string(70, 'u')), nullptr);
    EXPECT_EQ(again.find(std::string(71, 'u')), nullptr);
    EXPECT_EQ(again.find("twice"), nullptr);
    EXPECT_EQ(again.size(), 5u);
}

TEST(ListingCacheFile, EntryCapKeepsTheFirstIdsAndOneOverIsNotRead) {
    testing::TempFolder temp;
    const std::size_t cap = TmsListingCacheFile::kMaxEntries;
    TmsRemoteInfo listing;
    for (std::size_t i = 0; i < cap + 1; ++i) listing.Add(record("u" + std::to_string(i), 1, {}));
    TmsListingCacheFile cache(temp.file("many.dat"), kAlice);
    cache.update(listing);
    EXPECT_EQ(cache.size(), cap);
    EXPECT_NE(cache.find("u" + std::to_string(cap - 1)), nullptr);
    EXPECT_EQ(cache.find("u" + std::to_string(cap)), nullptr);
    cache.save();
    TmsListingCacheFile again(temp.file("many.dat"), kAlice);
    EXPECT_EQ(again.load(), "");
    EXPECT_EQ(again.size(), cap);
}

TEST(ListingCacheFile, AFileBeyondItsBoundIsNotRead) {
    testing::TempFolder temp;
    const std::string path = TmsListingCacheFile::pathFor(temp.path(), 1);
    const std::size_t bound = TmsListingCacheFile::kMaxFileOctets;
    for (const std::size_t size : {bound - 1, bound, bound + 1, 4 * bound}) {
        SCOPED_TRACE(size);
        std::filesystem::remove(path);
        { std::ofstream(path).put('x'); }
        std::filesystem::resize_file(path, size);
        TmsListingCacheFile cache(path, kAlice);
        // Within the bound the file is read, and found to be no cache.
        EXPECT_EQ(cache.load(), size <= bound ? "not a listing cache" : "too large");
        EXPECT_EQ(cache.find("uid-1"), nullptr);
    }
}

TEST(ListingCacheFile, UpdateDropsIdsNoLongerListed) {
    testing::TempFolder temp;
    TmsListingCacheFile cache(temp.file("drop.dat"), kAlice);
    cache.update(sampleListing());
    TmsRemoteInfo later;
    later.Add(record("uid-2", 0, {}));
    later.Add(record("uid-9", 5, {"Subject: new"}));
    cache.update(later);
    EXPECT_EQ(cache.find("uid-1"), nullptr);
    EXPECT_NE(cache.find("uid-2"), nullptr);
    EXPECT_NE(cache.find("uid-9"), nullptr);
    EXPECT_EQ(cache.size(), 2u);
}

}  // namespace
}  // namespace quorvel
