#include "server_browser.h"
#include "qt_text.h"

#include "command_line.h"
#include "error_handler.h"
#include "form_activation.h"
#include "main_window.h"
#include "server_watcher.h"
#include "text.h"

#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QStyle>
#include <cmath>

using namespace quorvale;

namespace {
// The millisecond tick a server's query time is kept in: 32 bits, wrapping.
uint32_t tickOf(qint64 ns) {
    return static_cast<uint32_t>(static_cast<uint64_t>(ns / 1'000'000));
}
} // namespace

TForm4::TForm4(TForm1& main) : QMainWindow(nullptr), pass(udps), main_(main) {
    ui.setupUi(this);
    status_ = new QLabel(QStringLiteral("Ready"));
    ui.StatusBar1->addWidget(status_, 1);
    ui.BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    ui.BitBtn3->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    for (QTableWidget* g : {ui.SGrid, ui.PlrGrid}) {
        g->verticalHeader()->setMinimumSectionSize(1);
        g->verticalHeader()->setDefaultSectionSize(16);
        g->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        g->horizontalHeader()->setMinimumSectionSize(10);
    }
    ui.SGrid->horizontalHeader()->setFixedHeight(18);
    ui.SGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui.Splitter1->setSizes({177, 289 - 177 - 3});
    QFont small = font();
    small.setPixelSize(9);
    ui.GroupBox2->setFont(small);
    QFont normal = font();
    normal.setPixelSize(normal.pixelSize() > 0 ? normal.pixelSize() : 11); // set, not inherited
    ui.PlayerName->setFont(normal);

    // FormCreate: the main window's player names, once.
    for (int i = 0; i < main_.ui.PlayerName->count(); ++i)
        ui.PlayerName->addItem(main_.ui.PlayerName->itemText(i));
    ui.PlayerName->setEditText(main_.ui.PlayerName->currentText());

    udps.setLocalPort(15015);
    udps.ReportLevel = 1;
    // The pass has applied the datagram by the time this runs.
    connect(&pass, &QueryPass::serverUpdated, this, &TForm4::serverUpdated);
    connect(&udps, &TNMUDP::OnDataReceived, this, [this](int bytes) {
        setStatus(QStringLiteral("Receiving data..."));
        if (bytes >= 1 && replyError_.isEmpty())
            setStatus(QStringLiteral("Ready"));
        replyError_.clear();
    });
    connect(&udps, &TNMUDP::OnInvalidHost, this,
            [this](bool&) { setStatus(QStringLiteral("Invalid Host error occured.")); });
    connect(&udps, &TNMUDP::OnBufferInvalid, this, [this](bool&, QByteArray&, int&) {
        setStatus(QStringLiteral("Buffer invalid error occured."));
    });

    Timer1.setInterval(500);
    Timer1.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &TForm4::Timer1Timer);
    Timer2.setInterval(500);
    Timer2.setSingleShot(true);
    connect(&Timer2, &QTimer::timeout, this, &TForm4::Timer2Timer);

    connect(ui.BitBtn1, &QPushButton::clicked, this, &TForm4::BitBtn1Click);
    connect(ui.BitBtn2, &QPushButton::clicked, this, &TForm4::BitBtn2Click);
    connect(ui.BitBtn3, &QPushButton::clicked, this, &TForm4::BitBtn3Click);
    connect(ui.SGrid, &QTableWidget::currentCellChanged, this, &TForm4::SGridClick);
    new FormActivation(this, [this] { FormActivate(); });

    ui.SGrid->setRowCount(0);
    updateButtons();
    LayoutColumns();
}

TForm4::~TForm4() = default;

void TForm4::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // Panel1 follows all four sides, the buttons and the player box the bottom.
    const int dx = width() - 500;
    const int dy = height() - 378;
    ui.Panel1->resize(481 + dx, 289 + dy);
    ui.Splitter1->resize(ui.Panel1->size());
    for (QWidget* b : {static_cast<QWidget*>(ui.BitBtn1), static_cast<QWidget*>(ui.BitBtn2),
                       static_cast<QWidget*>(ui.BitBtn3)})
        b->move(b->x(), 319 + dy);
    ui.GroupBox2->move(352, 311 + dy);
    LayoutColumns();
}

void TForm4::LayoutColumns() {
    const int width = ui.SGrid->width();
    const int w = static_cast<int>(std::lround((width - 98) / 3.0));
    const int widths[] = {w, w, 30, 50, w + 10};
    for (int c = 0; c < 5; ++c)
        ui.SGrid->setColumnWidth(c, widths[c]);
    ui.PlrGrid->setColumnWidth(0, 150);
    ui.PlrGrid->setColumnWidth(1, ui.PlrGrid->width() - 150);
}

void TForm4::FormActivate() {
    LayoutColumns();
    Timer2.start();
}

void TForm4::Timer2Timer() {
    Timer2.stop();
    guarded([&] { QueryServers(); });
}

void TForm4::BitBtn2Click() {
    LayoutColumns();
    guarded([&] { QueryServers(); });
}

void TForm4::Timer1Timer() {
    ui.BitBtn2->setEnabled(true);
    Timer1.stop();
    ShowPlayers();
}

void TForm4::QueryServers() {
    setStatus(QStringLiteral("Querying servers..."));
    ui.BitBtn2->setEnabled(false);
    ServerTable& t = main_.state().servers;
    const int keep = selectedSlot();
    ui.SGrid->setUpdatesEnabled(false); // one repaint for the whole list
    ui.SGrid->setRowCount(t.count());
    std::vector<QueryPass::Server> servers;
    for (int i = 0; i <= t.lastIndex; ++i) {
        t.queryTick[i] = 0;
        t.resolvedIp[i].clear();
        t.playerCount[i] = 0;
        if (t.playerName[i].empty())
            t.playerName[i].resize(1);
        t.playerName[i][0] = "no players";
        setCell(i, 0, qs(t.name[i]));
        setCell(i, 1, qs(t.ip[i] + ":" + t.port[i]));
        setCell(i, 2, QStringLiteral("??"));
        setCell(i, 3, QStringLiteral(" "));
        setCell(i, 4, QStringLiteral(" "));
        servers.push_back({t.ip[i], t.port[i]});
    }
    ui.SGrid->setUpdatesEnabled(true);
    if (keep < 0 && t.count() > 0)
        ui.SGrid->setCurrentCell(0, 0);
    updateButtons();
    connect(
        &pass, &QueryPass::sendsDone, this,
        [this] {
            if (!passError_.isEmpty())
                setStatus(passError_);
            setStatus(QStringLiteral("Query done..."));
            Timer1.start();
        },
        Qt::SingleShotConnection);
    passError_.clear();
    pass.start(servers);
}

void TForm4::serverUpdated(int slot) {
    ServerTable& t = main_.state().servers;
    if (slot > t.lastIndex)
        return;
    const QueryPass::Result& r = pass.results()[static_cast<size_t>(slot)];
    uint16_t port = 0;
    if (r.outcome == QueryPass::Outcome::Failed && !tryParsePort(t.port[slot], port)) {
        // A port that is no number: this row only; the pass goes on.
        setCell(slot, 2, QStringLiteral("bad port"));
        passError_ = qs(r.error);
        setStatus(passError_);
        return;
    }
    if (r.outcome != QueryPass::Outcome::Answered)
        return;
    t.resolvedIp[slot] = r.resolvedIp;
    t.queryTick[slot] = tickOf(r.sentNs);
    setCell(slot, 2, QString::number(tickOf(r.replyNs) - t.queryTick[slot]));
    const ServerStatusReply& reply = r.reply;
    if (reply.mission)
        setCell(slot, 4, qs(*reply.mission));
    for (const StatusPlayer& p : reply.players) {
        const auto k = static_cast<size_t>(t.playerCount[slot]);
        if (k >= static_cast<size_t>(TableCapacity))
            break;
        if (t.playerName[slot].size() <= k)
            t.playerName[slot].resize(k + 1);
        t.playerName[slot][k] = p.name;
        if (p.score) {
            if (t.playerScore[slot].size() <= k)
                t.playerScore[slot].resize(k + 1);
            t.playerScore[slot][k] = *p.score;
        }
        ++t.playerCount[slot];
    }
    if (!r.error.empty()) {
        replyError_ = qs(r.error);
        setStatus(replyError_);
    } else if (reply.numPlayers) {
        setCell(slot, 3, qs(*reply.numPlayers + "/" + reply.slots.value_or("??")));
    }
    if (slot == selectedSlot())
        ShowPlayers();
}

void TForm4::ShowPlayers() {
    const ServerTable& t = main_.state().servers;
    const int s = selectedSlot();
    if (s < 0 || s > t.lastIndex) {
        ui.PlrGrid->setRowCount(0);
        return;
    }
    const int rows = std::max(t.playerCount[s], 1);
    ui.PlrGrid->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        const auto k = static_cast<size_t>(r);
        const auto& names = t.playerName[s];
        const auto& scores = t.playerScore[s];
        ui.PlrGrid->setItem(r, 0,
                            new QTableWidgetItem(k < names.size() ? qs(names[k]) : QString()));
        ui.PlrGrid->setItem(r, 1,
                            new QTableWidgetItem(k < scores.size() ? qs(scores[k]) : QString()));
    }
}

int TForm4::selectedSlot() const {
    const int row = ui.SGrid->currentRow();
    return row >= 0 && row < ui.SGrid->rowCount() && row <= main_.state().servers.lastIndex ? row
                                                                                            : -1;
}

void TForm4::SGridClick() {
    updateButtons();
    ShowPlayers();
}

void TForm4::BitBtn1Click() {
    guarded([&] { joinSlot(selectedSlot()); });
}

void TForm4::joinSlot(int slot) {
    const ServerTable& t = main_.state().servers;
    if (slot < 0 || slot > t.lastIndex)
        return;
    main_.LaunchOFP(browserJoinConnect(t, slot, ui.PlayerName->currentText().toStdString()), slot);
}

void TForm4::BitBtn3Click() {
    guarded([&] {
        const int s = selectedSlot();
        const ServerTable& t = main_.state().servers;
        if (s < 0 || s > t.lastIndex || !watcher_)
            return;
        watcher_->watch(this, qs(t.ip[s]), t.port[s], [this, s] { joinSlot(s); });
    });
}

void TForm4::setStatus(const QString& text) {
    status_->setText(text);
    Q_EMIT statusShown(text);
}

QString TForm4::statusText() const {
    return status_->text();
}

void TForm4::setCell(int row, int column, const QString& text) {
    if (QTableWidgetItem* item = ui.SGrid->item(row, column))
        item->setText(text);
    else
        ui.SGrid->setItem(row, column, new QTableWidgetItem(text));
}

void TForm4::updateButtons() {
    const bool any = selectedSlot() >= 0;
    ui.BitBtn1->setEnabled(any);
    ui.BitBtn3->setEnabled(any);
}
