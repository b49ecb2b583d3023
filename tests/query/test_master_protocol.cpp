#include "master_protocol.h"
#include "param_names.h"

#include <gtest/gtest.h>

using namespace quorvale;

namespace {

using Bytes = std::vector<uint8_t>;
using Outcome = MasterListing::Outcome;

const MasterAddress kA{0x01020304, 27016}, kB{0x05060708, 2303}, kC{0xC0A80001, 2403}, kEnd{0, 0};

Bytes bytesOf(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

// A reply: the header, then each address as 4 bytes and a big-endian port.
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
    uint8_t region;
    std::string_view expected;
};

class MasterRequestBytes : public ::testing::TestWithParam<RequestCase> {};

TEST_P(MasterRequestBytes, AreOnTheWire) {
    const auto& c = GetParam();
    EXPECT_EQ(masterRequest(c.seed, c.filter, c.region), bytesOf(c.expected));
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Requests, MasterRequestBytes,
    ::testing::Values(RequestCase{"firstPage", kEnd, masterFilter(), 0xFF,
                                  "1\xFF"
                                  "0.0.0.0:0\0\\gamedir\\arma2arrowpc\0"sv},
                      RequestCase{"nextPageWithAppId", kA, masterFilter(33930), 0x03,
                                  "1\x03"
                                  "1.2.3.4:27016\0\\gamedir\\arma2arrowpc\\appid\\33930\0"sv},
                      RequestCase{"highestAddress",
                                  {0xFFFFFFFE, 65535},
                                  "",
                                  0xFF,
                                  "1\xFF"
                                  "255.255.255.254:65535\0\0"sv},
                      RequestCase{"zeroInFilterDropped", kEnd, std::string("\\a\0b", 4), 0xFF,
                                  "1\xFF"
                                  "0.0.0.0:0\0\\ab\0"sv}),
    ByLabel());

struct ReplyCase {
    const char* label;
    Bytes datagram;
    bool readable;
    std::vector<MasterAddress> servers;
    bool ended;
    bool told; // a note says what was wrong
};

class MasterReplyParse : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(MasterReplyParse, ListsTheWholeAddresses) {
    const auto& c = GetParam();
    const MasterReply r = parseMasterReply(c.datagram.data(), c.datagram.size());
    EXPECT_EQ(r.readable, c.readable);
    EXPECT_EQ(r.servers, c.servers);
    EXPECT_EQ(r.ended, c.ended);
    EXPECT_EQ(!r.note.empty(), c.told) << r.note;
    for (size_t n = 0; n < c.datagram.size(); ++n) {
        const Bytes cut(c.datagram.begin(), c.datagram.begin() + n); // ASan sees overreads
        EXPECT_LE(parseMasterReply(cut.data(), cut.size()).servers.size(), c.servers.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MasterReplyParse,
    ::testing::Values(
        ReplyCase{"twoAddresses", page({kA, kB}), true, {kA, kB}, false, false},
        ReplyCase{"endMarkLast", page({kA, kEnd}), true, {kA}, true, false},
        ReplyCase{"afterTheEndMarkIgnored", page({kA, kEnd, kB}), true, {kA}, true, false},
        ReplyCase{"oddSizeKeepsWholeAddresses", page({kA}, {1, 2, 3}), true, {kA}, false, true},
        ReplyCase{"cutInsideTheFirst", page({}, {1, 2, 3, 4}), false, {}, false, true},
        ReplyCase{"headerOnly", page({}), true, {}, false, false},
        ReplyCase{"zeroAddressIsNoEndMark", page({{0, 27015}}), true, {{0, 27015}}, false, false},
        ReplyCase{"wrongType",
                  {0xFF, 0xFF, 0xFF, 0xFF, 0x67, 0x0A, 1, 2, 3, 4, 5, 6},
                  false,
                  {},
                  false,
                  true},
        ReplyCase{"wrongSecondByte", {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0B}, false, {}, false, true},
        ReplyCase{"splitHeader", {0xFE, 0xFF, 0xFF, 0xFF, 0x66, 0x0A}, false, {}, false, true},
        ReplyCase{"empty", {}, false, {}, false, true}),
    ByLabel());

struct WalkCase {
    const char* label;
    std::vector<Bytes> datagrams;
    std::vector<Outcome> outcomes;
    std::vector<MasterAddress> listed;
    MasterAddress seed;
    bool ended;
};

class MasterListingWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(MasterListingWalk, GoesForwardAndListsEachOnce) {
    const auto& c = GetParam();
    MasterListing listing;
    std::vector<Outcome> outcomes;
    for (const Bytes& d : c.datagrams)
        outcomes.push_back(listing.accept(d.data(), d.size()).outcome);
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(listing.servers(), c.listed);
    EXPECT_EQ(listing.seed(), c.seed);
    EXPECT_EQ(listing.ended(), c.ended);
}

const Bytes kJunk = {0xFF, 0xFF, 0xFF, 0xFF, 0x49, 0x11, 0};

INSTANTIATE_TEST_SUITE_P(
    Walks, MasterListingWalk,
    ::testing::Values(WalkCase{"pagesThenEndMarkAlone",
                               {page({kA, kB}), page({kC}), page({kEnd})},
                               {Outcome::Page, Outcome::Page, Outcome::Ended},
                               {kA, kB, kC},
                               kC,
                               true},
                      WalkCase{"pageTwiceAndLateNeverGoBack",
                               {page({kA}), page({kA}), page({kB}), page({kA})},
                               {Outcome::Page, Outcome::Repeated, Outcome::Page, Outcome::Repeated},
                               {kA, kB},
                               kB,
                               false},
                      WalkCase{"duplicatesListedOnce",
                               {page({kA, kB, kA}), page({kB, kC, kEnd})},
                               {Outcome::Page, Outcome::Ended},
                               {kA, kB, kC},
                               kC,
                               true},
                      WalkCase{"garbageBetween",
                               {page({kA}), kJunk, page({}, {9, 9}), Bytes{}, page({kB, kEnd})},
                               {Outcome::Page, Outcome::Ignored, Outcome::Ignored, Outcome::Ignored,
                                Outcome::Ended},
                               {kA, kB},
                               kB,
                               true},
                      WalkCase{"emptyPageEndsWithoutMark",
                               {page({kA}), page({})},
                               {Outcome::Page, Outcome::Ended},
                               {kA},
                               kA,
                               true},
                      WalkCase{"nothingAfterTheEnd",
                               {page({kA, kEnd}), page({kB})},
                               {Outcome::Ended, Outcome::Ignored},
                               {kA},
                               kA,
                               true}),
    ByLabel());

struct PortCase {
    const char* label;
    std::string_view text;
    std::optional<std::pair<std::string, uint16_t>> split;
    std::optional<uint16_t> infoPort;
    uint16_t queryPort;
    std::optional<uint16_t> joinPort;
};

class MasterPorts : public ::testing::TestWithParam<PortCase> {};

TEST_P(MasterPorts, AreReadAndDerived) {
    const auto& c = GetParam();
    EXPECT_EQ(splitHostPort(c.text, DefaultMasterPort), c.split);
    EXPECT_EQ(masterJoinPort(c.infoPort, c.queryPort), c.joinPort);
}

using HostPort = std::pair<std::string, uint16_t>;
INSTANTIATE_TEST_SUITE_P(
    Ports, MasterPorts,
    ::testing::Values(
        PortCase{"defaultPortAndInfoPort", "master.test", HostPort{"master.test", 27011}, 2302,
                 2303, 2302},
        PortCase{"givenPortAndQueryPortLessOne", "127.0.0.1:4000", HostPort{"127.0.0.1", 4000},
                 std::nullopt, 27016, 27015},
        PortCase{"badPortAndInfoPortZero", "master.test:x", std::nullopt, 0, 2303, 2302},
        PortCase{"noHostAndNoPortBelow", ":27011", std::nullopt, std::nullopt, 1, std::nullopt},
        PortCase{"ipv6", "::1", std::nullopt, std::nullopt, 0, std::nullopt}),
    ByLabel());

} // namespace
