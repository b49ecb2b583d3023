#pragma once

#include "ui_direct_join_dialog.h"

#include <QWidget>

class LauncherSession;

// "Direct join server": joins or watches a server that is not in the list.
class DirectJoinDialog : public QWidget {
    Q_OBJECT
public:
    DirectJoinDialog(LauncherSession& session, QWidget* parent);

    // The join string of the typed server.
    std::string joinString() const;

    // The form's controls, reached by tests; other windows ask through methods.
    Ui::DirectJoinDialog ui;

protected:
    void showEvent(QShowEvent* event) override;

private Q_SLOTS:
    void connectToServer();
    void openWatcher();

private:
    LauncherSession& session_;
    bool placed_ = false;
};
