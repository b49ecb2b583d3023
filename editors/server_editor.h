#pragma once

#include "ui_server_editor.h"

#include <QDialog>

class TForm1;
class EntrySelector;

// "Servers": adds, changes and deletes favourite servers and the mods each one uses.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(TForm1& main);

    void FormActivate();
    void ShowSelectedServer();

    Ui::TForm3 ui;

private Q_SLOTS:
    void BitBtn1Click();
    void BitBtn2Click();

private:
    TForm1& main_;
    EntrySelector* selector_;
};
