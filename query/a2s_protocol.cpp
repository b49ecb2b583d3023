#include "a2s_protocol.h"

#include "text.h"

#include <algorithm>
#include <cstring>

namespace quorvale {

namespace {

constexpr uint8_t kSingle[4] = {0xFF, 0xFF, 0xFF, 0xFF};
constexpr uint8_t kSplit[4] = {0xFE, 0xFF, 0xFF, 0xFF};
constexpr size_t kSplitHeader = 12; // FE FF FF FF, id, total, number, size
constexpr uint32_t kCompressedBit = 0x80000000u;
constexpr uint16_t kTheShipAppId = 2400;

bool startsWith(const uint8_t* bytes, size_t count, const uint8_t (&header)[4]) {
    return count >= 4 && std::memcmp(bytes, header, 4) == 0;
}

// Little-endian reads that fail instead of running past the end.
class Reader {
public:
    Reader(const uint8_t* bytes, size_t count) : p_(bytes), left_(count) {}
    bool u8(uint8_t& v) {
        if (left_ < 1)
            return false;
        v = *p_;
        skip(1);
        return true;
    }
    bool u16(uint16_t& v) {
        uint64_t w;
        if (!le(2, w))
            return false;
        v = static_cast<uint16_t>(w);
        return true;
    }
    bool u32(uint32_t& v) {
        uint64_t w;
        if (!le(4, w))
            return false;
        v = static_cast<uint32_t>(w);
        return true;
    }
    bool u64(uint64_t& v) { return le(8, v); }
    bool bytes(uint8_t* out, size_t n) {
        if (left_ < n)
            return false;
        std::memcpy(out, p_, n);
        skip(n);
        return true;
    }
    // A zero-ended string, decoded as the GameSpy fields are.
    bool str(std::string& v) {
        if (!rawStr(v))
            return false;
        v = decodeUtf8OrCp1252(v);
        return true;
    }
    bool rawStr(std::string& v) {
        const void* end = std::memchr(p_, 0, left_);
        if (!end)
            return false;
        const size_t n = static_cast<const uint8_t*>(end) - p_;
        v.assign(reinterpret_cast<const char*>(p_), n);
        skip(n + 1);
        return true;
    }
    bool skipBytes(size_t n) {
        if (left_ < n)
            return false;
        skip(n);
        return true;
    }
    bool atEnd() const { return left_ == 0; }

private:
    bool le(size_t n, uint64_t& v) {
        if (left_ < n)
            return false;
        v = 0;
        for (size_t i = 0; i < n; ++i)
            v |= static_cast<uint64_t>(p_[i]) << (8 * i);
        skip(n);
        return true;
    }
    void skip(size_t n) {
        p_ += n;
        left_ -= n;
    }
    const uint8_t* p_;
    size_t left_;
};

A2sReply failed(std::string why) {
    A2sReply r;
    r.error = std::move(why);
    return r;
}

A2sReply parseInfo(Reader& in) {
    A2sReply r;
    A2sInfo& i = r.info;
    uint8_t protocol, type, environment, vac;
    if (!in.u8(protocol) || !in.str(i.name) || !in.str(i.map) || !in.str(i.folder) ||
        !in.str(i.game) || !in.u16(i.appId) || !in.u8(i.players) || !in.u8(i.maxPlayers) ||
        !in.u8(i.bots) || !in.u8(type) || !in.u8(environment) || !in.u8(i.visibility) ||
        !in.u8(vac))
        return failed("The server info reply is cut short");
    if (i.appId == kTheShipAppId && !in.skipBytes(3)) // mode, witnesses, duration
        return failed("The server info reply is cut short");
    if (!in.str(i.version))
        return failed("The server info reply is cut short");
    uint8_t edf = 0;
    if (!in.atEnd())
        in.u8(edf);
    // The extra fields come in this order whatever the order of their flags.
    if (edf & 0x80) {
        uint16_t port;
        if (!in.u16(port))
            return failed("The server info reply is cut short in its extra fields");
        i.port = port;
    }
    std::string spectatorName;
    if (((edf & 0x10) && !in.skipBytes(8)) ||
        ((edf & 0x40) && (!in.skipBytes(2) || !in.str(spectatorName))))
        return failed("The server info reply is cut short in its extra fields");
    if (edf & 0x20) {
        std::string keywords;
        if (!in.str(keywords))
            return failed("The server info reply is cut short in its extra fields");
        i.keywords = std::move(keywords);
    }
    if (edf & 0x01) {
        uint64_t id;
        if (!in.u64(id))
            return failed("The server info reply is cut short in its extra fields");
        i.gameId = id;
    }
    r.kind = A2sReply::Kind::Info;
    return r;
}

A2sReply parsePlayers(Reader& in) {
    A2sReply r;
    uint8_t count;
    if (!in.u8(count))
        return failed("The player reply is cut short");
    // The count is a byte, so the list stays within a table row.
    for (unsigned k = 0; k < count; ++k) {
        A2sPlayer p;
        uint8_t index;
        uint32_t score, duration;
        if (!in.u8(index) || !in.str(p.name) || !in.u32(score) || !in.u32(duration)) {
            // A full server's reply may be cut: the players that came whole are kept.
            if (r.players.empty())
                return failed("The player reply is cut short");
            break;
        }
        p.score = static_cast<int32_t>(score);
        r.players.push_back(std::move(p));
    }
    r.kind = A2sReply::Kind::Players;
    return r;
}

A2sReply parseRules(Reader& in) {
    A2sReply r;
    uint16_t count;
    if (!in.u16(count))
        return failed("The rules reply is cut short");
    // The rules that came whole are kept; the count cannot make a read go on past the reply.
    for (unsigned k = 0; k < count; ++k) {
        RawRule rule;
        if (!in.rawStr(rule.first) || !in.rawStr(rule.second))
            break;
        r.rules.push_back(std::move(rule));
    }
    r.kind = A2sReply::Kind::Rules;
    return r;
}

} // namespace

std::optional<uint16_t> a2sQueryPort(const std::string& gamePort, const std::string& queryPort) {
    uint16_t port = 0;
    if (!queryPort.empty())
        return tryParsePort(queryPort, port) ? std::optional(port) : std::nullopt;
    if (!tryParsePort(gamePort, port) || port == 65535)
        return std::nullopt;
    return static_cast<uint16_t>(port + 1);
}

std::vector<uint8_t> a2sRequest(A2sRequestKind kind, const std::optional<A2sChallenge>& challenge) {
    std::vector<uint8_t> d(std::begin(kSingle), std::end(kSingle));
    if (kind == A2sRequestKind::Info) {
        static constexpr char query[] = "Source Engine Query";
        d.push_back(0x54);
        d.insert(d.end(), query, query + sizeof query); // with its zero
        if (challenge)
            d.insert(d.end(), challenge->begin(), challenge->end());
    } else {
        const A2sChallenge c = challenge.value_or(A2sAskForChallenge);
        d.push_back(kind == A2sRequestKind::Players ? 0x55 : 0x56);
        d.insert(d.end(), c.begin(), c.end());
    }
    return d;
}

void A2sReassembler::drop(std::deque<Message>::iterator it) {
    bytes_ -= it->bytes;
    messages_.erase(it);
}

A2sReassembler::Result A2sReassembler::accept(const uint8_t* bytes, size_t count) {
    Result r;
    auto fail = [&r](std::string why) {
        r.status = Status::Error;
        r.error = std::move(why);
        return r;
    };
    if (startsWith(bytes, count, kSingle)) {
        r.status = Status::Complete;
        r.payload.assign(bytes + 4, bytes + count);
        return r;
    }
    if (!startsWith(bytes, count, kSplit))
        return fail("The reply has no known header");
    Reader in(bytes + 4, count - 4);
    uint32_t id;
    uint8_t total, number;
    uint16_t maxSize; // the sender's packet size; the datagram's own length is what counts
    if (!in.u32(id) || !in.u8(total) || !in.u8(number) || !in.u16(maxSize))
        return fail("The split reply's header is cut short");
    if (id & kCompressedBit)
        return fail("The split reply is compressed");
    if (total == 0 || total > MaxParts || number >= total)
        return fail("The split reply's part numbers are impossible");
    const size_t partBytes = count - kSplitHeader;

    const auto sameId = [id](const Message& m) { return m.id == id; };
    auto it = std::find_if(messages_.begin(), messages_.end(), sameId);
    if (it != messages_.end() && it->total != total) {
        drop(it);
        return fail("The split reply's parts disagree on their count");
    }
    if (it != messages_.end() && it->parts[number])
        return r; // a repeated part; UDP may deliver a datagram twice
    if (partBytes > MaxBytes)
        return fail("The split reply is too long");
    if (it == messages_.end()) {
        if (messages_.size() == MaxMessages)
            drop(messages_.begin()); // the oldest will not be completed any more
        messages_.push_back({id, total, std::vector<std::optional<std::vector<uint8_t>>>(total)});
        it = messages_.end() - 1;
    }
    // Make room by dropping other messages, oldest first; the one being gathered must fit alone.
    while (bytes_ + partBytes > MaxBytes) {
        const auto other = std::find_if_not(messages_.begin(), messages_.end(), sameId);
        if (other == messages_.end())
            break;
        drop(other);
    }
    it = std::find_if(messages_.begin(), messages_.end(), sameId);
    if (bytes_ + partBytes > MaxBytes) {
        drop(it);
        return fail("The split reply is too long");
    }
    it->parts[number].emplace(bytes + kSplitHeader, bytes + count);
    it->bytes += partBytes;
    bytes_ += partBytes;
    if (!std::all_of(it->parts.begin(), it->parts.end(),
                     [](const auto& p) { return p.has_value(); }))
        return r;

    std::vector<uint8_t> whole;
    whole.reserve(it->bytes);
    for (const auto& p : it->parts)
        whole.insert(whole.end(), p->begin(), p->end());
    drop(it);
    if (!startsWith(whole.data(), whole.size(), kSingle))
        return fail("The split reply has no known header");
    r.status = Status::Complete;
    r.payload.assign(whole.begin() + 4, whole.end());
    return r;
}

bool isA2sDatagram(const uint8_t* bytes, size_t count) {
    return startsWith(bytes, count, kSingle) || startsWith(bytes, count, kSplit);
}

A2sReply parseA2sPayload(const uint8_t* bytes, size_t count) {
    Reader in(bytes, count);
    uint8_t type;
    if (!in.u8(type))
        return failed("The reply is empty");
    switch (type) {
    case 0x41: {
        A2sReply r;
        if (!in.bytes(r.challenge.data(), r.challenge.size()))
            return failed("The challenge reply is cut short");
        r.kind = A2sReply::Kind::Challenge;
        return r;
    }
    case 0x49:
        return parseInfo(in);
    case 0x44:
        return parsePlayers(in);
    case 0x45:
        return parseRules(in);
    default:
        return failed("The reply is of an unknown kind");
    }
}

std::optional<std::string> gameStateOfKeywords(std::string_view keywords) {
    while (!keywords.empty()) {
        const size_t comma = keywords.find(',');
        const std::string_view tag = keywords.substr(0, comma);
        if (tag.size() > 1 && tag[0] == 's' &&
            std::all_of(tag.begin() + 1, tag.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::string(tag.substr(1));
        if (comma == std::string_view::npos)
            break;
        keywords.remove_prefix(comma + 1);
    }
    return std::nullopt;
}

void applyA2sInfo(const A2sInfo& info, ServerStatusReply& out) {
    out.numPlayers = std::to_string(info.players);
    out.slots = std::to_string(info.maxPlayers);
    out.mission = info.game;
    out.gameState = info.keywords ? gameStateOfKeywords(*info.keywords) : std::nullopt;
    out.gamePort = info.port;
    out.hostName = info.name;
    out.passworded = info.visibility != 0;
}

void applyA2sPlayers(const std::vector<A2sPlayer>& players, ServerStatusReply& out) {
    out.players.clear();
    for (const auto& p : players) {
        if (out.players.size() == MaxReplyPlayers)
            break;
        out.players.push_back({p.name, std::to_string(p.score)});
    }
}

A2sQuery::A2sQuery(std::optional<A2sChallenge> known, bool askRules)
    : challenge_(known), askRules_(askRules) {}

std::vector<A2sQuery::Request*> A2sQuery::asked() {
    if (askRules_)
        return {&info_, &players_, &rules_};
    return {&info_, &players_};
}

void A2sQuery::send(Request& r, Step& step) {
    ++r.sends;
    r.sentWith = challenge_;
    step.send.push_back(a2sRequest(r.kind, challenge_));
}

A2sQuery::Step A2sQuery::start() {
    Step step;
    for (Request* r : asked())
        send(*r, step);
    return step;
}

A2sQuery::Step A2sQuery::retry() {
    Step step;
    for (Request* r : asked()) {
        if (r->answered)
            continue;
        r->sends = 0;
        send(*r, step);
    }
    return step;
}

A2sQuery::Step A2sQuery::accept(const uint8_t* bytes, size_t count) {
    Step step;
    const A2sReassembler::Result whole = reassembler_.accept(bytes, count);
    if (whole.status == A2sReassembler::Status::Error)
        step.error = whole.error;
    if (whole.status != A2sReassembler::Status::Complete)
        return step;
    const A2sReply reply = parseA2sPayload(whole.payload.data(), whole.payload.size());
    switch (reply.kind) {
    case A2sReply::Kind::Error:
        step.error = reply.error;
        break;
    case A2sReply::Kind::Info:
        info_.answered = true;
        applyA2sInfo(reply.info, reply_);
        break;
    case A2sReply::Kind::Players:
        players_.answered = true;
        applyA2sPlayers(reply.players, reply_);
        break;
    case A2sReply::Kind::Rules:
        rules_.answered = true;
        // A reply whose rules name no mods says so: the server has none.
        reply_.mods = modsOfRules(reply.rules);
        break;
    case A2sReply::Kind::Challenge: {
        challenge_ = reply.challenge;
        bool capped = false;
        for (Request* r : asked()) {
            // Both requests may be answered with the same challenge: send each once with it.
            if (r->answered || r->sentWith == challenge_)
                continue;
            if (r->sends >= MaxSendsPerRequest)
                capped = true;
            else
                send(*r, step);
        }
        if (capped && step.send.empty())
            step.error = "The server keeps asking for a new challenge";
        break;
    }
    }
    return step;
}

} // namespace quorvale
