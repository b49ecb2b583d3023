#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QNetworkDatagram>
#include <QSet>
#include <QUdpSocket>
#include <QtEndian>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

// A master server on 127.0.0.1 that serves a list of addresses in pages as Steam's does: the
// first page for the seed 0.0.0.0:0, then the addresses after the seed, for a seed it sent to
// that same source port; any other request starts the list over. It builds its replies itself,
// so that it shares no fault with the code under test.
struct FakeMasterOptions {
    int perPage = 231;
    int pace = 0;             // requests answered within paceWindowMs before it falls silent
    int paceWindowMs = 60000; // 0 pace: no limit
    int silenceMs = 60000;
    int losePage = -1;      // the first request for this page (from 0) goes unanswered
    int duplicatePage = -1; // this page is sent twice
    bool noEnd = false;     // no end mark: a request after the last page gets an empty page
    bool silent = false;
    bool garbage = false; // junk before every page, also a page from a stranger's port
};

using FakeMasterAddress = std::pair<quint32, quint16>;

struct FakeMasterSetup {
    FakeMasterOptions options;
    std::vector<FakeMasterAddress> servers;
    int port = 0;
};

// count addresses from 127.1.0.1 on, all on query port 2303.
inline std::vector<FakeMasterAddress> fakeMasterServers(int count) {
    std::vector<FakeMasterAddress> out;
    for (int i = 0; i < count; ++i)
        out.emplace_back(0x7F010001u + static_cast<quint32>(i), 2303);
    return out;
}

// The switches of fake_game_server --master (see there); none for a file that cannot be read.
inline std::optional<FakeMasterSetup> parseFakeMaster(const QStringList& args) {
    FakeMasterSetup m;
    FakeMasterOptions& o = m.options;
    bool repeat = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        const int value = i + 1 < args.size() ? args[i + 1].toInt() : 0;
        int* number = a == QLatin1String("--per-page")         ? &o.perPage
                      : a == QLatin1String("--pace")           ? &o.pace
                      : a == QLatin1String("--pace-window")    ? &o.paceWindowMs
                      : a == QLatin1String("--silence")        ? &o.silenceMs
                      : a == QLatin1String("--lose-page")      ? &o.losePage
                      : a == QLatin1String("--duplicate-page") ? &o.duplicatePage
                                                               : nullptr;
        bool* flag = a == QLatin1String("--no-end")    ? &o.noEnd
                     : a == QLatin1String("--garbage") ? &o.garbage
                     : a == QLatin1String("--silent")  ? &o.silent
                     : a == QLatin1String("--repeat")  ? &repeat
                                                       : nullptr;
        if (number) {
            *number = value, ++i;
        } else if (flag) {
            *flag = true;
        } else if (a == QLatin1String("--servers")) {
            m.servers = fakeMasterServers(value), ++i;
        } else if (a == QLatin1String("--server-file")) {
            QFile f(i + 1 < args.size() ? args[++i] : QString());
            if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
                return std::nullopt;
            while (!f.atEnd()) {
                const QStringList hp = QString::fromUtf8(f.readLine()).trimmed().split(u':');
                if (hp.size() == 2)
                    m.servers.emplace_back(QHostAddress(hp[0]).toIPv4Address(), hp[1].toUShort());
            }
        } else if (a != QLatin1String("--master")) {
            m.port = a.toInt();
        }
    }
    if (repeat) { // every third address again at once, and an earlier one after it
        std::vector<FakeMasterAddress> once = std::move(m.servers);
        for (size_t i = 0; i < once.size(); ++i) {
            m.servers.push_back(once[i]);
            if (i % 3 == 0)
                m.servers.insert(m.servers.end(), {once[i], once[i / 2]});
        }
    }
    return m;
}

class FakeMaster {
public:
    using Address = FakeMasterAddress;
    FakeMasterOptions options;
    std::vector<Address> servers;
    int requests = 0; // every request that came
    int restarts = 0; // follow-ups with a seed not sent to their source port
    int silenced = 0; // requests left unanswered by the pacing
    int badSeeds = 0; // seeds that were not the last address of the page sent before
    QSet<quint16> clientPorts;
    QByteArray lastFilter;
    int lastRegion = -1;

    // Port 0 takes a free one; port() is 0 when the port could not be bound.
    explicit FakeMaster(quint16 port = 0) {
        socket_.bind(QHostAddress::LocalHost, port);
        stranger_.bind(QHostAddress::LocalHost, 0);
        clock_.start();
        QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] {
            while (socket_.hasPendingDatagrams())
                answer(socket_.receiveDatagram());
        });
    }
    explicit FakeMaster(const FakeMasterSetup& setup)
        : FakeMaster(static_cast<quint16>(setup.port)) {
        options = setup.options;
        servers = setup.servers;
    }
    quint16 port() const { return socket_.localPort(); }

private:
    struct Client {
        size_t next = 0;   // the index after the last address sent
        int pagesSent = 0; // of this listing
    };

    static void entry(QByteArray& b, const Address& a) {
        char raw[6];
        qToBigEndian(a.first, raw);
        qToBigEndian(a.second, raw + 4);
        b.append(raw, 6);
    }
    static QByteArray header() { return QByteArray("\xFF\xFF\xFF\xFF\x66\x0A", 6); }

    bool paced() {
        const qint64 now = clock_.elapsed();
        if (now < silentUntil_)
            return false;
        while (!answeredAt_.empty() && answeredAt_.front() <= now - options.paceWindowMs)
            answeredAt_.pop_front();
        if (options.pace > 0 && answeredAt_.size() >= static_cast<size_t>(options.pace)) {
            silentUntil_ = now + options.silenceMs;
            return false;
        }
        answeredAt_.push_back(now);
        return true;
    }

    void answer(const QNetworkDatagram& d) {
        ++requests;
        const QByteArray q = d.data();
        const int seedEnd = q.indexOf('\0', 2);
        if (q.size() < 3 || q[0] != '1' || seedEnd < 0)
            return;
        lastRegion = static_cast<uchar>(q[1]);
        lastFilter = q.mid(seedEnd + 1, q.indexOf('\0', seedEnd + 1) - seedEnd - 1);
        const QByteArray seed = q.mid(2, seedEnd - 2);
        const quint64 from = (quint64(d.senderAddress().toIPv4Address()) << 16) | d.senderPort();
        clientPorts.insert(d.senderPort());
        Client& c = clients_[from];
        if (seed == "0.0.0.0:0") {
            c = Client();
        } else {
            const int colon = seed.lastIndexOf(':');
            const Address a{QHostAddress(QString::fromLatin1(seed.left(colon))).toIPv4Address(),
                            static_cast<quint16>(seed.mid(colon + 1).toUInt())};
            size_t at = c.next;
            while (at > 0 && servers[at - 1] != a)
                --at;
            if (at == 0) {
                ++restarts;
                c = Client();
            } else {
                badSeeds += at != c.next;
                c.next = at;
            }
        }
        if (c.pagesSent == options.losePage && !lost_) {
            lost_ = true;
            return;
        }
        if (options.silent || !paced()) {
            ++silenced;
            return;
        }
        QByteArray page = header();
        const size_t end = std::min(servers.size(), c.next + size_t(options.perPage));
        for (size_t i = c.next; i < end; ++i)
            entry(page, servers[i]);
        if (end == servers.size() && end - c.next < size_t(options.perPage) && !options.noEnd)
            entry(page, {0, 0});
        c.next = end;
        const QHostAddress to = d.senderAddress();
        const quint16 toPort = d.senderPort();
        if (options.garbage) {
            for (const QByteArray& junk :
                 {QByteArray(), QByteArray("\xFF\xFF\xFF\xFF\x67\x0A\x01\x02\x03\x04\x05\x06", 12),
                  header() + QByteArray("\x7F\x00", 2), QByteArray(1400, '\xFF')})
                socket_.writeDatagram(junk, to, toPort);
            QByteArray forged = header();
            entry(forged, {0x0A090909, 1});
            entry(forged, {0, 0});
            stranger_.writeDatagram(forged, to, toPort);
        }
        for (int copies = c.pagesSent == options.duplicatePage ? 2 : 1; copies > 0; --copies)
            socket_.writeDatagram(page, to, toPort);
        ++c.pagesSent;
    }

    QUdpSocket socket_, stranger_;
    QHash<quint64, Client> clients_;
    std::deque<qint64> answeredAt_;
    qint64 silentUntil_ = 0;
    bool lost_ = false;
    QElapsedTimer clock_;
};
