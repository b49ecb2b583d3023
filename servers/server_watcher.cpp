#include "server_watcher.h"
#include "qt_text.h"

#include "alert_sink.h"
#include "error_handler.h"
#include "errors.h"
#include "form_keys.h"
#include "main_window.h"
#include "reload_on_activation.h"
#include "text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QStyle>
#include <QWindow>

using namespace quorvale;

namespace {
// The large layout's client size; the small one is 97 x 59 pixels less.
constexpr QSize kLarge(356, 188);
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

ServerWatcher::ServerWatcher(MainWindow& main, AlertSink& alerts)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint), main_(main), alerts_(alerts) {
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

    endpoint.setLocalPort(main_.context().watcherPort);
    endpoint.reportLevel = 1;
    // Only the watched server is heard; anything else at the port is dropped unread.
    endpoint.setSenderFilter([this](const QHostAddress& from, quint16 port) {
        return (watched_ && watched_->first == from && watched_->second == port) ||
               (steamTo_ && *steamTo_ == from && steamPort_ == port);
    });
    connect(&endpoint, &UdpEndpoint::dataReceived, this, &ServerWatcher::processReply);

    blinkTimer.setInterval(500);
    connect(&blinkTimer, &QTimer::timeout, this, &ServerWatcher::blinkLamp);
    blinkTimer.start();
    pollTimer.setInterval(5000);
    connect(&pollTimer, &QTimer::timeout, this, [this] { guardedLater([&] { updateStatus(); }); });

    connect(ui.moreButton, &QToolButton::clicked, this, &ServerWatcher::toggleDetails);
    connect(ui.closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(ui.joinButton, &QPushButton::clicked, this, &ServerWatcher::joinWatched);
    new ReloadOnActivation(this, [this] { refreshFields(); });

    setFixedSize(kLarge);
    toggleDetails(); // starts small
}

ServerWatcher::~ServerWatcher() = default;

void ServerWatcher::watch(QWidget* opener, const QString& host, const std::string& port,
                          std::function<void()> join, const std::string& queryPort,
                          QueryPass::Protocol answered) {
    uint16_t number = 0;
    if (!tryParsePort(port, number))
        throw LauncherError(badPortMessage(port));
    // A bad query port is told by the browser; the game port is still asked.
    steamPort_ = a2sQueryPort(port, queryPort).value_or(0);
    answered_ = answered;
    pollAnswered_ = answered;
    challenge_.reset();
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
    }
    // Shown again where they were: a window manager places a window that comes back anew.
    hidden_.clear();
    for (QWidget* w : {static_cast<QWidget*>(&main_), opener})
        if (w && w->isVisible())
            hidden_.emplace_back(w,
                                 w->geometry().topLeft()); // the frame's size may be unknown later
    main_.hide();
    if (opener)
        opener->hide();
    join_ = std::move(join);
    show();
    raise();
    watched_.reset();
    steamTo_.reset();
    steam_.reset();
    endpoint.remoteHost = host;
    endpoint.remotePort = number;
    pollTimer.start();
    updateStatus();
}

void ServerWatcher::updateStatus() {
    ui.watchedHostLabel->setText(endpoint.remoteHost + QLatin1Char(':') +
                                 QString::number(endpoint.remotePort));
    // A Steam reply without its player list still tells the state: it counts before the next
    // query.
    if (steam_ && steam_->hasInfo())
        showReply(steam_->reply(), std::nullopt);
    steam_.reset();
    watcherQuerySent(state);
    ui.playerList->setRowCount(0);
    const bool both = pollAnswered_ == QueryPass::Protocol::None;
    pollAnswered_ = QueryPass::Protocol::None;
    const int poll = ++poll_;
    if (both || answered_ == QueryPass::Protocol::GameSpy) {
        try {
            const QByteArray request(reinterpret_cast<const char*>(StatusRequest.data()),
                                     static_cast<int>(StatusRequest.size()));
            endpoint.sendDatagram(request, request.size(),
                                  [this](const QHostAddress& to, quint16 port) {
                                      watched_ = std::make_pair(to, port);
                                  });
        } catch (const std::exception&) {
            // Not reachable now; the next poll tries again.
        }
    }
    if ((both || answered_ == QueryPass::Protocol::A2s) && steamPort_ != 0)
        endpoint.lookUp(
            endpoint.remoteHost,
            [this, poll](const QHostAddress& to) {
                if (poll == poll_)
                    askSteam(to);
            },
            [](const QString&) {});
}

void ServerWatcher::askSteam(const QHostAddress& to) {
    steamTo_ = to;
    steam_.emplace(challenge_);
    for (const auto& d : steam_->start().send)
        endpoint.sendDatagramTo(d, to, steamPort_);
}

void ServerWatcher::processReply(int byteCount, const QString&, int) {
    if (byteCount <= 0)
        return;
    ui.playerList->setColumnWidth(0, 70);
    ui.playerList->setColumnWidth(1, 100);
    const QByteArray bytes = endpoint.readLastDatagram();
    if (isA2sDatagram(reinterpret_cast<const uint8_t*>(bytes.constData()),
                      static_cast<size_t>(bytes.size()))) {
        steamReply(bytes);
        return;
    }
    ServerStatusReply reply;
    std::optional<LauncherError> failure;
    try {
        parseStatusReply(reinterpret_cast<const uint8_t*>(bytes.constData()),
                         static_cast<size_t>(bytes.size()), reply);
    } catch (const ConvertError& e) {
        failure = e;
    }
    // A server that answers both ways is shown once a poll, by the query that answered first.
    if (pollAnswered_ == QueryPass::Protocol::A2s)
        return;
    answered_ = pollAnswered_ = QueryPass::Protocol::GameSpy;
    showReply(reply, failure);
}

void ServerWatcher::steamReply(const QByteArray& bytes) {
    if (!steam_ || !steamTo_ || pollAnswered_ == QueryPass::Protocol::GameSpy)
        return; // late, or the GameSpy query answered this poll
    const A2sQuery::Step step = steam_->accept(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                               static_cast<size_t>(bytes.size()));
    if (steam_->challenge())
        challenge_ = steam_->challenge();
    for (const auto& d : step.send)
        endpoint.sendDatagramTo(d, *steamTo_, steamPort_);
    if (steam_->hasInfo())
        answered_ = pollAnswered_ = QueryPass::Protocol::A2s;
    if (!step.error && !steam_->done())
        return;
    const ServerStatusReply reply = steam_->reply();
    steam_.reset();
    showReply(reply, step.error ? std::optional(LauncherError(*step.error)) : std::nullopt);
}

void ServerWatcher::showReply(const ServerStatusReply& reply,
                              const std::optional<LauncherError>& failure) {
    const WatcherUpdate u = applyWatcherReply(state, reply, !failure);
    if (u.status) {
        ui.statusLabel->setText(qs(*u.status));
        setColour(ui.statusLabel, u.statusColour);
    }
    if (u.redLamp)
        ui.redLamp->setVisible(*u.redLamp);
    if (u.mission) {
        ui.missionLabel->setText(qs(*u.mission));
        setColour(ui.missionLabel, u.missionColour);
    }
    for (const auto& [name, score] : u.rows) {
        const int r = ui.playerList->rowCount();
        ui.playerList->insertRow(r);
        ui.playerList->setItem(r, 0, new QTableWidgetItem(qs(name)));
        ui.playerList->setItem(r, 1, new QTableWidgetItem(qs(score)));
    }
    if (failure) {
        // Shown once this handler has returned: a box open here would stop the socket.
        reportErrorLater(*failure);
        return;
    }
    if (u.players) {
        ui.playersLabel->setText(qs(*u.players));
        setColour(ui.playersLabel, u.playersColour);
    }
    const LauncherSettings& s = main_.state().settings;
    if (u.newGameAlert)
        alert(s.sound1);
    if (u.playerJoinedAlert)
        alert(s.sound2);
}

void ServerWatcher::alert(const std::string& soundFile) {
    const LauncherSettings& s = main_.state().settings;
    // Flash only when the player is elsewhere: in another window or another program.
    if (s.flash && QApplication::activeWindow() != this)
        alerts_.flash(this);
    if (s.watchers == 1)
        alerts_.playDefaultSound();
    else if (s.watchers == 2 && !alerts_.playFile(qs(soundFile)))
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
    ui.moreButton->move(large ? QPoint(210, 77) : QPoint(306, 133));
    ui.moreButton->setText(large ? QStringLiteral("More >>") : QStringLiteral("<< Less"));
    ui.bevel->resize(large ? QSize(241, 81) : QSize(337, 137));
    for (QWidget* w :
         {static_cast<QWidget*>(ui.missionCaption), static_cast<QWidget*>(ui.missionLabel),
          static_cast<QWidget*>(ui.playerList)})
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
    ui.closeButton->move(16, 156 + dy);
    ui.joinButton->move(120, 156 + dy);
    for (QLabel* lamp : {ui.lampBase, ui.greenLamp, ui.redLamp})
        lamp->move(317 + dx, 158 + dy);
}

void ServerWatcher::closeEvent(QCloseEvent* event) {
    pollTimer.stop();
    state.lastState = 0;
    // A move to where it already is would change nothing: the window itself is told, so that
    // it asks the window manager for that place.
    for (const auto& [w, at] : hidden_)
        if (w && w->windowHandle())
            w->windowHandle()->setPosition(at);
    hidden_.clear();
    main_.show();
    if (browser_)
        browser_->show();
    event->accept();
}
