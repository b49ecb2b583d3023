#include "server_list_model.h"
#include "qt_text.h"

#include "text.h"

#include <cmath>

using namespace quorvale;

namespace {
std::optional<int> number(const std::optional<std::string>& text) {
    int32_t n = 0;
    if (text && tryStrToInt(*text, n))
        return n;
    return std::nullopt;
}

// Without regard to ASCII case, and without building a text: sorting 5000 rows compares often.
int compareNoCase(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (const int d =
                lower(static_cast<unsigned char>(a[i])) - lower(static_cast<unsigned char>(b[i])))
            return d;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// A dotted address as its number; none for a host name.
std::optional<uint32_t> dottedNumber(const std::string& host) {
    uint32_t n = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        uint32_t part = 0;
        const size_t start = i;
        for (; i < host.size() && host[i] >= '0' && host[i] <= '9' && i - start < 3; ++i)
            part = part * 10 + static_cast<uint32_t>(host[i] - '0');
        if (i == start || part > 255)
            return std::nullopt;
        n = n << 8 | part;
        if (++parts < 4 && (i >= host.size() || host[i++] != '.'))
            return std::nullopt;
    }
    return i == host.size() ? std::optional(n) : std::nullopt;
}

int portNumberOf(const std::string& port) {
    uint16_t n = 0;
    return tryParsePort(port, n) ? n : -1;
}

// Dotted addresses by their number, ahead of host names by their text; then the port.
bool addressLess(const ListedServer& a, const ListedServer& b) {
    const auto x = dottedNumber(a.host), y = dottedNumber(b.host);
    if (x.has_value() != y.has_value())
        return x.has_value();
    if (const int d = x ? (*x < *y ? -1 : *x > *y) : compareNoCase(a.host, b.host))
        return d < 0;
    return portNumberOf(a.port) < portNumberOf(b.port);
}
} // namespace

ServerEntry ListedServer::entry() const {
    ServerEntry e;
    e.name = name;
    e.host = host;
    e.port = port;
    e.queryPort = queryPort;
    e.joinWithSockets = true; // as the server editor stores every favourite
    return e;
}

void ListedServer::apply(const QueryPass::Result& r) {
    if (r.outcome == QueryPass::Outcome::Failed || r.outcome == QueryPass::Outcome::HostNotFound) {
        error = r.error;
        return;
    }
    if (r.outcome != QueryPass::Outcome::Answered)
        return;
    const ServerStatusReply& reply = r.reply;
    ping = static_cast<int>(std::lround(r.pingMs));
    protocol = r.protocol;
    error = r.error;
    if (reply.hostName)
        name = *reply.hostName;
    if (reply.gamePort && !portJoined)
        port = std::to_string(*reply.gamePort);
    players = number(reply.numPlayers);
    slots = number(reply.slots);
    mission = reply.mission.value_or(std::string());
    passworded = reply.passworded;
    playerList.clear();
    for (const StatusPlayer& p : reply.players)
        playerList.emplace_back(p.name, p.score.value_or(std::string()));
}

int ServerListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : size();
}

int ServerListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ServerListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const names[] = {"Server Name", "Hostname/IP", "Ping",
                                        "Players",     "Mission",     "Query"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return {};
    return QString::fromLatin1(names[section]);
}

QVariant ServerListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= size())
        return {};
    const ListedServer& s = at(index.row());
    const bool answered = s.protocol != QueryPass::Protocol::None;
    if (role == Qt::ToolTipRole) {
        if (index.column() == Mission && !s.mission.empty())
            return serverText(s.mission);
        if (index.column() == Query && !s.error.empty())
            return toQString(s.error);
        if (index.column() == Address && !s.queryPort.empty())
            return QStringLiteral("Query port %1").arg(toQString(s.queryPort));
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Name:
        return serverText(s.name);
    case Address:
        return toQString(s.host + ":" + s.port);
    case Ping:
        return s.ping ? QString::number(*s.ping) : QStringLiteral("??");
    case Players:
        if (!s.players)
            return QString();
        return QStringLiteral("%1/%2")
            .arg(*s.players)
            .arg(s.slots ? QString::number(*s.slots) : QStringLiteral("??"));
    case Mission:
        return serverText(s.mission);
    case Query:
        if (!answered)
            return s.error.empty() ? QString() : QStringLiteral("failed");
        return s.protocol == QueryPass::Protocol::A2s ? QStringLiteral("Steam")
                                                      : QStringLiteral("GS");
    default:
        return {};
    }
}

void ServerListModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ServerListModel::append(std::vector<ListedServer> servers) {
    if (servers.empty())
        return;
    beginInsertRows({}, size(), size() + static_cast<int>(servers.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(servers.begin()),
                 std::make_move_iterator(servers.end()));
    endInsertRows();
}

void ServerListModel::applyReply(int row, const QueryPass::Result& r) {
    if (row < 0 || row >= size())
        return;
    rows_[static_cast<size_t>(row)].apply(r);
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

bool ServerFilter::accepts(const ListedServer& s) const {
    if (notFull && !(s.players && s.slots && *s.players < *s.slots))
        return false;
    if (notEmpty && !(s.players && *s.players > 0))
        return false;
    if (noPassword && s.passworded.value_or(true))
        return false;
    if (maxPing > 0 && !(s.ping && *s.ping <= maxPing))
        return false;
    if (text.isEmpty())
        return true;
    for (const std::string* field : {&s.name, &s.mission})
        if (toQString(*field).contains(text, Qt::CaseInsensitive))
            return true;
    return toQString(s.host + ":" + s.port).contains(text, Qt::CaseInsensitive);
}

ServerListFilter::ServerListFilter(ServerListModel& model, QObject* parent)
    : QSortFilterProxyModel(parent), model_(model) {
    setSourceModel(&model);
    setDynamicSortFilter(true);
}

bool ServerListFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const ListedServer& a = model_.at(left.row());
    const ListedServer& b = model_.at(right.row());
    constexpr int kSilent = 1'000'000'000; // the silent last, the unknown first
    switch (left.column()) {
    case ServerListModel::Name:
        return compareNoCase(a.name, b.name) < 0;
    case ServerListModel::Address:
        return addressLess(a, b);
    case ServerListModel::Ping:
        return a.ping.value_or(kSilent) < b.ping.value_or(kSilent);
    case ServerListModel::Players:
        return std::pair(a.players.value_or(-1), a.slots.value_or(-1)) <
               std::pair(b.players.value_or(-1), b.slots.value_or(-1));
    case ServerListModel::Mission:
        return compareNoCase(a.mission, b.mission) < 0;
    default:
        return a.protocol < b.protocol;
    }
}

void ServerListFilter::setFilter(const ServerFilter& filter) {
    filter_ = filter;
    invalidateRowsFilter();
}

int ServerListFilter::sourceRow(int row) const {
    return mapToSource(index(row, 0)).row();
}

bool ServerListFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    return sourceRow < model_.size() && filter_.accepts(model_.at(sourceRow));
}
