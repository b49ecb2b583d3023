#include "direct_join_dialog.h"

#include "command_line.h"
#include "error_handler.h"
#include "form_keys.h"
#include "launcher_session.h"
#include "text.h"

#include <QShortcut>
#include <QStyle>

using namespace quorvale;

DirectJoinDialog::DirectJoinDialog(LauncherSession& session, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint), pass(endpoint),
      session_(session) {
    ui.setupUi(this);
    applyFormKeys(this);
    setFixedSize(size());
    ui.connectButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui.watcherButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    ui.cancelButton->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    QueryPass::Options options;
    options.gameSpy = false; // the GameSpy answer would come first and leave out the rules
    options.rules = true;
    pass.setOptions(options);
    connect(&pass, &QueryPass::serverUpdated, this, [this] {
        const QueryPass::Result& r = pass.results().front();
        // A list that came incomplete is not joined with.
        if (r.outcome == QueryPass::Outcome::Answered && r.reply.mods &&
            r.reply.mods->problem.empty()) {
            serverMods_ = r.reply.mods->names;
            Q_EMIT serverModsArrived();
        }
    });
    typingTimer.setSingleShot(true);
    typingTimer.setInterval(600);
    connect(&typingTimer, &QTimer::timeout, this, &DirectJoinDialog::askTypedServer);
    for (QLineEdit* edit : {ui.hostEdit, ui.portEdit})
        connect(edit, &QLineEdit::textChanged, this, [this] {
            serverMods_.reset(); // another server's
            typingTimer.start();
        });
    connect(ui.connectButton, &QPushButton::clicked, this, &DirectJoinDialog::connectToServer);
    connect(ui.watcherButton, &QPushButton::clicked, this, &DirectJoinDialog::openWatcher);
    connect(ui.cancelButton, &QPushButton::clicked, this, &QWidget::hide);
    // Escape cancels, as in a dialog.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::hide);
}

std::string DirectJoinDialog::joinString() const {
    return directJoinConnect(ui.hostEdit->text().toStdString(), ui.portEdit->text().toStdString(),
                             session_.playerName(), ui.passwordEdit->text().toStdString());
}

void DirectJoinDialog::connectToServer() {
    // A port that is no port starts nothing, and the dialog stays for the player to mend it.
    if (guarded([&] { portNumber(ui.portEdit->text().toStdString()); }))
        guarded([&] {
            if (session_.joinServer(joinString(), kTickedMods, serverMods_)) {
                ServerEntry joined; // into the server list's history
                joined.host = ui.hostEdit->text().trimmed().toStdString();
                joined.port = ui.portEdit->text().trimmed().toStdString();
                joined.name = joined.host;
                if (!joined.host.empty()) // no host: nothing the History tab could ask again
                    session_.rememberJoined(joined);
            }
        });
    else
        return;
    hide();
}

void DirectJoinDialog::askTypedServer() {
    uint16_t port = 0;
    if (ui.hostEdit->text().trimmed().isEmpty() ||
        !tryParsePort(ui.portEdit->text().toStdString(), port))
        return;
    pass.start({{ui.hostEdit->text().toStdString(), ui.portEdit->text().toStdString()}});
}

void DirectJoinDialog::openWatcher() {
    guarded([&] {
        const std::string join = joinString();
        session_.watchServer(this, ui.hostEdit->text(), ui.portEdit->text().toStdString(),
                             [this, join] { session_.launchGame(join, kTickedMods); });
    });
}
