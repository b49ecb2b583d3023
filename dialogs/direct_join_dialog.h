#pragma once

#include "query_pass.h"
#include "udp_endpoint.h"
#include "ui_direct_join_dialog.h"

#include <QTimer>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

class LauncherSession;

// "Direct join server": joins or watches a server that is not in the list. The typed server is
// asked for its mods a moment after the typing stops; when it has told them, a join loads the
// known ones as a join from the list does.
class DirectJoinDialog : public QWidget {
    Q_OBJECT
public:
    DirectJoinDialog(LauncherSession& session, QWidget* parent);

    // The join string of the typed server.
    std::string joinString() const;

    // The form's controls, reached by tests; other windows ask through methods.
    Ui::DirectJoinDialog ui;
    UdpEndpoint endpoint;
    QueryPass pass; // the typed server's mods
    QTimer typingTimer;
    // The mods the typed server told, if it has.
    const std::optional<std::vector<std::string>>& serverMods() const { return serverMods_; }

Q_SIGNALS:
    void serverModsArrived();

private Q_SLOTS:
    void connectToServer();
    void openWatcher();

private:
    void askTypedServer();

    LauncherSession& session_;
    std::optional<std::vector<std::string>> serverMods_;
};
