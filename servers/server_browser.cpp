#include "server_browser.h"
#include "qt_text.h"

#include "command_line.h"
#include "error_handler.h"
#include "form_keys.h"
#include "launcher_session.h"
#include "list_editing.h"
#include "reload_on_activation.h"
#include "server_mods_view.h"
#include "server_watcher.h"
#include "text.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

using namespace quorvale;

namespace {
// The grid's header row: its old 18 pixels, or as much more as the font's descenders need
// ("Ping" read "Pinq").
int headerHeight(const QAbstractItemView* view) {
    return std::max(18, view->fontMetrics().height() + 5);
}

// The millisecond tick a server's query time is kept in: 32 bits, wrapping.
uint32_t tickOf(qint64 ns) {
    return static_cast<uint32_t>(static_cast<uint64_t>(ns / 1'000'000));
}

constexpr int kQueryColumnWidth = 40;
constexpr int kTop = 48; // the tabs and the filter row above the lists

// A mod list that came incomplete is not joined with: the join goes as if none had come.
std::optional<std::vector<std::string>> usableMods(const std::optional<ServerMods>& mods) {
    if (!mods || !mods->problem.empty())
        return std::nullopt;
    return mods->names;
}

QueryPass::Server queryTarget(const ServerEntry& e) {
    return {e.host, e.port, e.queryPort};
}

// What is wrong with a server's stored query port, if anything.
QString queryPortProblem(const ServerEntry& server) {
    uint16_t port = 0;
    if (server.queryPort.empty() || tryParsePort(server.queryPort, port))
        return {};
    return QStringLiteral("Query port: %1").arg(toQString(badPortMessage(server.queryPort)));
}

ListedServer listed(const std::string& host, const std::string& port, const std::string& queryPort,
                    const std::string& name = {}) {
    ListedServer s;
    s.host = host;
    s.port = port;
    s.queryPort = queryPort;
    s.name = name;
    return s;
}

} // namespace

ServerBrowser::ServerBrowser(LauncherSession& session)
    : QMainWindow(nullptr), pass(endpoint), session_(session) {
    ui.setupUi(this);
    addListControls();
    applyFormKeys(this, ui.joinButton);
    status_ = new QLabel(QStringLiteral("Ready"));
    ui.statusBar->addWidget(status_, 1);
    ui.joinButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui.refreshButton->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    ui.watcherButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    for (QTableWidget* g : {ui.serverGrid, ui.playerGrid}) {
        g->setTabKeyNavigation(false); // Tab leaves the table, as it leaves every other control
        g->verticalHeader()->setMinimumSectionSize(1);
        g->verticalHeader()->setDefaultSectionSize(16);
        g->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        g->horizontalHeader()->setMinimumSectionSize(10);
    }
    ui.serverGrid->horizontalHeader()->setFixedHeight(headerHeight(ui.serverGrid));
    ui.serverGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    auto* beside = new QSplitter(Qt::Horizontal);
    ui.gridSplitter->insertWidget(1, beside);
    beside->addWidget(ui.playerGrid);
    beside->addWidget(modsView = new ServerModsView(session_));
    ui.gridSplitter->setSizes({177, 289 - 177 - 3});
    QFont small = font();
    small.setPixelSize(9);
    ui.playerGroup->setFont(small);
    QFont normal = font();
    normal.setPixelSize(normal.pixelSize() > 0 ? normal.pixelSize() : 11); // set, not inherited
    ui.playerNameBox->setFont(normal);

    // The main window's name until the player types or picks one here.
    takePlayerName();
    connect(ui.playerNameBox->lineEdit(), &QLineEdit::textEdited, this,
            [this] { nameTyped_ = true; });
    connect(ui.playerNameBox, &QComboBox::activated, this, [this] { nameTyped_ = true; });

    endpoint.setLocalPort(session_.context().browserPort);
    endpoint.reportLevel = 1;
    pass.setOptions(QueryPass::Options::patient());
    // The pass has applied the datagram by the time this runs.
    connect(&pass, &QueryPass::serverUpdated, this, &ServerBrowser::serverUpdated);
    connect(&endpoint, &UdpEndpoint::dataReceived, this, [this](int bytes) {
        setStatus(QStringLiteral("Receiving data..."));
        // A reply that could not be read leaves its error on the status line.
        if (!replyError_.isEmpty())
            setStatus(replyError_);
        else if (bytes >= 1)
            setStatus(QStringLiteral("Ready"));
        replyError_.clear();
    });
    connect(&endpoint, &UdpEndpoint::invalidHost, this,
            [this](bool&) { setStatus(QStringLiteral("Invalid Host error occured.")); });
    connect(&endpoint, &UdpEndpoint::bufferInvalid, this, [this](bool&, QByteArray&, int&) {
        setStatus(QStringLiteral("Buffer invalid error occured."));
    });

    passDoneTimer.setInterval(500);
    passDoneTimer.setSingleShot(true);
    connect(&passDoneTimer, &QTimer::timeout, this, &ServerBrowser::finishPass);
    activationTimer.setInterval(500);
    activationTimer.setSingleShot(true);
    connect(&activationTimer, &QTimer::timeout, this, &ServerBrowser::startQueryAfterActivation);

    connect(ui.joinButton, &QPushButton::clicked, this, &ServerBrowser::joinSelected);
    // A double-click on a server joins it, as Enter does.
    connect(ui.serverGrid, &QTableWidget::cellDoubleClicked, this, &ServerBrowser::joinSelected);
    connect(listView, &QTableView::doubleClicked, this, &ServerBrowser::joinSelected);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
    connect(ui.refreshButton, &QPushButton::clicked, this, &ServerBrowser::refresh);
    connect(ui.watcherButton, &QPushButton::clicked, this, &ServerBrowser::openWatcher);
    connect(ui.serverGrid, &QTableWidget::currentCellChanged, this,
            &ServerBrowser::showSelectedPlayers);
    // The grid's type-ahead would take Space to the next row whose cell holds the blank of a
    // server that has not answered, and Enter would join that one.
    ui.serverGrid->installEventFilter(this);
    listView->installEventFilter(this);
    new ReloadOnActivation(this, [this] { refreshFields(); });

    ui.serverGrid->setRowCount(0);
    updateButtons();
    layoutColumns();
}

ServerBrowser::~ServerBrowser() = default;

bool ServerBrowser::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == ui.serverGrid || watched == listView) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space)
        return true;
    // Enter in the filter box or the ping limit ends the typing; it joins nothing.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool typing = watched == filterEdit || watched == pingLimitBox ||
                            watched == pingLimitBox->findChild<QLineEdit*>();
        if (typing && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            pingLimitBox->interpretText();
            event->accept();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void ServerBrowser::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // The grids' panel follows all four sides, the buttons and the player box the bottom.
    const int dx = width() - 500;
    const int dy = height() - 378 - kTop;
    ui.buttonPanel->resize(481 + dx, 289 + dy);
    ui.gridSplitter->resize(ui.buttonPanel->size());
    for (QWidget* b :
         {static_cast<QWidget*>(ui.joinButton), static_cast<QWidget*>(ui.refreshButton),
          static_cast<QWidget*>(ui.watcherButton)})
        b->move(b->x(), 319 + kTop + dy);
    ui.playerGroup->move(352, 311 + kTop + dy);
    filterEdit->parentWidget()->resize(481 + dx, 22);
    addFavouriteButton->move(8 + 481 + dx - addFavouriteButton->width(), 4);
    layoutColumns();
}

void ServerBrowser::layoutColumns() {
    const int width = ui.serverGrid->width();
    const int w = static_cast<int>(std::lround((width - 98) / 3.0));
    // The query column takes its room from the mission's, and so much more as keeps it clear of
    // the scroll bar.
    // It is wide enough for "bad port" too.
    const int query =
        std::max(kQueryColumnWidth,
                 ui.serverGrid->fontMetrics().horizontalAdvance(QStringLiteral("bad port")) + 8);
    const int overflow = std::max(0, 2 * w + 90 + w + 10 - ui.serverGrid->viewport()->width());
    const int widths[] = {w, w, 30, 50, std::max(30, w + 10 - query - overflow), query};
    for (int c = 0; c < 6; ++c) {
        ui.serverGrid->setColumnWidth(c, widths[c]);
        // Room for the sort mark in the narrow number columns, taken from the mission's.
        const int mark = c == 2 ? 8 : c == 3 ? 4 : c == 4 ? -12 : 0;
        listView->setColumnWidth(c, widths[c] + mark);
    }
    ui.playerGrid->setColumnWidth(0, 150);
    ui.playerGrid->setColumnWidth(1, ui.playerGrid->width() - 150);
}

void ServerBrowser::takePlayerName() {
    const QString text =
        nameTyped_ ? ui.playerNameBox->currentText() : toQString(session_.playerName());
    ui.playerNameBox->clear();
    ui.playerNameBox->addItems(session_.playerNameChoices());
    ui.playerNameBox->setEditText(text);
}

void ServerBrowser::refreshFields() {
    takePlayerName();
    layoutColumns();
    activationTimer.start();
}

void ServerBrowser::startQueryAfterActivation() {
    activationTimer.stop();
    guardedLater([&] {
        // A join made elsewhere (the direct join) while the list was away comes in.
        if (listTabs->currentIndex() == HistoryTab &&
            historyText(session_.state().settings.history) != listedHistory_)
            listHistory();
        queryServers();
    });
}

void ServerBrowser::refresh() {
    layoutColumns();
    guarded([&] {
        switch (listTabs->currentIndex()) {
        case InternetTab:
            return listInternet();
        case HistoryTab:
            return listHistory();
        default:
            return queryServers();
        }
    });
}

void ServerBrowser::finishPass() {
    ui.refreshButton->setEnabled(true);
    if (std::exchange(refreshHadFocus_, false) && ui.serverGrid->hasFocus())
        ui.refreshButton->setFocus();
    passDoneTimer.stop();
    showPlayers();
}

void ServerBrowser::queryServers() {
    setStatus(QStringLiteral("Querying servers..."));
    const auto wanted = picked_; // before the refill moves the selection
    // A disabled button hands its focus on to the next one: Watcher would take the next Space.
    refreshHadFocus_ = ui.refreshButton->hasFocus();
    if (refreshHadFocus_)
        ui.serverGrid->setFocus();
    ui.refreshButton->setEnabled(false);
    const ServerTable& t = session_.state().servers;
    const int keep = selectedSlot();
    if (rows_.size() < t.entries.size())
        rows_.resize(t.entries.size());
    ui.serverGrid->setUpdatesEnabled(false); // one repaint for the whole list
    ui.serverGrid->setRowCount(t.count());
    std::vector<QueryPass::Server> servers;
    passError_.clear();
    for (int i = 0; i < t.count(); ++i) {
        const ServerEntry& e = t.entries[static_cast<size_t>(i)];
        ServerRow& row = rows_[static_cast<size_t>(i)];
        row.queryTick = 0;
        row.resolvedIp.clear();
        row.players.clear();
        setCell(i, 0, serverText(e.name));
        setCell(i, 1, toQString(e.host + ":" + e.port));
        setCell(i, 2, QStringLiteral("??"));
        setCell(i, 3, QStringLiteral(" "));
        setCell(i, 4, QStringLiteral(" "));
        setCell(i, 5, QStringLiteral(" "));
        for (const int c : {2, 4, 5})
            ui.serverGrid->item(i, c)->setToolTip({});
        servers.push_back({e.host, e.port, e.queryPort});
        if (const QString problem = queryPortProblem(e); !problem.isEmpty()) {
            setCell(i, 5, QStringLiteral("bad port"));
            ui.serverGrid->item(i, 5)->setToolTip(problem);
        }
    }
    ui.serverGrid->setUpdatesEnabled(true);
    // The list may have changed under the selection: the server picked stays picked.
    for (int i = 0; wanted && i < t.count(); ++i) {
        const ServerEntry& e = t.entries[static_cast<size_t>(i)];
        if (std::array{e.name, e.host, e.port} == *wanted) {
            if (i != ui.serverGrid->currentRow())
                ui.serverGrid->setCurrentCell(i, 0);
            break;
        }
    }
    if (keep < 0 && t.count() > 0)
        ui.serverGrid->setCurrentCell(0, 0);
    updateButtons();
    connect(
        &pass, &QueryPass::sendsDone, this,
        [this] {
            if (!passError_.isEmpty())
                setStatus(passError_);
            setStatus(QStringLiteral("Query done..."));
            passDoneTimer.start();
        },
        Qt::SingleShotConnection);
    pass.start(servers);
    for (int i = 0; i < ui.serverGrid->rowCount(); ++i)
        showFavouriteIfItPasses(i);
}

void ServerBrowser::showFavouriteIfItPasses(int slot) {
    const ServerTable& t = session_.state().servers;
    if (!t.holds(slot) || slot >= ui.serverGrid->rowCount())
        return;
    if (filter_.acceptsAll()) {
        ui.serverGrid->setRowHidden(slot, false);
        return;
    }
    const ServerEntry& e = t.entries[static_cast<size_t>(slot)];
    ListedServer s = listed(e.host, e.port, e.queryPort);
    if (static_cast<size_t>(slot) < pass.results().size())
        s.apply(pass.results()[static_cast<size_t>(slot)]);
    s.name = e.name; // as the row shows it
    s.port = e.port;
    ui.serverGrid->setRowHidden(slot, !filter_.accepts(s));
}

void ServerBrowser::serverUpdated(int slot) {
    const ServerTable& t = session_.state().servers;
    if (!t.holds(slot))
        return;
    showFavouriteIfItPasses(slot);
    const ServerEntry& e = t.entries[static_cast<size_t>(slot)];
    ServerRow& row = rows_[static_cast<size_t>(slot)];
    const QueryPass::Result& r = pass.results()[static_cast<size_t>(slot)];
    uint16_t port = 0;
    if (r.outcome == QueryPass::Outcome::Failed && !tryParsePort(e.port, port)) {
        // A port that is no port: this row only; the pass goes on. The Ping column is too narrow
        // to say why, so the row's Mission cell does until the next pass.
        passError_ = toQString(r.error);
        setCell(slot, 2, QString()); // no ping; the Query column has room to say why
        setCell(slot, 5, QStringLiteral("bad port"));
        ui.serverGrid->item(slot, 5)->setToolTip(passError_);
        setCell(slot, 4, passError_);
        setStatus(passError_);
        return;
    }
    if (r.outcome != QueryPass::Outcome::Answered)
        return;
    row.resolvedIp = r.resolvedIp;
    row.queryTick = tickOf(r.sentNs);
    setCell(slot, 2, QString::number(tickOf(r.replyNs) - row.queryTick));
    const bool steam = r.protocol == QueryPass::Protocol::A2s;
    setCell(slot, 5, steam ? QStringLiteral("Steam") : QStringLiteral("GS"));
    const QString via =
        steam ? QStringLiteral("Answered the Steam query on port %1")
                    .arg(a2sQueryPort(e.port, e.queryPort).value_or(0))
              : QStringLiteral("Answered the GameSpy query on port %1").arg(toQString(e.port));
    const QString problem = queryPortProblem(e);
    ui.serverGrid->item(slot, 2)->setToolTip(via);
    ui.serverGrid->item(slot, 5)->setToolTip(problem.isEmpty() ? via : via + '\n' + problem);
    const ServerStatusReply& reply = r.reply;
    // A reply replaces the players of one before it (a twin entry's, or a datagram that came
    // twice): they are not added again.
    row.players.clear();
    if (reply.mods)
        modsView->remember(queryTarget(e), *reply.mods);
    if (reply.mission) {
        setCell(slot, 4, serverText(*reply.mission));
        ui.serverGrid->item(slot, 4)->setToolTip(
            serverText(*reply.mission)); // the column cuts it short
    }
    for (const StatusPlayer& p : reply.players) {
        if (row.players.size() >= static_cast<size_t>(TableCapacity))
            break;
        row.players.emplace_back(p.name, p.score.value_or(std::string()));
    }
    if (!r.error.empty()) {
        replyError_ = toQString(r.error);
        setStatus(replyError_);
    } else if (reply.numPlayers) {
        setCell(slot, 3, toQString(*reply.numPlayers + "/" + reply.slots.value_or("??")));
    }
    if (slot == selectedSlot())
        showPlayers();
}

void ServerBrowser::showPlayers() {
    const std::vector<std::pair<std::string, std::string>>* players = nullptr;
    if (const ListedServer* listed = selectedListed())
        players = &listed->playerList;
    else if (const int s = selectedSlot(); s >= 0 && static_cast<size_t>(s) < rows_.size())
        players = &rows_[static_cast<size_t>(s)].players;
    if (!players) {
        ui.playerGrid->setRowCount(0);
        modsView->pickNone(); // the mods of a server picked on another tab would stay
        return;
    }
    if (players->empty()) {
        ui.playerGrid->setRowCount(1);
        ui.playerGrid->setItem(0, 0, new QTableWidgetItem(QStringLiteral("no players")));
        ui.playerGrid->setItem(0, 1, new QTableWidgetItem(QString()));
        return;
    }
    ui.playerGrid->setRowCount(static_cast<int>(players->size()));
    for (int r = 0; r < ui.playerGrid->rowCount(); ++r) {
        const auto& [name, score] = (*players)[static_cast<size_t>(r)];
        ui.playerGrid->setItem(r, 0, new QTableWidgetItem(serverText(name)));
        ui.playerGrid->setItem(r, 1, new QTableWidgetItem(toQString(score)));
    }
}

int ServerBrowser::selectedSlot() const {
    if (listTabs->currentIndex() != FavouritesTab)
        return -1;
    const int row = ui.serverGrid->currentRow();
    // A row the filter hides is not the player's choice any more: Join must not reach it.
    return row >= 0 && row < ui.serverGrid->rowCount() && !ui.serverGrid->isRowHidden(row) &&
                   session_.state().servers.holds(row)
               ? row
               : -1;
}

void ServerBrowser::showSelectedPlayers() {
    const int s = selectedSlot();
    if (s >= 0) {
        const ServerEntry& e = session_.state().servers.entries[static_cast<size_t>(s)];
        picked_ = {e.name, e.host, e.port};
        modsView->pick(queryTarget(e));
    } else if (const ListedServer* listed = selectedListed()) {
        modsView->pick(queryTarget(listed->entry()));
    }
    updateButtons();
    showPlayers();
}

void ServerBrowser::joinSelected() {
    guarded([&] {
        if (const ListedServer* listed = selectedListed())
            joinListed(*listed);
        else
            joinSlot(selectedSlot());
    });
}

void ServerBrowser::joinSlot(int slot) {
    const ServerTable& t = session_.state().servers;
    if (!t.holds(slot))
        return;
    joinEntry(t.entries[static_cast<size_t>(slot)], slot);
}

void ServerBrowser::joinEntry(const ServerEntry& chosen, ModsOfServer stored) {
    const ServerEntry server = chosen; // the join may reload the table it came from
    portNumber(server.port);           // nothing starts with a bad port
    const auto mods = modsView->modsOf(queryTarget(server));
    if (session_.joinServer(
            browserJoinConnect(server, ui.playerNameBox->currentText().toStdString()), stored,
            usableMods(mods)))
        remember(server);
}

void ServerBrowser::openWatcher() {
    guarded([&] {
        if (const ListedServer* listed = selectedListed(); listed && watcher_) {
            const ListedServer server = *listed;
            const QueryPass::Protocol answered = server.protocol;
            watcher_->watch(
                this, toQString(server.host), server.port, [this, server] { joinListed(server); },
                server.queryPort, answered);
            return;
        }
        const int s = selectedSlot();
        const ServerTable& t = session_.state().servers;
        if (!t.holds(s) || !watcher_)
            return;
        const ServerEntry& e = t.entries[static_cast<size_t>(s)];
        const QueryPass::Protocol answered = static_cast<size_t>(s) < pass.results().size()
                                                 ? pass.results()[static_cast<size_t>(s)].protocol
                                                 : QueryPass::Protocol::None;
        watcher_->watch(
            this, toQString(e.host), e.port, [this, s] { joinSlot(s); }, e.queryPort, answered);
    });
}

void ServerBrowser::setStatus(const QString& text) {
    status_->setText(text);
    Q_EMIT statusShown(text);
}

QString ServerBrowser::statusText() const {
    return status_->text();
}

void ServerBrowser::setCell(int row, int column, const QString& text) {
    if (QTableWidgetItem* item = ui.serverGrid->item(row, column))
        item->setText(text);
    else
        ui.serverGrid->setItem(row, column, new QTableWidgetItem(text));
}

void ServerBrowser::updateButtons() {
    const bool listed = selectedListed() != nullptr;
    const bool any = listed || selectedSlot() >= 0;
    ui.joinButton->setEnabled(any);
    ui.watcherButton->setEnabled(any);
    addFavouriteButton->setEnabled(listed);
}

void ServerBrowser::addListControls() {
    // The favourites' grid and the other tabs' list share the splitter's top pane, so that each
    // tab's list stands above the players with the height the player gave it.
    auto* lists = new QWidget;
    auto* stack = new QVBoxLayout(lists);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    ui.gridSplitter->insertWidget(0, lists);
    stack->addWidget(ui.serverGrid);
    stack->addWidget(listView = new QTableView);
    listView->hide();
    listView->setObjectName(QStringLiteral("listView"));
    listView->setTabKeyNavigation(false);
    listView->setSelectionMode(QAbstractItemView::SingleSelection);
    listView->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    listView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listView->setSortingEnabled(true);
    listView->sortByColumn(-1, Qt::AscendingOrder); // as listed until a header is clicked
    listView->verticalHeader()->hide();
    listView->verticalHeader()->setMinimumSectionSize(1);
    listView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    listView->verticalHeader()->setDefaultSectionSize(16);
    listView->horizontalHeader()->setFixedHeight(headerHeight(listView));
    listView->horizontalHeader()->setHighlightSections(false);
    listView->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    listView->setWordWrap(false);

    listTabs = new QTabBar(centralWidget());
    listTabs->setObjectName(QStringLiteral("listTabs"));
    for (const char* name : {"&Favourites", "&Internet", "&History"})
        listTabs->addTab(QString::fromLatin1(name));
    listTabs->setDrawBase(false);
    listTabs->move(8, 4);
    listTabs->resize(listTabs->sizeHint());
    addFavouriteButton = new QPushButton(QStringLiteral("&Add to favourites"), centralWidget());
    addFavouriteButton->setObjectName(QStringLiteral("addFavouriteButton"));
    addFavouriteButton->resize(addFavouriteButton->sizeHint().width(), 23);
    addFavouriteButton->move(8 + 481 - addFavouriteButton->width(), 4);

    auto* filterBar = new QWidget(centralWidget());
    filterBar->setGeometry(8, 30, 481, 22);
    auto* filterRow = new QHBoxLayout(filterBar);
    filterRow->setContentsMargins(0, 0, 0, 0);
    filterRow->setSpacing(6);
    filterEdit = new QLineEdit;
    filterEdit->setObjectName(QStringLiteral("filterEdit"));
    filterEdit->setPlaceholderText(QStringLiteral("Filter: name, mission, address"));
    filterEdit->setClearButtonEnabled(true);
    filterEdit->setAccessibleName(QStringLiteral("Filter"));
    filterRow->addWidget(filterEdit, 1);
    for (auto [box, text] : {std::pair{&notFullBox, "not full"},
                             {&notEmptyBox, "not empty"},
                             {&noPasswordBox, "no password"},
                             {&pingBox, "ping \u2264"}}) {
        *box = new QCheckBox(QString::fromUtf8(text));
        filterRow->addWidget(*box);
        connect(*box, &QCheckBox::toggled, this, &ServerBrowser::applyFilter);
    }
    pingLimitBox = new QSpinBox;
    pingLimitBox->setObjectName(QStringLiteral("pingLimitBox"));
    pingLimitBox->setRange(1, 9999);
    pingLimitBox->setValue(150);
    pingLimitBox->setAccessibleName(QStringLiteral("ping limit"));
    pingLimitBox->findChild<QLineEdit*>()->setAccessibleName(pingLimitBox->accessibleName());
    filterRow->addWidget(pingLimitBox);
    connect(pingLimitBox, &QSpinBox::valueChanged, this, [this] {
        if (pingBox->isChecked())
            applyFilter();
    });
    connect(filterEdit, &QLineEdit::textChanged, this, &ServerBrowser::applyFilter);
    filterEdit->installEventFilter(this);
    pingLimitBox->installEventFilter(this);
    pingLimitBox->findChild<QLineEdit*>()->installEventFilter(this);

    // Top down: the tabs, the filter row, the list, then the form below as it was.
    setTabOrder(listTabs, filterEdit);
    setTabOrder(filterEdit, notFullBox);
    setTabOrder(notFullBox, notEmptyBox);
    setTabOrder(notEmptyBox, noPasswordBox);
    setTabOrder(noPasswordBox, pingBox);
    setTabOrder(pingBox, pingLimitBox);
    setTabOrder(pingLimitBox, ui.serverGrid);
    setTabOrder(ui.serverGrid, listView);
    setTabOrder(listView, ui.playerGrid);
    setTabOrder(ui.watcherButton, addFavouriteButton);

    connect(listTabs, &QTabBar::currentChanged, this, &ServerBrowser::showTab);
    connect(addFavouriteButton, &QPushButton::clicked, this,
            &ServerBrowser::addSelectedToFavourites);
    for (ServerList* list : {&internet, &history}) {
        // As in the favourites, a list that has rows has one picked. Queued: picked while the
        // view has not yet heard of the new rows, the view's row header counted them twice and
        // drew an empty row.
        connect(
            &list->filter, &QAbstractItemModel::rowsInserted, this,
            [this, list] {
                if (shownList() == list && !listView->currentIndex().isValid())
                    listView->setCurrentIndex(list->filter.index(0, 0));
            },
            Qt::QueuedConnection);
        list->endpoint.reportLevel = 0;
        list->pass.setOptions(QueryPass::Options::patient());
        connect(&list->pass, &QueryPass::serverUpdated, this, [list](int row) {
            if (static_cast<size_t>(row) < list->pass.results().size())
                list->model.applyReply(row, list->pass.results()[static_cast<size_t>(row)]);
        });
        connect(&list->filter, &QAbstractItemModel::dataChanged, this,
                [this, list](const QModelIndex& from, const QModelIndex& to) {
                    const QModelIndex current = listView->currentIndex();
                    if (shownList() == list && current.row() >= from.row() &&
                        current.row() <= to.row())
                        showPlayers();
                });
    }
    connect(&internet.pass, &QueryPass::finished, this, [this] {
        if (!internetRunning() && listTabs->currentIndex() == InternetTab)
            setStatus(internetStatus_);
    });
    connect(&master, &MasterList::serversAdded, this, [this](int first, int count) {
        std::vector<QueryPass::Server> asked;
        for (int i = first; i < first + count; ++i)
            asked.push_back(MasterList::queryPassServer(master.servers()[static_cast<size_t>(i)]));
        addInternetServers(asked);
    });
    connect(&webList, &SteamWebList::serversAdded, this, [this](int first, int count) {
        std::vector<QueryPass::Server> asked;
        for (int i = first; i < first + count; ++i) {
            const WebListedServer& w = webList.servers()[static_cast<size_t>(i)];
            QueryPass::Server q = MasterList::queryPassServer(w.query);
            if (w.gamePort)
                q.port = std::to_string(*w.gamePort);
            asked.push_back(q);
        }
        addInternetServers(asked);
    });
    const auto showInternetStatus = [this](const QString& text) {
        internetStatus_ = text;
        if (listTabs->currentIndex() == InternetTab)
            setStatus(text);
    };
    connect(&master, &MasterList::statusChanged, this, showInternetStatus);
    connect(&webList, &SteamWebList::statusChanged, this, showInternetStatus);
}

void ServerBrowser::addInternetServers(const std::vector<QueryPass::Server>& servers) {
    std::vector<ListedServer> rows;
    for (const QueryPass::Server& q : servers)
        rows.push_back(listed(q.host, q.port, q.queryPort));
    internet.model.append(std::move(rows));
    internet.pass.append(servers);
}

bool ServerBrowser::internetRunning() const {
    return master.isRunning() || webList.isRunning();
}

ServerBrowser::ServerList* ServerBrowser::shownList() {
    return listTabs->currentIndex() == InternetTab  ? &internet
           : listTabs->currentIndex() == HistoryTab ? &history
                                                    : nullptr;
}

const ServerBrowser::ServerList* ServerBrowser::shownList() const {
    return const_cast<ServerBrowser*>(this)->shownList();
}

const ListedServer* ServerBrowser::selectedListed() const {
    const ServerList* list = shownList();
    if (!list)
        return nullptr;
    const QModelIndex current = listView->currentIndex();
    if (!current.isValid())
        return nullptr;
    const int row = list->filter.mapToSource(current).row();
    return row >= 0 && row < list->model.size() ? &list->model.at(row) : nullptr;
}

void ServerBrowser::showTab(int tab) {
    ServerList* list = shownList();
    ui.serverGrid->setVisible(!list);
    listView->setVisible(list);
    if (list) {
        if (listView->model() != &list->filter) {
            listView->setModel(&list->filter);
            connect(listView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                    &ServerBrowser::showSelectedPlayers, Qt::UniqueConnection);
        }
        layoutColumns();
        if (!listView->currentIndex().isValid())
            listView->setCurrentIndex(list->filter.index(0, 0));
        if (tab == HistoryTab)
            guarded([&] { listHistory(); });
        else if (list->model.size() == 0 && !internetRunning())
            guarded([&] { listInternet(); });
        else
            setStatus(internetStatus_);
    } else {
        guarded([&] { queryServers(); }); // favourites added on the other tabs come in
    }
    showSelectedPlayers();
}

void ServerBrowser::listInternet() {
    const LauncherSettings& s = session_.state().settings;
    const std::string filter = masterFilter(appIdOf(s.masterAppId));
    master.stop();
    webList.stop();
    internet.model.clear();
    internet.pass.start({});
    if (!s.webApiKey.empty()) {
        SteamWebList::Options o;
        o.key = toQString(s.webApiKey);
        if (!s.webApiUrl.empty())
            o.baseUrl = toQString(s.webApiUrl);
        o.filter = filter;
        webList.setOptions(o);
        webList.start();
        return;
    }
    MasterList::Options o;
    if (!s.masterServer.empty())
        o.master = toQString(s.masterServer);
    o.filter = filter;
    master.setOptions(o);
    setStatus(internetStatus_ = QStringLiteral("Asking the master server for servers..."));
    master.start();
}

void ServerBrowser::listHistory() {
    listedHistory_ = historyText(session_.state().settings.history);
    std::vector<ListedServer> rows;
    std::vector<QueryPass::Server> asked;
    for (const ServerEntry& e : session_.state().settings.history) {
        rows.push_back(listed(e.host, e.port, e.queryPort, e.name));
        rows.back().portJoined = true;
        asked.emplace_back(e.host, e.port, e.queryPort);
    }
    history.model.clear();
    history.model.append(std::move(rows));
    history.pass.start(asked);
    setStatus(asked.empty() ? QStringLiteral("No server joined yet")
                            : QStringLiteral("Querying servers..."));
    connect(
        &history.pass, &QueryPass::finished, this,
        [this] {
            if (listTabs->currentIndex() == HistoryTab)
                setStatus(QStringLiteral("Ready"));
        },
        Qt::SingleShotConnection);
}

void ServerBrowser::joinListed(const ListedServer& server) {
    joinEntry(server.entry(), kTickedMods);
}

void ServerBrowser::remember(const ServerEntry& server) {
    session_.rememberJoined(server);
}

void ServerBrowser::addSelectedToFavourites() {
    if (const ListedServer* listed = selectedListed())
        guarded([&] { setStatus(session_.addFavourite(listed->entry())); });
}

void ServerBrowser::applyFilter() {
    ServerFilter f;
    f.text = filterEdit->text().trimmed();
    f.notFull = notFullBox->isChecked();
    f.notEmpty = notEmptyBox->isChecked();
    f.noPassword = noPasswordBox->isChecked();
    f.maxPing = pingBox->isChecked() ? pingLimitBox->value() : 0;
    filter_ = f;
    internet.filter.setFilter(f);
    history.filter.setFilter(f);
    for (int i = 0; i < ui.serverGrid->rowCount(); ++i)
        showFavouriteIfItPasses(i);
    showSelectedPlayers();
}
