#pragma once

#include "ui_mod_editor.h"

#include <QDialog>
#include <string>
#include <vector>

class TForm1;
class EntrySelector;

// "Modifications": adds, changes and deletes mods, and scans the game folder for new ones.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(TForm1& main);

    void FormActivate();
    void ShowSelectedMod();
    // Adds the found mods as unticked entries named after their folders, then stores and
    // reloads once.
    void AddFoundMods(const std::vector<std::string>& names);

    Ui::TForm2 ui;

private Q_SLOTS:
    void BitBtn2Click();
    void BitBtn1Click();
    void BitBtn3Click();

private:
    void storeAndReload();

    TForm1& main_;
    EntrySelector* selector_;
};
