#pragma once

#include "fake_reply.h"

#include <QByteArray>
#include <QList>
#include <QtEndian>
#include <algorithm>

// Steam query (A2S) replies the way servers of today build them: the info reply with the state
// among its keywords, the player reply, the rules with their chunked mod list, the challenge
// exchange and split replies.
struct FakeA2sOptions {
    bool challenge = true;   // requests without this server's challenge get one
    int splitParts = 0;      // 2..4: the player reply comes in that many parts, last part first
    bool lyingSplit = false; // the parts of a split reply disagree on their count
    bool withStateTag = true;
    bool silent = false;
    // The rules: the mods' display names, ";"-ended, in chunks of modChunk bytes, the reply in
    // rulesSplit parts; missingChunk is left out. hostileRules: a huge chunk count, bytes that
    // are no UTF-8. answerRules false: the request is not answered.
    QByteArray modNames = "Arma 2: British Armed Forces (Lite);@CBA_CO;@ACE;Arma 2;"
                          "Arma 2: Operation Arrowhead;";
    int modChunk = 40;
    int rulesSplit = 2;
    int missingChunk = -1;
    bool hostileRules = false;
    bool answerRules = true;
};

inline constexpr quint32 kFakeA2sChallenge = 0x5EC0A2D1;

namespace fake_a2s_detail {
inline void le(QByteArray& b, quint64 v, int n) {
    for (int i = 0; i < n; ++i)
        b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void str(QByteArray& b, const QByteArray& s) {
    b.append(s);
    b.append('\0');
}
// The parts of a split reply, last part first.
inline QList<QByteArray> split(const QByteArray& payload, int total, quint32 splitId, bool lying) {
    QList<QByteArray> parts;
    const qsizetype step = (payload.size() + total - 1) / total;
    for (int n = 0; n < total; ++n) {
        QByteArray part("\xFE\xFF\xFF\xFF", 4);
        le(part, splitId & 0x7FFFFFFF, 4);
        part.append(static_cast<char>(lying && n > 0 ? total + 1 : total));
        part.append(static_cast<char>(n));
        le(part, 1248, 2);
        part.append(payload.mid(n * step, step));
        parts.prepend(part);
    }
    return parts;
}
// "name:i-N" rules holding value in chunks of `size` bytes, but for chunk `missing`.
inline void chunked(QList<QPair<QByteArray, QByteArray>>& rules, const QByteArray& name,
                    const QByteArray& value, int size, int missing) {
    const int count = std::max<int>(1, static_cast<int>((value.size() + size - 1) / size));
    for (int i = 0; i < count; ++i)
        if (i != missing)
            rules.append(
                qMakePair(name + ':' + QByteArray::number(i) + '-' + QByteArray::number(count - 1),
                          value.mid(i * size, size)));
}
inline QByteArray rulesPayload(const FakeA2sOptions& o) {
    QList<QPair<QByteArray, QByteArray>> rules = {
        {"hash", "3C2D8F0A"}, {"param1", "0"}, {"param2", "0"}, {"timeLeft", "15"}};
    if (o.hostileRules) {
        rules.append(
            qMakePair(QByteArray("modNames:0-999999999"), QByteArray("@ACE;\xFF\xFE bad;@CB")));
        rules.append(qMakePair(QByteArray("modNames:7-999999999"), QByteArray("x;y;z")));
        rules.append(qMakePair(QByteArray("modNames:0-3"), QByteArray("@other;")));
    } else {
        QByteArray hashes;
        for (int i = 0; i < o.modNames.count(';'); ++i)
            hashes += QByteArray::number(0x1000 + i, 16) + ';';
        chunked(rules, "modNames", o.modNames, std::max(1, o.modChunk), o.missingChunk);
        chunked(rules, "modHashes", hashes, std::max(1, o.modChunk), -1);
    }
    rules.append(qMakePair(QByteArray("sigNames:0-0"), QByteArray("bi;")));
    QByteArray payload("\xFF\xFF\xFF\xFF\x45", 5);
    le(payload, static_cast<quint64>(o.hostileRules ? 65535 : rules.size()), 2);
    for (const auto& [key, value] : rules) {
        str(payload, key);
        str(payload, value);
    }
    return payload;
}
} // namespace fake_a2s_detail

// The datagrams answering one request, in the order they are sent; none for a request that is
// not one. splitId tells split replies apart.
inline QList<QByteArray> buildA2sReplies(const QByteArray& request, const FakeServerState& s,
                                         const FakeA2sOptions& o, quint32 splitId = 1) {
    using namespace fake_a2s_detail;
    static const QByteArray single("\xFF\xFF\xFF\xFF", 4);
    static const QByteArray infoQuery = QByteArray("Source Engine Query", 20);
    if (o.silent || !request.startsWith(single) || request.size() < 5)
        return {};
    QByteArray challenge;
    le(challenge, kFakeA2sChallenge, 4);
    const char kind = request[4];
    QByteArray given;
    if (kind == 0x54 && request.mid(5, 20) == infoQuery)
        given = request.mid(25);
    else if (kind == 0x55 || (kind == 0x56 && o.answerRules))
        given = request.mid(5);
    else
        return {};
    // A player or rules request always needs the challenge; an info request only when asked for.
    const bool needsChallenge = given != challenge && (kind != 0x54 || o.challenge);
    if (needsChallenge)
        return {single + '\x41' + challenge};
    if (kind == 0x56) {
        const QByteArray rules = rulesPayload(o);
        return o.rulesSplit < 2 ? QList<QByteArray>{rules}
                                : split(rules, o.rulesSplit, splitId, false);
    }

    QByteArray payload = single;
    if (kind == 0x54) {
        QByteArray keywords = "bf,r163,n0,";
        if (o.withStateTag)
            keywords += "s" + s.gameState.toUtf8() + ",";
        keywords += "i1,mf,lf,vt,dt,tcoop,g65545,c0-52";
        payload.append('\x49');
        payload.append('\x11');
        str(payload, s.hostname.toUtf8());
        str(payload, "chernarus");
        str(payload, "arma2arrowpc");
        str(payload, s.mission.toUtf8());
        le(payload, 33930, 2);
        payload.append(static_cast<char>(std::min<qsizetype>(s.players.size(), 255)));
        payload.append(static_cast<char>(s.maxPlayers));
        payload.append('\0');
        payload.append("dw", 2);
        payload.append(s.password ? '\1' : '\0'); // visibility
        payload.append('\0');
        str(payload, "1.63.131129");
        payload.append('\xB1'); // game port, Steam id, keywords, game id
        le(payload, 2302, 2);
        le(payload, 0x0110000100000001ull, 8);
        str(payload, keywords);
        le(payload, 33930, 8);
        return {payload};
    }
    payload.append('\x44');
    const auto count = std::min<qsizetype>(s.players.size(), 255);
    payload.append(static_cast<char>(count));
    for (qsizetype i = 0; i < count; ++i) {
        payload.append(static_cast<char>(i));
        str(payload, s.players[i].first.toUtf8());
        le(payload, static_cast<quint32>(s.players[i].second), 4);
        le(payload, 0x42C80000, 4); // 100.0 seconds
    }
    if (o.splitParts < 2)
        return {payload};
    return split(payload, o.splitParts, splitId, o.lyingSplit);
}
