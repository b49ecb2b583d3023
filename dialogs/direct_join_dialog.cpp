#include "direct_join_dialog.h"

#include "command_line.h"
#include "error_handler.h"
#include "form_keys.h"
#include "main_window.h"
#include "server_watcher.h"

#include <QStyle>

using namespace quorvale;

DirectJoinDialog::DirectJoinDialog(MainWindow& main, ServerWatcher& watcher)
    : QWidget(&main, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint), main_(main), watcher_(watcher) {
    ui.setupUi(this);
    applyFormKeys(this);
    setFixedSize(size());
    ui.connectButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui.watcherButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    ui.cancelButton->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(ui.connectButton, &QPushButton::clicked, this, &DirectJoinDialog::connectToServer);
    connect(ui.watcherButton, &QPushButton::clicked, this, &DirectJoinDialog::openWatcher);
    connect(ui.cancelButton, &QPushButton::clicked, this, &QWidget::hide);
}

std::string DirectJoinDialog::joinString() const {
    return directJoinConnect(ui.hostEdit->text().toStdString(), ui.portEdit->text().toStdString(),
                             main_.playerNameText(), ui.passwordEdit->text().toStdString());
}

void DirectJoinDialog::connectToServer() {
    guarded([&] { main_.launchGame(joinString(), -1); });
    hide();
}

void DirectJoinDialog::openWatcher() {
    guarded([&] {
        const std::string join = joinString();
        watcher_.watch(this, ui.hostEdit->text(), ui.portEdit->text().toStdString(),
                       [this, join] { main_.launchGame(join, -1); });
    });
}

void DirectJoinDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        move(main_.frameGeometry().center() - rect().center());
    }
}
