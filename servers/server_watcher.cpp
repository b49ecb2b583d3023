#include "server_watcher.h"
#include "qt_text.h"

#include "alert_sink.h"
#include "error_handler.h"
#include "errors.h"
#include "form_keys.h"
#include "launcher_session.h"
#include "reload_on_activation.h"
#include "server_mods_view.h"
#include "text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QShortcut>
#include <QStyle>
#include <QWindow>

using namespace quorvale;

namespace {
// The large layout's client size, the server's mods at its bottom; the small one is 97 x 131
// pixels less.
constexpr int kModsHeight = 72;
constexpr QSize kLarge(356, 188 + kModsHeight);
constexpr QSize kSmall(259, 129);

QColor colourOf(LabelColour c) {
    return c == LabelColour::Green ? QColor(0, 128, 0) : QColor(128, 0, 0);
}

void setColour(QLabel* label, LabelColour c) {
    if (c == LabelColour::Keep)
        return;
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colourOf(c));
    label->setPalette(p);
}

} // namespace

ServerWatcher::ServerWatcher(LauncherSession& session, AlertSink& alerts)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint), pass(endpoint), session_(session),
      alerts_(alerts) {
    // A window of its own with a taskbar entry: the main window is hidden while it watches,
    // and its alert must land on something the taskbar shows.
    ui.setupUi(this);
    applyFormKeys(this, ui.joinButton);
    QFont bold = font();
    bold.setBold(true);
    for (QLabel* l : {ui.watchedHostLabel, ui.statusLabel, ui.playersLabel, ui.missionLabel}) {
        l->setFont(bold);
        setColour(l, LabelColour::Maroon);
    }
    QFont small = font();
    small.setPixelSize(9);
    ui.playerList->setFont(small);
    ui.playerList->setTabKeyNavigation(false);
    ui.playerList->verticalHeader()->setMinimumSectionSize(1);
    ui.playerList->verticalHeader()->setDefaultSectionSize(14);
    ui.playerList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QPalette face = ui.playerList->palette();
    face.setColor(QPalette::Base, palette().color(QPalette::Button));
    ui.playerList->setPalette(face);
    QFont tiny = font();
    tiny.setPixelSize(8);
    ui.moreButton->setFont(tiny);
    QPalette grey = ui.moreButton->palette();
    grey.setColor(QPalette::ButtonText, Qt::gray);
    ui.moreButton->setPalette(grey);
    ui.closeButton->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    ui.joinButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui.lampBase->setPixmap(QPixmap(QStringLiteral(":/lamp_off.png")));
    ui.greenLamp->setPixmap(QPixmap(QStringLiteral(":/lamp_on.png")));
    ui.redLamp->setPixmap(QPixmap(QStringLiteral(":/lamp_red.png")));
    ui.redLamp->show();
    modsView = new ServerModsView(session_, this);
    modsView->setGeometry(16, 136, 326, kModsHeight - 4);
    modsView->setFont(small);
    modsView->horizontalHeader()->hide();
    modsView->verticalHeader()->setDefaultSectionSize(14);

    endpoint.setLocalPort(session_.context().watcherPort);
    endpoint.reportLevel = 1;
    // The pass hears only the watched server; anything else at the port is dropped unread.
    connect(&pass, &QueryPass::serverUpdated, this, &ServerWatcher::answerArrived);

    blinkTimer.setInterval(500);
    connect(&blinkTimer, &QTimer::timeout, this, &ServerWatcher::blinkLamp);
    blinkTimer.start();
    pollTimer.setInterval(5000);
    connect(&pollTimer, &QTimer::timeout, this, [this] { guardedLater([&] { updateStatus(); }); });

    connect(ui.moreButton, &QToolButton::clicked, this, &ServerWatcher::toggleDetails);
    connect(ui.closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
    connect(ui.joinButton, &QPushButton::clicked, this, &ServerWatcher::joinWatched);
    new ReloadOnActivation(this, [this] { refreshFields(); });

    setFixedSize(kLarge);
    toggleDetails(); // starts small
}

ServerWatcher::~ServerWatcher() = default;

void ServerWatcher::watch(QWidget* opener, const QString& host, const std::string& port,
                          std::function<void()> join, const std::string& queryPort,
                          QueryPass::Protocol answered) {
    const uint16_t number = portNumber(port);
    // A bad query port is told by the browser; the game port is still asked.
    server_ = QueryPass::Server(host.toStdString(), port, queryPort);
    answered_ = answered;
    lastPollAnswered_ = answered;
    errorTold_ = false;
    // Another server: nothing of the one watched before stays on the face.
    if (watchedKey_ != std::make_pair(host, port)) {
        watchedKey_ = {host, port};
        state = WatcherState();
        ui.statusLabel->setText(QStringLiteral("Waiting status..."));
        ui.playersLabel->setText(QStringLiteral("?/?"));
        ui.missionLabel->setText(QStringLiteral("none"));
        for (QLabel* l : {ui.statusLabel, ui.playersLabel, ui.missionLabel})
            setColour(l, LabelColour::Maroon);
        ui.redLamp->show();
        ui.playerList->setRowCount(0);
        rulesAsked_ = modsShown_ = false;
        modsView->showText(QStringLiteral("asking..."));
    }
    // Shown again where they were: a window manager places a window that comes back anew.
    hidden_.clear();
    for (QWidget* w : {mainWindow_, opener})
        if (w && w->isVisible())
            hidden_.emplace_back(w,
                                 w->geometry().topLeft()); // the frame's size may be unknown later
    if (mainWindow_)
        mainWindow_->hide();
    if (opener)
        opener->hide();
    join_ = std::move(join);
    show();
    raise();
    ui.joinButton->setFocus(); // Enter joins
    shown_ = true;             // nothing of an earlier watch is left to show
    endpoint.remoteHost = host;
    endpoint.remotePort = number;
    pollTimer.start();
    updateStatus();
}

void ServerWatcher::updateStatus() {
    ui.watchedHostLabel->setText(endpoint.remoteHost + QLatin1Char(':') +
                                 QString::number(endpoint.remotePort));
    // A Steam answer without its player list still tells the state: it counts before the next
    // query.
    if (!shown_ && !pass.results().empty()) {
        const QueryPass::Result& r = pass.results().front();
        if (r.outcome == QueryPass::Outcome::Answered && r.protocol == QueryPass::Protocol::A2s)
            showReply(r.reply, std::nullopt);
    }
    watcherQuerySent(state);
    ui.playerList->setRowCount(0);
    // Both ways until one answers, and again after a poll that nothing answered.
    const bool both = lastPollAnswered_ == QueryPass::Protocol::None;
    lastPollAnswered_ = QueryPass::Protocol::None;
    shown_ = false;
    QueryPass::Options options;
    options.gameSpy = both || answered_ == QueryPass::Protocol::GameSpy;
    options.a2s = both || answered_ == QueryPass::Protocol::A2s;
    options.timeoutMs = pollTimer.interval(); // a late answer still counts until the next poll
    if (rulesAsked_ && !modsShown_)
        modsView->showMods(std::nullopt);
    options.rules = !std::exchange(rulesAsked_, true);
    pass.setOptions(options);
    pass.start({server_});
}

void ServerWatcher::answerArrived() {
    const QueryPass::Result& r = pass.results().front();
    // Not reachable now (no such host, no address): the next poll tries again.
    if (r.outcome != QueryPass::Outcome::Answered)
        return;
    ui.playerList->setColumnWidth(0, 70);
    ui.playerList->setColumnWidth(1, 100);
    answered_ = lastPollAnswered_ = r.protocol;
    if (r.reply.mods && !modsShown_) {
        modsShown_ = true;
        modsView->showMods(r.reply.mods);
    }
    const std::optional<LauncherError> failure =
        r.error.empty() ? std::nullopt : std::optional(LauncherError(r.error));
    // A Steam answer is shown once its player list is in too.
    if (r.protocol == QueryPass::Protocol::A2s && !r.complete && !failure)
        return;
    showReply(r.reply, failure);
}

void ServerWatcher::showReply(const ServerStatusReply& reply,
                              const std::optional<LauncherError>& failure) {
    shown_ = true;
    const WatcherUpdate u = applyWatcherReply(state, reply, !failure);
    if (u.status) {
        ui.statusLabel->setText(toQString(*u.status));
        setColour(ui.statusLabel, u.statusColour);
    }
    if (u.redLamp)
        ui.redLamp->setVisible(*u.redLamp);
    if (u.mission) {
        ui.missionLabel->setText(serverText(*u.mission));
        setColour(ui.missionLabel, u.missionColour);
    }
    ui.playerList->setRowCount(0); // an answer that came twice lists its players once
    for (const auto& [name, score] : u.rows) {
        const int r = ui.playerList->rowCount();
        ui.playerList->insertRow(r);
        ui.playerList->setItem(r, 0, new QTableWidgetItem(serverText(name)));
        ui.playerList->setItem(r, 1, new QTableWidgetItem(toQString(score)));
    }
    if (failure) {
        // The watcher says it meanwhile; a box tells it once a server, and again only after
        // a good answer. It is shown once this handler has returned: a box open here would
        // stop the socket.
        ui.statusLabel->setText(toQString(failure->what()));
        setColour(ui.statusLabel, LabelColour::Maroon);
        if (!errorTold_)
            reportErrorLater(*failure);
        errorTold_ = true;
        return;
    }
    errorTold_ = false;
    if (u.players) {
        ui.playersLabel->setText(toQString(*u.players));
        setColour(ui.playersLabel, u.playersColour);
    }
    const LauncherSettings& s = session_.state().settings;
    if (u.newGameAlert)
        alert(s.newGameSound);
    if (u.playerJoinedAlert)
        alert(s.playersBackSound);
}

void ServerWatcher::alert(const std::string& soundFile) {
    const LauncherSettings& s = session_.state().settings;
    // Flash only when the player is elsewhere: in another window or another program.
    if (s.flashTaskbar && QApplication::activeWindow() != this)
        alerts_.flash(this);
    if (s.alertSound == AlertSound::Default)
        alerts_.playDefaultSound();
    else if (s.alertSound == AlertSound::Files && !alerts_.playFile(toQString(soundFile)))
        alerts_.systemSound();
}

void ServerWatcher::blinkLamp() {
    ui.greenLamp->setVisible(!ui.greenLamp->isVisible());
}

void ServerWatcher::refreshFields() {
    ui.playerList->setRowCount(0);
}

void ServerWatcher::joinWatched() {
    if (join_)
        guarded([&] { join_(); });
    close();
}

void ServerWatcher::toggleDetails() {
    const bool large = frameGeometry().width() > 300;
    ui.moreButton->move(large ? QPoint(210, 77) : QPoint(306, 133 + kModsHeight));
    ui.moreButton->setText(large ? QStringLiteral("More >>") : QStringLiteral("<< Less"));
    ui.bevel->resize(large ? QSize(241, 81) : QSize(337, 137 + kModsHeight));
    for (QWidget* w :
         {static_cast<QWidget*>(ui.missionCaption), static_cast<QWidget*>(ui.missionLabel),
          static_cast<QWidget*>(ui.playerList), static_cast<QWidget*>(modsView)})
        w->setVisible(!large);
    setFixedSize(large ? kSmall : kLarge);
    placeAnchored();
}

void ServerWatcher::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeAnchored();
}

void ServerWatcher::placeAnchored() {
    // The buttons keep their distance from the bottom, the lamps also from the right.
    const int dy = height() - kLarge.height();
    const int dx = width() - kLarge.width();
    ui.closeButton->move(16, 156 + kModsHeight + dy);
    ui.joinButton->move(120, 156 + kModsHeight + dy);
    for (QLabel* lamp : {ui.lampBase, ui.greenLamp, ui.redLamp})
        lamp->move(317 + dx, 158 + kModsHeight + dy);
}

void ServerWatcher::closeEvent(QCloseEvent* event) {
    pollTimer.stop();
    state.phase = WatcherPhase::Unknown;
    // A move to where it already is would change nothing: the window itself is told, so that
    // it asks the window manager for that place.
    for (const auto& [w, at] : hidden_)
        if (w && w->windowHandle())
            w->windowHandle()->setPosition(at);
    hidden_.clear();
    if (mainWindow_)
        mainWindow_->show();
    if (browser_)
        browser_->show();
    event->accept();
}
