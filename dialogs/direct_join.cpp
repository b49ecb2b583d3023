#include "direct_join.h"

#include "command_line.h"
#include "error_handler.h"
#include "main_window.h"
#include "server_watcher.h"

#include <QStyle>

using namespace quorvale;

TFormDjoin::TFormDjoin(TForm1& main, TFormWatcher& watcher)
    : QWidget(&main, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint), main_(main), watcher_(watcher) {
    ui.setupUi(this);
    setFixedSize(size());
    ui.BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    ui.BitBtn3->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(ui.BitBtn1, &QPushButton::clicked, this, &TFormDjoin::BitBtn1Click);
    connect(ui.BitBtn2, &QPushButton::clicked, this, &TFormDjoin::BitBtn2Click);
    connect(ui.BitBtn3, &QPushButton::clicked, this, &QWidget::hide);
}

std::string TFormDjoin::joinString() const {
    return directJoinConnect(ui.host->text().toStdString(), ui.port->text().toStdString(),
                             main_.playerNameText(), ui.pass->text().toStdString());
}

void TFormDjoin::BitBtn1Click() {
    guarded([&] { main_.LaunchOFP(joinString(), -1); });
    hide();
}

void TFormDjoin::BitBtn2Click() {
    guarded([&] {
        const std::string join = joinString();
        watcher_.watch(this, ui.host->text(), ui.port->text().toStdString(),
                       [this, join] { main_.LaunchOFP(join, -1); });
    });
}

void TFormDjoin::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        move(main_.frameGeometry().center() - rect().center());
    }
}
