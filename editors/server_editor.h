#pragma once

#include "ui_server_editor.h"

#include <QDialog>
#include <string>
#include <vector>

class LauncherSession;
class EntrySelector;

// "Servers": adds, changes and deletes favourite servers and the mods each one uses, in the
// order the player puts them.
class ServerEditor : public QDialog {
    Q_OBJECT
public:
    ServerEditor(LauncherSession& session, QWidget* parent);

    void refreshFields();
    void showSelectedServer();

    // The form's controls, reached by tests; other windows ask through methods.
    Ui::ServerEditor ui;

private Q_SLOTS:
    void saveServer();
    void deleteServer();

private:
    LauncherSession& session_;
    EntrySelector* selector_;
};
