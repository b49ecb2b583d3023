// quorvale-query: asks game servers for their status and prints one line per server.
#include "master_list.h"
#include "query_pass.h"
#include "status_protocol.h"
#include "text.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <string>

namespace {

const char* kUsage =
    "usage: quorvale-query [--json] [--rules] [--protocol gs2|a2s|auto] [--retries N]\n"
    "                      [--interval MS] [--timeout MS] [-f FILE] HOST[:PORT]...\n"
    "       quorvale-query --master [ADDRESS] [--filter F] [--json] [--query [options]]\n"
    "  Queries each server (game port 2302 when none is given) and prints one line per server.\n"
    "  gs2 asks the game port with the GameSpy v2 status query, a2s the query port (the game\n"
    "  port + 1) with the Steam query; auto (the default) asks both and the first answer\n"
    "  counts. The line names the protocol that answered. --rules asks the Steam query for the\n"
    "  server's rules too and prints the mods they name (a GameSpy answer's \"mod\" key too).\n"
    "  A server that has not answered after --interval (500) is asked again, up to --retries\n"
    "  (2) times; after the last request it has --timeout (1000) to answer. The ping counts\n"
    "  from the latest request. FILE holds one HOST[:PORT] a line.\n"
    "  --master lists the servers Steam's master server (ADDRESS, by default\n"
    "  hl2master.steampowered.com:27011) knows for the filter (\\gamedir\\arma2arrowpc unless\n"
    "  --filter gives one): HOST:QUERYPORT a line. --query then asks each of them; its line\n"
    "  shows the game port the server tells, else the query port - 1. How the listing ended\n"
    "  goes to standard error.\n"
    "  Exit 0: all answered (and the master's whole list came); 1: some did not; 2: usage.\n";

// Control characters of the servers' texts are escaped, so they reach no terminal raw.
std::string jsonString(const std::string& s) {
    std::string out;
    for (const char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return "\"" + quorvale::escapeControlCharacters(out) + "\"";
}

const char* protocolName(QueryPass::Protocol p) {
    return p == QueryPass::Protocol::A2s ? "a2s" : "gs2";
}

// Nothing answered: a datagram that came and could not be read is worth telling.
std::string silence(const QueryPass::Result& r) {
    return r.error.empty() ? "no response" : "no response (" + r.error + ")";
}

std::string jsonLine(const QueryPass::Server& s, const QueryPass::Result& r) {
    std::string o = "{\"host\":" + jsonString(s.host) + ",\"port\":";
    uint16_t p;
    o += quorvale::tryParsePort(s.port, p) ? std::to_string(p) : jsonString(s.port);
    if (!s.queryPort.empty())
        o += ",\"query_port\":" + s.queryPort;
    if (r.outcome != QueryPass::Outcome::Answered) {
        const std::string err = r.outcome == QueryPass::Outcome::Waiting        ? silence(r)
                                : r.outcome == QueryPass::Outcome::HostNotFound ? "host not found"
                                                                                : r.error;
        return o + ",\"error\":" + jsonString(err) + "}";
    }
    char ping[32];
    std::snprintf(ping, sizeof ping, "%.1f", r.pingMs);
    o += ",\"ping_ms\":" + std::string(ping);
    o += ",\"protocol\":\"" + std::string(protocolName(r.protocol)) + "\"";
    const auto opt = [&o](const char* k, const std::optional<std::string>& v) {
        if (v)
            o += ",\"" + std::string(k) + "\":" + jsonString(*v);
    };
    opt("numPlayers", r.reply.numPlayers);
    opt("slots", r.reply.slots);
    opt("mission", r.reply.mission);
    opt("gameState", r.reply.gameState);
    o += ",\"players\":[";
    for (size_t i = 0; i < r.reply.players.size(); ++i) {
        const auto& pl = r.reply.players[i];
        o += (i ? ",{" : "{") + std::string("\"name\":") + jsonString(pl.name);
        if (pl.score)
            o += ",\"score\":" + jsonString(*pl.score);
        o += "}";
    }
    o += "]";
    if (const auto& mods = r.reply.mods) {
        o += ",\"mods\":[";
        for (size_t i = 0; i < mods->names.size(); ++i)
            o += (i ? "," : "") + jsonString(mods->names[i]);
        o += "]";
        if (!mods->problem.empty())
            o += ",\"mods_problem\":" + jsonString(mods->problem);
    }
    if (!r.error.empty())
        o += ",\"error\":" + jsonString(r.error);
    return o + "}";
}

std::string textLine(const QueryPass::Server& s, const QueryPass::Result& r) {
    std::string o = s.host + ":" + s.port;
    if (r.outcome == QueryPass::Outcome::Waiting)
        return o + "  " + silence(r);
    if (r.outcome == QueryPass::Outcome::HostNotFound)
        return o + "  host not found";
    if (r.outcome == QueryPass::Outcome::Failed)
        return o + "  " + r.error;
    char ping[32];
    std::snprintf(ping, sizeof ping, "  %.0f ms", r.pingMs);
    o += ping;
    o += std::string("  ") + protocolName(r.protocol);
    o += "  " + r.reply.numPlayers.value_or("??") + "/" + r.reply.slots.value_or("??");
    o += "  " + (r.reply.mission ? *r.reply.mission : std::string("-"));
    if (r.reply.gameState)
        o += "  " + quorvale::gameStateText(*r.reply.gameState);
    if (!r.reply.players.empty()) {
        o += "  players:";
        for (size_t i = 0; i < r.reply.players.size(); ++i) {
            const auto& pl = r.reply.players[i];
            o += (i ? ", " : " ") + pl.name + " (" + pl.score.value_or("?") + ")";
        }
    }
    if (const auto& mods = r.reply.mods) {
        o += "  mods:";
        for (size_t i = 0; i < mods->names.size(); ++i)
            o += (i ? "; " : " ") + mods->names[i];
        if (!mods->problem.empty())
            o += "  [" + mods->problem + "]";
    }
    if (!r.error.empty())
        o += "  [" + r.error + "]";
    return o;
}

QueryPass::Server parseTarget(const QString& t) {
    // HOST:PORT; a bare IPv6-like text with several colons is taken as a host.
    const int colon = t.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && t.count(QLatin1Char(':')) == 1)
        return {t.left(colon).toStdString(), t.mid(colon + 1).toStdString()};
    return {t.toStdString(), "2302"};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    bool json = false;
    QueryPass::Options options = QueryPass::Options::patient();
    std::vector<QueryPass::Server> servers;
    std::optional<QString> master, filter;
    bool queryListed = false;
    const auto usage = [](const char* why) {
        if (why)
            std::fprintf(stderr, "quorvale-query: %s\n", why);
        std::fputs(kUsage, stderr);
        return 2;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--rules")) {
            options.rules = true;
        } else if (a == QLatin1String("--timeout") || a == QLatin1String("--interval") ||
                   a == QLatin1String("--retries")) {
            int& target = a == QLatin1String("--timeout")    ? options.timeoutMs
                          : a == QLatin1String("--interval") ? options.intervalMs
                                                             : options.retries;
            bool ok = false;
            target = i + 1 < args.size() ? args[++i].toInt(&ok) : 0;
            if (!ok || target < 0)
                return usage(&target == &options.retries
                                 ? "--retries takes a whole number"
                                 : "--timeout and --interval take a whole number of milliseconds");
        } else if (a == QLatin1String("--protocol")) {
            const QString p = i + 1 < args.size() ? args[++i] : QString();
            if (p != QLatin1String("gs2") && p != QLatin1String("a2s") &&
                p != QLatin1String("auto"))
                return usage("--protocol takes gs2, a2s or auto");
            options.gameSpy = p != QLatin1String("a2s");
            options.a2s = p != QLatin1String("gs2");
        } else if (a == QLatin1String("-f")) {
            if (i + 1 >= args.size())
                return usage("-f takes a file");
            QFile f(args[++i]);
            if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
                return usage("cannot read the file given with -f");
            while (!f.atEnd()) {
                const QString line = QString::fromUtf8(f.readLine()).trimmed();
                if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
                    servers.push_back(parseTarget(line));
            }
        } else if (a == QLatin1String("--master")) {
            const bool given = i + 1 < args.size() && !args[i + 1].startsWith(QLatin1Char('-'));
            master = given ? args[++i] : QString::fromLatin1(quorvale::DefaultMasterServer);
        } else if (a == QLatin1String("--filter")) {
            if (i + 1 >= args.size())
                return usage("--filter takes the master server's filter");
            filter = args[++i];
        } else if (a == QLatin1String("--query")) {
            queryListed = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a.startsWith(QLatin1Char('-'))) {
            return usage("unknown option");
        } else {
            servers.push_back(parseTarget(a));
        }
    }
    if (master && !servers.empty())
        return usage("--master lists the servers itself; give none with it");
    if (!master && (filter || queryListed))
        return usage("--filter and --query go with --master");
    if (!master && servers.empty())
        return usage("no server given");

    bool wholeList = true;
    if (master) {
        MasterList list;
        MasterList::Options mo;
        mo.master = *master;
        if (filter)
            mo.filter = filter->toStdString();
        list.setOptions(mo);
        QObject::connect(&list, &MasterList::finished, &app, [&](MasterList::Outcome o) {
            wholeList = o == MasterList::Outcome::Complete;
            QCoreApplication::quit();
        });
        QTimer::singleShot(0, &list, &MasterList::start);
        app.exec();
        std::fprintf(stderr, "quorvale-query: %s\n", qPrintable(list.statusText()));
        for (const quorvale::MasterAddress& a : list.servers()) {
            const QueryPass::Server s = MasterList::queryPassServer(a);
            if (queryListed)
                servers.push_back(s);
            else if (json)
                std::printf("{\"host\":\"%s\",\"query_port\":%s}\n", s.host.c_str(),
                            s.queryPort.c_str());
            else
                std::printf("%s:%s\n", s.host.c_str(), s.queryPort.c_str());
        }
        if (!queryListed || servers.empty())
            return wholeList ? 0 : 1;
    }

    UdpEndpoint udp;
    QueryPass pass(udp);
    pass.setOptions(options);
    QObject::connect(&pass, &QueryPass::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QTimer::singleShot(0, &app, [&] { pass.start(servers); });
    app.exec();

    bool all = wholeList;
    for (size_t i = 0; i < servers.size(); ++i) {
        const auto& r = pass.results()[i];
        uint16_t queryPort = 0;
        if (master && quorvale::tryParsePort(servers[i].queryPort, queryPort))
            if (const auto join = quorvale::masterJoinPort(r.reply.gamePort, queryPort))
                servers[i].port = std::to_string(*join);
        all = all && r.outcome == QueryPass::Outcome::Answered;
        const std::string line = json ? jsonLine(servers[i], r)
                                      : quorvale::escapeControlCharacters(textLine(servers[i], r));
        std::printf("%s\n", line.c_str());
    }
    return all ? 0 : 1;
}
