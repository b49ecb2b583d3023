#pragma once

#include "query_pass.h"
#include "settings.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A server of the internet or history list: where it is, and what its latest reply said.
struct ListedServer {
    std::string host;
    std::string port;        // the game port to join on
    bool portJoined = false; // a history row's port was joined before: replies do not move it
    std::string queryPort;   // the Steam query's
    std::string name;        // the reply's, else the stored one
    std::optional<int> ping;
    std::optional<int> players, slots;
    std::string mission;
    std::optional<bool> passworded;
    QueryPass::Protocol protocol = QueryPass::Protocol::None;
    std::string error;
    std::vector<std::pair<std::string, std::string>> playerList; // name, score

    quorvale::ServerEntry entry() const;
    // Takes in what a reply of the query pass says.
    void apply(const QueryPass::Result& r);
};

// The internet and history lists' rows, in the columns of the favourites.
class ServerListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Address, Ping, Players, Mission, Query, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void clear();
    void append(std::vector<ListedServer> servers);
    const ListedServer& at(int row) const { return rows_[static_cast<size_t>(row)]; }
    int size() const { return static_cast<int>(rows_.size()); }
    void applyReply(int row, const QueryPass::Result& r);

private:
    std::vector<ListedServer> rows_;
};

// The switches and the filter box of the lists. A switch shows only the servers known to pass:
// a server that has not answered yet passes none.
struct ServerFilter {
    QString text; // in the name, mission or address, without regard to case
    bool notFull = false;
    bool notEmpty = false;
    bool noPassword = false;
    int maxPing = 0; // 0: any
    bool accepts(const ListedServer& s) const;
    bool acceptsAll() const {
        return text.isEmpty() && !notFull && !notEmpty && !noPassword && !maxPing;
    }
};

class ServerListFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ServerListFilter(ServerListModel& model, QObject* parent = nullptr);
    void setFilter(const ServerFilter& filter);
    const ServerListModel& servers() const { return model_; }
    // The source row of a row shown, or -1.
    int sourceRow(int row) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    // Numbers as numbers (ping, players, address and port), text without regard to case.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    ServerListModel& model_;
    ServerFilter filter_;
};
