#include "server_watcher.h"
#include "qt_text.h"

#include "alert_sink.h"
#include "error_handler.h"
#include "errors.h"
#include "form_activation.h"
#include "main_window.h"
#include "text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QStyle>

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

TFormWatcher::TFormWatcher(TForm1& main, AlertSink& alerts)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), main_(main), alerts_(alerts) {
    ui.setupUi(this);
    QFont bold = font();
    bold.setBold(true);
    for (QLabel* l : {ui.host, ui.status, ui.players, ui.mission}) {
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
    ui.SpeedButton1->setFont(tiny);
    QPalette grey = ui.SpeedButton1->palette();
    grey.setColor(QPalette::ButtonText, Qt::gray);
    ui.SpeedButton1->setPalette(grey);
    ui.BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui.LG2->setPixmap(QPixmap(QStringLiteral(":/lamp_off.png")));
    ui.LG->setPixmap(QPixmap(QStringLiteral(":/lamp_on.png")));
    ui.LR->setPixmap(QPixmap(QStringLiteral(":/lamp_red.png")));
    ui.LR->show();

    udps.setLocalPort(15020);
    udps.ReportLevel = 1;
    connect(&udps, &TNMUDP::OnDataReceived, this, &TFormWatcher::udpsDataReceived);

    Timer1.setInterval(500);
    connect(&Timer1, &QTimer::timeout, this, &TFormWatcher::Timer1Timer);
    Timer1.start();
    Timer2.setInterval(5000);
    connect(&Timer2, &QTimer::timeout, this, [this] { guarded([&] { UpdateStatus(); }); });

    connect(ui.SpeedButton1, &QToolButton::clicked, this, &TFormWatcher::ToggleWindow);
    connect(ui.BitBtn1, &QPushButton::clicked, this, &QWidget::close);
    connect(ui.BitBtn2, &QPushButton::clicked, this, &TFormWatcher::BitBtn2Click);
    new FormActivation(this, [this] { FormActivate(); });

    setFixedSize(kLarge);
    ToggleWindow(); // starts small
}

TFormWatcher::~TFormWatcher() = default;

void TFormWatcher::watch(QWidget* opener, const QString& host, const std::string& port,
                         std::function<void()> join) {
    uint16_t number = 0;
    if (!tryParsePort(port, number))
        throw ConvertError(port);
    main_.hide();
    if (opener)
        opener->hide();
    join_ = std::move(join);
    show();
    raise();
    udps.RemoteHost = host;
    udps.RemotePort = number;
    Timer2.start();
    UpdateStatus();
}

void TFormWatcher::UpdateStatus() {
    ui.host->setText(udps.RemoteHost + QLatin1Char(':') + QString::number(udps.RemotePort));
    watcherQuerySent(state);
    ui.playerList->setRowCount(0);
    watched_.reset();
    try {
        const QByteArray request(reinterpret_cast<const char*>(StatusRequest.data()),
                                 static_cast<int>(StatusRequest.size()));
        udps.SendDatagram(request, request.size(), [this](const QHostAddress& to, quint16 port) {
            watched_ = std::make_pair(to.toString(), static_cast<int>(port));
        });
    } catch (const std::exception&) {
        // Not reachable now; the next poll tries again.
    }
}

void TFormWatcher::udpsDataReceived(int NumberBytes, const QString& FromIP, int Port) {
    if (NumberBytes <= 0 || !watched_ || watched_->first != FromIP || watched_->second != Port)
        return;
    ui.playerList->setColumnWidth(0, 70);
    ui.playerList->setColumnWidth(1, 100);
    const QByteArray data = udps.ReadLastDatagram();
    ServerStatusReply reply;
    std::optional<ConvertError> failure;
    try {
        ParseStatusReply(reinterpret_cast<const uint8_t*>(data.constData()),
                         static_cast<size_t>(data.size()), reply);
    } catch (const ConvertError& e) {
        failure = e;
    }
    const WatcherUpdate u = applyWatcherReply(state, reply, !failure);
    if (u.status) {
        ui.status->setText(qs(*u.status));
        setColour(ui.status, u.statusColour);
    }
    if (u.redLamp)
        ui.LR->setVisible(*u.redLamp);
    if (u.mission) {
        ui.mission->setText(qs(*u.mission));
        setColour(ui.mission, u.missionColour);
    }
    for (const auto& [name, score] : u.rows) {
        const int r = ui.playerList->rowCount();
        ui.playerList->insertRow(r);
        ui.playerList->setItem(r, 0, new QTableWidgetItem(qs(name)));
        ui.playerList->setItem(r, 1, new QTableWidgetItem(qs(score)));
    }
    if (failure) {
        reportError(*failure);
        return;
    }
    if (u.players) {
        ui.players->setText(qs(*u.players));
        setColour(ui.players, u.playersColour);
    }
    const LauncherSettings& s = main_.state().settings;
    if (u.newGameAlert)
        alert(s.sound1);
    if (u.playerJoinedAlert)
        alert(s.sound2);
}

void TFormWatcher::alert(const std::string& soundFile) {
    const LauncherSettings& s = main_.state().settings;
    // A tool window counts as active whenever the program is; the focus says where the user is.
    if (s.flash && QApplication::activeWindow() != this)
        alerts_.flash(this);
    if (s.watchers == 1)
        alerts_.playDefaultSound();
    else if (s.watchers == 2 && !alerts_.playFile(qs(soundFile)))
        alerts_.systemSound();
}

void TFormWatcher::Timer1Timer() {
    ui.LG->setVisible(!ui.LG->isVisible());
}

void TFormWatcher::FormActivate() {
    ui.playerList->setRowCount(0);
}

void TFormWatcher::BitBtn2Click() {
    if (join_)
        guarded([&] { join_(); });
    close();
}

void TFormWatcher::ToggleWindow() {
    const bool large = frameGeometry().width() > 300;
    ui.SpeedButton1->move(large ? QPoint(210, 77) : QPoint(306, 133));
    ui.SpeedButton1->setText(large ? QStringLiteral("More >>") : QStringLiteral("<< Less"));
    ui.Bevel1->resize(large ? QSize(241, 81) : QSize(337, 137));
    for (QWidget* w : {static_cast<QWidget*>(ui.Label4), static_cast<QWidget*>(ui.mission),
                       static_cast<QWidget*>(ui.playerList)})
        w->setVisible(!large);
    setFixedSize(large ? kSmall : kLarge);
    placeAnchored();
}

void TFormWatcher::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeAnchored();
}

void TFormWatcher::placeAnchored() {
    // The buttons keep their distance from the bottom, the lamps also from the right.
    const int dy = height() - kLarge.height();
    const int dx = width() - kLarge.width();
    ui.BitBtn1->move(16, 156 + dy);
    ui.BitBtn2->move(120, 156 + dy);
    for (QLabel* lamp : {ui.LG2, ui.LG, ui.LR})
        lamp->move(317 + dx, 158 + dy);
}

void TFormWatcher::closeEvent(QCloseEvent* event) {
    Timer2.stop();
    state.lastState = 0;
    main_.show();
    if (browser_)
        browser_->show();
    event->accept();
}
