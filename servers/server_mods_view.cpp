#include "server_mods_view.h"
#include "qt_text.h"

#include "launcher_session.h"
#include "server_mods.h"

#include <QHeaderView>

using namespace quorvale;

ServerModsView::ServerModsView(LauncherSession& session, QWidget* parent)
    : QTableWidget(0, 2, parent), pass(endpoint), session_(session) {
    setHorizontalHeaderLabels({QStringLiteral("Mod"), QString()});
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(16);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    QueryPass::Options options = QueryPass::Options::patient();
    options.gameSpy = false; // a GameSpy answer's mods come with the list's own query
    options.rules = true;
    pass.setOptions(options);
    connect(&pass, &QueryPass::serverUpdated, this, &ServerModsView::rulesUpdated);
    connect(&pass, &QueryPass::finished, this, [this] {
        if (picked_ && keyOf(*picked_) == keyOf(asked_) && !known_.count(keyOf(asked_)))
            showText(QStringLiteral("no mod list"));
    });
}

std::string ServerModsView::keyOf(const QueryPass::Server& s) {
    return s.host + '\n' + s.port + '\n' + s.queryPort;
}

void ServerModsView::pick(const QueryPass::Server& server) {
    picked_ = server;
    if (const auto it = known_.find(keyOf(server)); it != known_.end()) {
        showMods(it->second);
        return;
    }
    showText(QStringLiteral("asking..."));
    asked_ = server;
    pass.start({server});
}

void ServerModsView::pickNone() {
    picked_.reset();
    setRowCount(0);
}

void ServerModsView::remember(const QueryPass::Server& server, const ServerMods& mods) {
    known_[keyOf(server)] = mods;
    if (picked_ && keyOf(*picked_) == keyOf(server))
        showMods(mods);
}

std::optional<ServerMods> ServerModsView::modsOf(const QueryPass::Server& server) const {
    const auto it = known_.find(keyOf(server));
    return it == known_.end() ? std::nullopt : std::optional(it->second);
}

void ServerModsView::rulesUpdated() {
    const QueryPass::Result& r = pass.results().front();
    if (r.outcome != QueryPass::Outcome::Answered || !r.reply.mods)
        return;
    remember(asked_, *r.reply.mods);
    Q_EMIT modsArrived();
}

void ServerModsView::showText(const QString& text) {
    setRowCount(1);
    setItem(0, 0, new QTableWidgetItem(text));
    setItem(0, 1, new QTableWidgetItem(QString()));
}

void ServerModsView::showMods(const std::optional<ServerMods>& mods) {
    if (!mods) {
        showText(QStringLiteral("no mod list"));
        return;
    }
    const std::vector<ServerModMatch> matches = matchServerMods(mods->names, session_.state().mods);
    setRowCount(0);
    setRowCount(static_cast<int>(matches.size()));
    for (int i = 0; i < rowCount(); ++i) {
        const ServerModMatch& m = matches[static_cast<size_t>(i)];
        auto* name = new QTableWidgetItem(serverText(m.name));
        auto* state = new QTableWidgetItem(m.game        ? QStringLiteral("game")
                                           : m.missing() ? QStringLiteral("missing")
                                                         : QStringLiteral("known"));
        if (m.missing())
            state->setForeground(QColor(128, 0, 0));
        setItem(i, 0, name);
        setItem(i, 1, state);
    }
    if (matches.empty())
        showText(QStringLiteral("no mods"));
    setToolTip(toQString(mods->problem));
}
