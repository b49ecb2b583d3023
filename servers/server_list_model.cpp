#include "server_list_model.h"
#include "qt_text.h"

#include "text.h"
#include "udp_endpoint.h"

#include <cmath>

using namespace quorvale;

namespace {
std::optional<int> number(const std::optional<std::string>& text) {
    int32_t n = 0;
    if (text && tryStrToInt(*text, n))
        return n;
    return std::nullopt;
}

// Dotted addresses by their number, ahead of host names by their text.
QString addressKey(const ListedServer& s) {
    const QString host = toQString(s.host);
    uint16_t port = 0;
    tryParsePort(s.port, port);
    if (const auto dotted = UdpEndpoint::dottedAddress(host))
        return QStringLiteral("%1:%2")
            .arg(dotted->toIPv4Address(), 10, 10, QLatin1Char('0'))
            .arg(port, 5, 10, QLatin1Char('0'));
    return QStringLiteral("~%1:%2").arg(host.toLower()).arg(port, 5, 10, QLatin1Char('0'));
}
} // namespace

ServerEntry ListedServer::entry() const {
    ServerEntry e;
    e.name = name;
    e.host = host;
    e.port = port;
    e.queryPort = queryPort;
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
    if (reply.gamePort)
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
    if (role == SortRole) {
        switch (index.column()) {
        case Name:
            return serverText(s.name).toLower();
        case Address:
            return addressKey(s);
        case Ping:
            return s.ping.value_or(1'000'000'000); // the silent last
        case Players:
            return s.players ? *s.players * 1000 + s.slots.value_or(0) : -1;
        case Mission:
            return serverText(s.mission).toLower();
        default:
            return data(index, Qt::DisplayRole);
        }
    }
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
    setSortRole(ServerListModel::SortRole);
    setDynamicSortFilter(true);
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
