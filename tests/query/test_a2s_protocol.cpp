#include "a2s_protocol.h"
#include "param_names.h"
#include "reply_players.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quorvale;

namespace {

using Bytes = std::vector<uint8_t>;

// Little-endian datagram builder.
struct Out {
    Bytes b;
    Out& u8(unsigned v) {
        b.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Out& le(uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Out& str(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
        return *this;
    }
    Out& raw(const Bytes& r) {
        b.insert(b.end(), r.begin(), r.end());
        return *this;
    }
};

const Bytes kSingle = {0xFF, 0xFF, 0xFF, 0xFF};

// An info reply payload (no FF FF FF FF), up to the version or with extra fields.
Bytes infoPayload(const std::string& game, int edf = -1, const std::string& keywords = "") {
    Out o;
    o.u8(0x49).u8(17).str("Our server").str("chernarus").str("arma2arrowpc").str(game);
    o.le(33930, 2).u8(12).u8(64).u8(1).u8('d').u8('w').u8(0).u8(1).str("1.63.131129");
    if (edf < 0)
        return o.b;
    o.u8(edf);
    if (edf & 0x80)
        o.le(2302, 2);
    if (edf & 0x10)
        o.le(0x0110000100000001ull, 8);
    if (edf & 0x40)
        o.le(2304, 2).str("tv");
    if (edf & 0x20)
        o.str(keywords);
    if (edf & 0x01)
        o.le(33930, 8);
    return o.b;
}

// Three players, or the first only.
Bytes playersPayload(bool all = true) {
    Out o;
    o.u8(0x44).u8(3);
    o.u8(0).str("Zoë").le(120, 4).le(0x42C80000, 4);
    if (!all)
        return o.b;
    o.u8(1).str("Jos\xE9").le(static_cast<uint32_t>(-3), 4).le(0, 4);
    o.u8(2).str("").le(0, 4).le(0, 4);
    return o.b;
}

Bytes single(const Bytes& payload) {
    return Out().raw(kSingle).raw(payload).b;
}

Bytes splitPart(uint32_t id, unsigned total, unsigned number, const Bytes& part) {
    return Out()
        .raw({0xFE, 0xFF, 0xFF, 0xFF})
        .le(id, 4)
        .u8(total)
        .u8(number)
        .le(1248, 2)
        .raw(part)
        .b;
}

// The reply cut into `total` parts of nearly equal length.
std::vector<Bytes> splitInto(uint32_t id, unsigned total, const Bytes& payload) {
    const Bytes whole = single(payload);
    std::vector<Bytes> parts;
    const size_t step = (whole.size() + total - 1) / total;
    for (unsigned n = 0; n < total; ++n) {
        const size_t from = std::min(whole.size(), n * step);
        const size_t to = std::min(whole.size(), from + step);
        parts.push_back(splitPart(id, total, n, Bytes(whole.begin() + from, whole.begin() + to)));
    }
    return parts;
}

A2sReply parse(const Bytes& payload) {
    return parseA2sPayload(payload.data(), payload.size());
}

const std::optional<std::string> none;

} // namespace

struct RequestCase {
    const char* label;
    A2sRequestKind kind;
    std::optional<A2sChallenge> challenge;
    Bytes expected;
    friend void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.label; }
};

class A2sRequestBytes : public ::testing::TestWithParam<RequestCase> {};

TEST_P(A2sRequestBytes, AreOnTheWire) {
    const auto& c = GetParam();
    EXPECT_EQ(a2sRequest(c.kind, c.challenge), c.expected);
}

const Bytes kInfoRequest = Out().raw(kSingle).u8(0x54).str("Source Engine Query").b;

INSTANTIATE_TEST_SUITE_P(
    Requests, A2sRequestBytes,
    ::testing::Values(RequestCase{"info", A2sRequestKind::Info, std::nullopt, kInfoRequest},
                      RequestCase{"infoWithChallenge", A2sRequestKind::Info,
                                  A2sChallenge{1, 2, 3, 4},
                                  Out().raw(kInfoRequest).raw({1, 2, 3, 4}).b},
                      RequestCase{"rulesWithChallenge",
                                  A2sRequestKind::Rules,
                                  A2sChallenge{1, 2, 3, 4},
                                  {0xFF, 0xFF, 0xFF, 0xFF, 0x56, 1, 2, 3, 4}},
                      RequestCase{"playersAskingForChallenge",
                                  A2sRequestKind::Players,
                                  std::nullopt,
                                  {0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0xFF}},
                      RequestCase{"playersWithChallenge",
                                  A2sRequestKind::Players,
                                  A2sChallenge{9, 8, 7, 6},
                                  {0xFF, 0xFF, 0xFF, 0xFF, 0x55, 9, 8, 7, 6}}),
    ByLabel());

struct InfoCase {
    const char* label;
    Bytes payload;
    std::optional<std::string> mission, gameState, keywords;
    friend void PrintTo(const InfoCase& c, std::ostream* os) { *os << c.label; }
};

class A2sInfoReply : public ::testing::TestWithParam<InfoCase> {};

TEST_P(A2sInfoReply, MapsToTheStatusRecord) {
    const auto& c = GetParam();
    const A2sReply r = parse(c.payload);
    ASSERT_EQ(r.kind, A2sReply::Kind::Info) << r.error;
    EXPECT_EQ(r.info.keywords, c.keywords);
    ServerStatusReply s;
    s.gameState = "stale";
    applyA2sInfo(r.info, s);
    EXPECT_EQ(s.numPlayers, "12");
    EXPECT_EQ(s.slots, "64"); // as the server says, unlike a GameSpy reply
    EXPECT_EQ(s.mission, c.mission);
    EXPECT_EQ(s.gameState, c.gameState);
}

const std::string kKeywords = "bf,r163,n0,s7,i1,mf,lf,vt,dt,tcoop,g65545,c0-52";

INSTANTIATE_TEST_SUITE_P(
    Replies, A2sInfoReply,
    ::testing::Values(
        InfoCase{"noExtraFields", infoPayload("Domination"), "Domination", none, none},
        InfoCase{"everyExtraField", infoPayload("Domination", 0xF1, kKeywords), "Domination", "7",
                 kKeywords},
        InfoCase{"keywordsOnly", infoPayload("Domination", 0x20, "s12"), "Domination", "12", "s12"},
        InfoCase{"noStateTag", infoPayload("Domination", 0xB1, "bf,r163,sx,s,n0"), "Domination",
                 none, "bf,r163,sx,s,n0"},
        InfoCase{"emptyKeywords", infoPayload("Domination", 0x20, ""), "Domination", none, ""},
        InfoCase{"gameIdWithoutKeywords", infoPayload("Domination", 0x81), "Domination", none,
                 none},
        InfoCase{"cp1252Description", infoPayload("Caf\xE9", 0x20, "s9"), "Café", "9", "s9"}),
    ByLabel());

TEST(A2sPlayerReply, KeepsNamesAndScoresOfThePlayersThatCameWhole) {
    const Players all{{"Zoë", "120"}, {"José", "-3"}, {"", "0"}};
    const Bytes whole = playersPayload();
    // Cut inside the second player's name, in the third's last field, and not at all.
    for (const auto& [cut, kept] : {std::pair<size_t, size_t>{20, 1}, {39, 2}, {40, 3}}) {
        const A2sReply r = parse(Bytes(whole.begin(), whole.begin() + cut));
        ASSERT_EQ(r.kind, A2sReply::Kind::Players) << r.error;
        ServerStatusReply s;
        applyA2sPlayers(r.players, s);
        EXPECT_EQ(playersOf(s), Players(all.begin(), all.begin() + kept)) << cut;
    }
}

struct CutCase {
    const char* label;
    Bytes payload;
    size_t validPrefix; // a shorter length that is a whole reply too, or 0
    friend void PrintTo(const CutCase& c, std::ostream* os) { *os << c.label; }
};

class A2sCutReply : public ::testing::TestWithParam<CutCase> {};

TEST_P(A2sCutReply, IsAnErrorAtEveryLength) {
    const auto& c = GetParam();
    ASSERT_NE(parse(c.payload).kind, A2sReply::Kind::Error);
    for (size_t n = 0; n < c.payload.size(); ++n) {
        const Bytes cut(c.payload.begin(),
                        c.payload.begin() + n); // its own block: ASan sees overreads
        const A2sReply r = parse(cut);
        if (n != c.validPrefix) {
            EXPECT_EQ(r.kind, A2sReply::Kind::Error) << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, A2sCutReply,
                         ::testing::Values(CutCase{"info", infoPayload("D", 0xF1, kKeywords),
                                                   infoPayload("D").size()},
                                           CutCase{"playersNoneWhole", playersPayload(false), 0},
                                           CutCase{"challenge", {0x41, 1, 2, 3, 4}, 0}),
                         ByLabel());

TEST(A2sJunk, IsAnErrorNeverACrash) {
    for (const Bytes& b : {Bytes{}, Bytes{0x6D, 1, 2}, Bytes{0x00}, Bytes{0x44, 200, 0, 'x'}}) {
        const A2sReply r = parse(b);
        EXPECT_EQ(r.kind, A2sReply::Kind::Error);
        EXPECT_FALSE(r.error.empty());
    }
    A2sReassembler re;
    for (const Bytes& b : {Bytes{}, Bytes{0xFF, 0xFF, 0xFF}, Bytes{0xFE, 0xFD, 0, 0x43}})
        EXPECT_EQ(re.accept(b.data(), b.size()).status, A2sReassembler::Status::Error);
}

struct SplitCase {
    const char* label;
    std::vector<int> order; // part numbers as they arrive; repeats are duplicates
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.label; }
};

class A2sSplitReply : public ::testing::TestWithParam<SplitCase> {};

TEST_P(A2sSplitReply, IsReassembledInAnyOrder) {
    const auto& c = GetParam();
    const unsigned total = *std::max_element(c.order.begin(), c.order.end()) + 1;
    const auto parts = splitInto(0x1234, total, playersPayload());
    A2sReassembler re;
    Bytes other = splitPart(0x99, 2, 0, {0xFF, 0xFF}); // another message meanwhile
    re.accept(other.data(), other.size());
    int completed = 0;
    for (size_t k = 0; k < c.order.size(); ++k) {
        const Bytes& p = parts[c.order[k]];
        const auto r = re.accept(p.data(), p.size());
        ASSERT_NE(r.status, A2sReassembler::Status::Error) << r.error;
        if (r.status == A2sReassembler::Status::Complete) {
            ++completed;
            EXPECT_EQ(r.payload, playersPayload());
        }
    }
    EXPECT_EQ(completed, 1);
    EXPECT_EQ(re.pendingMessages(), 1u); // only the other message
}

INSTANTIATE_TEST_SUITE_P(Orders, A2sSplitReply,
                         ::testing::Values(SplitCase{"two", {1, 0}}, SplitCase{"three", {2, 0, 1}},
                                           SplitCase{"four", {3, 1, 0, 2}},
                                           SplitCase{"duplicate", {1, 1, 0}},
                                           SplitCase{"one", {0}}),
                         ByLabel());

struct LyingCase {
    const char* label;
    std::vector<Bytes> datagrams; // the last one must be refused
    friend void PrintTo(const LyingCase& c, std::ostream* os) { *os << c.label; }
};

class A2sLyingSplit : public ::testing::TestWithParam<LyingCase> {};

TEST_P(A2sLyingSplit, IsRefused) {
    A2sReassembler re;
    const auto& ds = GetParam().datagrams;
    for (size_t k = 0; k + 1 < ds.size(); ++k)
        EXPECT_EQ(re.accept(ds[k].data(), ds[k].size()).status, A2sReassembler::Status::Pending);
    const auto r = re.accept(ds.back().data(), ds.back().size());
    EXPECT_EQ(r.status, A2sReassembler::Status::Error);
    EXPECT_FALSE(r.error.empty());
    EXPECT_LE(re.pendingBytes(), A2sReassembler::MaxBytes);
}

const Bytes kPart = {0xFF, 0xFF, 0xFF, 0xFF, 0x44};

INSTANTIATE_TEST_SUITE_P(
    Headers, A2sLyingSplit,
    ::testing::Values(
        LyingCase{"numberNotBelowTotal", {splitPart(1, 2, 2, kPart)}},
        LyingCase{"totalZero", {splitPart(1, 0, 0, kPart)}},
        LyingCase{"totalHuge", {splitPart(1, 255, 0, kPart)}},
        LyingCase{"compressed", {splitPart(0x80000001, 2, 0, kPart)}},
        LyingCase{"headerCut", {Bytes{0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 2, 0, 0xE0}}},
        LyingCase{"totalChanges", {splitPart(1, 3, 0, kPart), splitPart(1, 2, 1, kPart)}},
        LyingCase{"noSingleHeaderInside", {splitPart(1, 2, 1, kPart), splitPart(1, 2, 0, {0x44})}},
        LyingCase{"partsTooLong",
                  {splitPart(1, 3, 0, Bytes(40000, 0xFF)), splitPart(1, 3, 1, Bytes(40000, 0))}}),
    ByLabel());

TEST(A2sReassembler, HoldsFewMessages) {
    A2sReassembler re;
    for (uint32_t id = 0; id < 100; ++id) {
        const Bytes p = splitPart(id, 2, 0, Bytes(30000, 0xFF));
        EXPECT_EQ(re.accept(p.data(), p.size()).status, A2sReassembler::Status::Pending);
        EXPECT_LE(re.pendingMessages(), A2sReassembler::MaxMessages);
        EXPECT_LE(re.pendingBytes(), A2sReassembler::MaxBytes);
    }
    // The newest message is still there to be completed.
    const Bytes last = splitPart(99, 2, 1, playersPayload());
    EXPECT_EQ(re.accept(last.data(), last.size()).status, A2sReassembler::Status::Complete);
}

class A2sQueryExchange : public ::testing::Test {
protected:
    A2sQuery::Step feed(const Bytes& d) { return query.accept(d.data(), d.size()); }
    static Bytes challengeReply(uint8_t c) { return single({0x41, c, c, c, c}); }
    A2sQuery query;
};

TEST_F(A2sQueryExchange, ResendsWhatIsUnansweredOnceWithTheChallenge) {
    EXPECT_EQ(query.start().send, (std::vector<Bytes>{a2sRequest(A2sRequestKind::Info),
                                                      a2sRequest(A2sRequestKind::Players)}));
    const A2sChallenge c{5, 5, 5, 5};
    EXPECT_EQ(feed(challengeReply(5)).send,
              (std::vector<Bytes>{a2sRequest(A2sRequestKind::Info, c),
                                  a2sRequest(A2sRequestKind::Players, c)}));
    EXPECT_TRUE(feed(challengeReply(5)).send.empty()); // the second request's challenge

    feed(single(infoPayload("Domination", 0x20, "s7")));
    EXPECT_TRUE(query.hasInfo());
    EXPECT_FALSE(query.done());
    EXPECT_EQ(feed(challengeReply(6)).send,
              (std::vector<Bytes>{a2sRequest(A2sRequestKind::Players, A2sChallenge{6, 6, 6, 6})}));
    for (const Bytes& p : splitInto(7, 3, playersPayload()))
        EXPECT_FALSE(feed(p).error);
    EXPECT_TRUE(query.done());
    EXPECT_EQ(query.challenge(), (A2sChallenge{6, 6, 6, 6}));
    EXPECT_EQ(query.reply().gameState, "7");
    EXPECT_EQ(query.reply().mission, "Domination");
    EXPECT_EQ(playersOf(query.reply()).size(), 3u);
}

TEST_F(A2sQueryExchange, GivesUpOnEndlessNewChallenges) {
    query.start();
    std::optional<std::string> error;
    for (uint8_t c = 1; c < 10 && !error; ++c)
        error = feed(challengeReply(c)).error;
    EXPECT_EQ(error, "The server keeps asking for a new challenge");
    EXPECT_TRUE(feed(Bytes{0x01}).error); // and junk is reported too
}

namespace {
struct PortTextCase {
    const char* label;
    const char *gamePort, *queryPort;
    std::optional<uint16_t> expected;
    friend void PrintTo(const PortTextCase& c, std::ostream* os) { *os << c.label; }
};
} // namespace

class A2sQueryPort : public ::testing::TestWithParam<PortTextCase> {};

TEST_P(A2sQueryPort, IsTheStoredOneOrTheGamePortPlusOne) {
    const auto& c = GetParam();
    EXPECT_EQ(a2sQueryPort(c.gamePort, c.queryPort), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, A2sQueryPort,
    ::testing::Values(PortTextCase{"nextPort", "2302", "", 2303},
                      PortTextCase{"leadingZero", "02302", "", 2303},
                      PortTextCase{"noPortAfterTheLast", "65535", "", std::nullopt},
                      PortTextCase{"badGamePort", "x", "", std::nullopt},
                      PortTextCase{"storedWins", "x", "2400", 2400},
                      PortTextCase{"badStored", "2302", "abc", std::nullopt},
                      PortTextCase{"storedOutOfRange", "2302", "70000", std::nullopt}),
    ByLabel());
