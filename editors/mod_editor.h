#pragma once

#include "ui_mod_editor.h"

#include <QDialog>
#include <string>
#include <vector>

class LauncherSession;
class EntrySelector;

// "Modifications": adds, changes and deletes mods, and scans the game folder for new ones.
class ModEditor : public QDialog {
    Q_OBJECT
public:
    ModEditor(LauncherSession& session, QWidget* parent);

    void refreshFields();
    void showSelectedMod();
    // Adds the found mods as unticked entries named after their folders, then stores and
    // reloads once.
    void addFoundMods(const std::vector<std::string>& folders,
                      const std::vector<std::string>& displayNames = {});

    // The form's controls, reached by tests; other windows ask through methods.
    Ui::ModEditor ui;

private Q_SLOTS:
    void saveMod();
    void deleteMod();
    void autoScan();

private:
    void storeAndReload();

    LauncherSession& session_;
    EntrySelector* selector_;
};
