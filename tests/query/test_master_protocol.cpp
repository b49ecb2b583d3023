#include "master_protocol.h"
#include "param_names.h"

#include <gtest/gtest.h>

using namespace quorvale;
using namespace std::string_view_literals;

namespace {

using Bytes = std::vector<uint8_t>;

const MasterAddress kA{0x01020304, 27016}, kB{0x05060708, 2303}, kC{0xC0A80001, 2403}, kEnd{};

// A reply: the header, each address as 4 bytes and a big-endian port, then `tail`.
Bytes page(std::initializer_list<MasterAddress> servers, Bytes tail = {}) {
    Bytes b{0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
    for (const MasterAddress& a : servers)
        b.insert(b.end(), {uint8_t(a.ip >> 24), uint8_t(a.ip >> 16), uint8_t(a.ip >> 8),
                           uint8_t(a.ip), uint8_t(a.port >> 8), uint8_t(a.port)});
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

struct RequestCase {
    const char* label;
    MasterAddress seed;
    std::string filter;
    std::string_view expected;
};

class MasterRequest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(MasterRequest, IsOnTheWire) {
    const auto& c = GetParam();
    EXPECT_EQ(masterRequest(c.seed, c.filter), Bytes(c.expected.begin(), c.expected.end()));
}

// \377 is the region byte, all regions.
INSTANTIATE_TEST_SUITE_P(
    Requests, MasterRequest,
    ::testing::Values(RequestCase{"firstPage", kEnd, masterFilter(),
                                  "1\3770.0.0.0:0\0\\gamedir\\arma2arrowpc\0"sv},
                      RequestCase{"afterAServerOfAnAppId", kA, masterFilter(33930),
                                  "1\3771.2.3.4:27016\0\\gamedir\\arma2arrowpc\\appid\\33930\0"sv},
                      RequestCase{"zeroInFilterDropped", kEnd, std::string("\\a\0b", 4),
                                  "1\3770.0.0.0:0\0\\ab\0"sv}),
    ByLabel());

struct ReplyCase {
    const char* label;
    Bytes datagram;
    std::vector<MasterAddress> servers;
    bool readable, ended, told; // told: a note says what was wrong
};

class MasterReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(MasterReply, ListsTheWholeAddresses) {
    const auto& c = GetParam();
    const auto r = parseMasterReply(c.datagram.data(), c.datagram.size());
    EXPECT_EQ(r.servers, c.servers);
    EXPECT_EQ(r.readable, c.readable);
    EXPECT_EQ(r.ended, c.ended);
    EXPECT_EQ(!r.note.empty(), c.told) << r.note;
    for (size_t n = 0; n < c.datagram.size(); ++n) {
        const Bytes cut(c.datagram.begin(), c.datagram.begin() + n); // ASan sees overreads
        EXPECT_LE(parseMasterReply(cut.data(), cut.size()).servers.size(), c.servers.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MasterReply,
    ::testing::Values(
        ReplyCase{"twoAddresses", page({kA, kB}), {kA, kB}, true, false, false},
        ReplyCase{"endMarkLast", page({kA, kEnd}), {kA}, true, true, false},
        ReplyCase{"afterTheEndMarkIgnored", page({kA, kEnd, kB}), {kA}, true, true, false},
        ReplyCase{"oddSizeKeepsWholeAddresses", page({kA}, {1, 2, 3}), {kA}, true, false, true},
        ReplyCase{"cutInsideTheFirst", page({}, {1, 2, 3, 4}), {}, false, false, true},
        ReplyCase{"headerOnly", page({}), {}, true, false, false},
        ReplyCase{"zeroAddressIsNoEndMark", page({{0, 27015}}), {{0, 27015}}, true, false, false},
        ReplyCase{"wrongHeader",
                  {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0B, 1, 2, 3, 4, 5, 6},
                  {},
                  false,
                  false,
                  true},
        ReplyCase{"empty", {}, {}, false, false, true}),
    ByLabel());

struct WalkCase {
    const char* label;
    std::vector<Bytes> datagrams;
    std::string outcomes; // Page, End, Repeated, Ignored
    std::vector<MasterAddress> listed;
    MasterAddress seed;
};

class MasterWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(MasterWalk, GoesForwardAndListsEachOnce) {
    const auto& c = GetParam();
    MasterListing listing;
    std::string outcomes;
    for (const Bytes& d : c.datagrams)
        outcomes += "PERI"[static_cast<int>(listing.accept(d.data(), d.size()).outcome)];
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(listing.servers(), c.listed);
    EXPECT_EQ(listing.seed(), c.seed);
    EXPECT_EQ(listing.ended(), c.outcomes.find('E') != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Walks, MasterWalk,
    ::testing::Values(
        WalkCase{"endAlone", {page({kA, kB}), page({kC}), page({kEnd})}, "PPE", {kA, kB, kC}, kC},
        WalkCase{
            "neverBack", {page({kA}), page({kA}), page({kB}), page({kA})}, "PRPR", {kA, kB}, kB},
        WalkCase{"repeatsOnce", {page({kA, kB, kA}), page({kB, kC, kEnd})}, "PE", {kA, kB, kC}, kC},
        WalkCase{"junk",
                 {page({kA}), page({}, {9, 9}), Bytes{0xFF}, page({kB, kEnd})},
                 "PIIE",
                 {kA, kB},
                 kB},
        WalkCase{"emptyPageEnds", {page({kA}), page({})}, "PE", {kA}, kA},
        WalkCase{"nothingAfterTheEnd", {page({kA, kEnd}), page({kB})}, "EI", {kA}, kA}),
    ByLabel());

TEST(MasterJoinPort, IsTheToldGamePortElseTheQueryPortBelow) {
    EXPECT_EQ(masterJoinPort(2302, 2303), 2302);
    EXPECT_EQ(masterJoinPort(0, 27016), 27015);
    EXPECT_EQ(masterJoinPort(std::nullopt, 1), std::nullopt);
}

} // namespace
