#include "main_window.h"
#include "qt_text.h"

#include "command_line.h"
#include "error_handler.h"
#include "jpeg_image.h"
#include "launch.h"
#include "local_address.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QStyle>
#include <QStyledItemDelegate>

using namespace quorvale;

namespace {

// Items of one fixed height, as the check list draws them.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int height, QObject* parent)
        : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& o, const QModelIndex& i) const override {
        return {QStyledItemDelegate::sizeHint(o, i).width(), height_};
    }

private:
    int height_;
};
} // namespace

TForm1::TForm1(const AppContext& context, QWidget* parent)
    : QMainWindow(parent),
      OpenDialog1(QStringLiteral("ArmA 2 Executable (Arma2.exe arma2.exe);;All files (*)")),
      context_(context), state_(std::make_unique<LauncherState>()) {
    ui.setupUi(this);
    setFixedSize(size());

    QFile banner(QStringLiteral(":/banner.jpg"));
    QString error;
    if (banner.open(QIODevice::ReadOnly)) {
        const QImage img = decodeJpeg(banner.readAll(), &error);
        if (!img.isNull())
            ui.Image1->setPixmap(QPixmap::fromImage(img));
    }

    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    ui.BitBtn5->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    ui.BitBtn3->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    for (QPushButton* b : {ui.BitBtn2, ui.BitBtn5, ui.BitBtn3})
        b->setIconSize(QSize(16, 16));

    QPalette menuColour = ui.MYIP->palette();
    menuColour.setColor(QPalette::Base, palette().color(QPalette::Window));
    ui.MYIP->setPalette(menuColour);
    ui.ModList->setPalette(menuColour);
    ui.ModList->setFont(listFont());
    ui.ModList->setUniformItemSizes(true);
    ui.ModList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.ModList->setItemDelegate(new FixedHeightDelegate(16, ui.ModList));
    QFont small = font();
    small.setPixelSize(9);
    ui.SpeedButton2->setFont(small);
    ui.exenimi->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Timer1.setInterval(10);
    Timer1.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    connect(ui.Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(ui.BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(ui.BitBtn3, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
    connect(ui.BitBtn5, &QPushButton::clicked, this, &TForm1::BitBtn5Click);
    connect(ui.SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
    connect(ui.ModList, &QListWidget::itemChanged, this, &TForm1::ModListClickCheck);
    connect(ui.Options2, &QAction::triggered, this, &TForm1::Options2Click);
    connect(ui.Mods1, &QAction::triggered, this, &TForm1::Mods1Click);
    connect(ui.Servers1, &QAction::triggered, this, &TForm1::Servers1Click);
    connect(ui.Launchwindowed1, &QAction::triggered, this, &TForm1::Launchwindowed1Click);
    connect(ui.OFPPreferences1, &QAction::triggered, this, &TForm1::OFPPreferences1Click);
    connect(ui.Launchdedicatedserver1, &QAction::triggered, this,
            &TForm1::Launchdedicatedserver1Click);
    connect(ui.quit1, &QAction::triggered, this, &TForm1::quit1Click);
    connect(ui.About1, &QAction::triggered, this, &TForm1::About1Click);

    // FormCreate: a load that fails is reported and the window opens all the same.
    guarded([&] {
        ReadRegistry();
        UpdateModList(ui.ModList);
    });
}

TForm1::~TForm1() = default;

void TForm1::ReadRegistry() {
    readRegistry(*context_.store, *state_, *this, context_.userProfile);
}

void TForm1::SaveRegistry() {
    saveRegistry(*context_.store, *state_);
}

void TForm1::storeAndReload() {
    SaveRegistry();
    ReadRegistry();
}

void TForm1::UpdateModList(QListWidget* list) {
    const QSignalBlocker block(list);
    list->clear();
    const ModTable& m = state_->mods;
    for (int i = 0; i <= m.lastIndex; ++i) {
        auto* item = new QListWidgetItem(qs(m.name[i]), list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(m.checked[i] ? Qt::Checked : Qt::Unchecked);
    }
}

std::string TForm1::playerNameText() const {
    return ui.PlayerName->currentText().toStdString();
}

void TForm1::LaunchOFP(const std::string& connectString, int32_t launchMode) {
    for (QPushButton* b : {ui.BitBtn3, ui.BitBtn5, ui.BitBtn2})
        b->setEnabled(false);
    Timer1.start();
    const LaunchResult r =
        launchGame(*state_, *context_.store, *context_.starter, connectString, launchMode);
    if (!r.gameStarted)
        context_.prompter->message(qs(r.error));
    if (r.closeLauncher)
        close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    guarded([&] { SaveRegistry(); });
    event->accept();
    Q_EMIT closed();
}

// --- handlers

void TForm1::Button1Click() {
    guarded([&] {
        writeExecutableChoice(*context_.store, *this);
        ReadRegistry();
    });
}

void TForm1::BitBtn2Click() {
    showWindow(&Windows::directJoin);
}

void TForm1::BitBtn3Click() {
    guarded([&] { LaunchOFP(singlePlayerConnect(playerNameText()), -1); });
}

void TForm1::BitBtn5Click() {
    if (state_->servers.lastIndex < 0) {
        context_.prompter->message(
            QStringLiteral("No server entries found, add servers first using the options menu"));
        return;
    }
    showWindow(&Windows::browser);
}

void TForm1::SpeedButton2Click() {
    ui.MYIP->selectAll();
    QGuiApplication::clipboard()->setText(ui.MYIP->selectedText());
    ui.MYIP->setFocus();
}

void TForm1::ModListClickCheck() {
    ModTable& m = state_->mods;
    for (int k = 0; k < ui.ModList->count() && k < TableCapacity; ++k)
        m.checked[k] = ui.ModList->item(k)->checkState() == Qt::Checked;
}

void TForm1::Timer1Timer() {
    for (QPushButton* b : {ui.BitBtn3, ui.BitBtn5, ui.BitBtn2})
        b->setEnabled(true);
    Timer1.stop();
}

void TForm1::Options2Click() {
    showWindow(&Windows::options);
}
void TForm1::Mods1Click() {
    showWindow(&Windows::modEditor);
}
void TForm1::Servers1Click() {
    showWindow(&Windows::serverEditor);
}

void TForm1::Launchwindowed1Click() {
    guarded([&] { LaunchOFP(windowedConnect(playerNameText()), -1); });
}

void TForm1::OFPPreferences1Click() {
    guarded([&] { LaunchOFP(hostConnect(playerNameText()), -1); });
}

void TForm1::Launchdedicatedserver1Click() {
    guarded([&] { LaunchOFP(dedicatedServerConnect(playerNameText()), -1); });
}

void TForm1::quit1Click() {
    close();
}
void TForm1::About1Click() {
    showWindow(&Windows::about);
}

void TForm1::showWindow(QWidget* Windows::*which) {
    if (!(windows_.*which) && createWindows_)
        createWindows_(); // a click that came before the windows did
    QWidget* w = windows_.*which;
    if (!w)
        return;
    w->show();
    w->raise();
    w->activateWindow();
}

// --- what a load needs from this window

void TForm1::showMessage(const std::string& text) {
    context_.prompter->message(qs(text));
}

std::string TForm1::chooseExecutable() {
    return OpenDialog1.execute(*context_.prompter, this).toStdString();
}

void TForm1::refreshLocalAddress() {
    ui.MYIP->setText(localIPv4Address().toUpper());
}

void TForm1::setPlayerName(const std::string& text) {
    ui.PlayerName->setEditText(qs(text));
}

void TForm1::setPlayerList(const std::vector<std::string>& names) {
    const QString text = ui.PlayerName->currentText();
    ui.PlayerName->clear();
    for (const auto& n : names)
        ui.PlayerName->addItem(qs(n));
    ui.PlayerName->setEditText(text);
}

void TForm1::refillModList() {
    UpdateModList(ui.ModList);
}

void TForm1::setExecutableLabel(const std::string& text) {
    ui.exenimi->setText(qs(text));
}
