#pragma once

#include "prompter.h"
#include "ui_options_dialog.h"

#include <QDialog>

class TForm1;

// "Options": the launch options and the watcher's alerts; "&OK" stores them.
class TFormOptions : public QDialog {
    Q_OBJECT
public:
    explicit TFormOptions(TForm1& main);

    void FormActivate();
    void UpdateJuttu();

    Ui::TFormOptions ui;
    FileDialogState OpenDialog1; // both sound fields
    FileDialogState OpenDialog2; // the program run before the game

private Q_SLOTS:
    void memUseChange(int position);
    void Button2Click();
    void Button1Click();
    void Button3Click();
    void BitBtn2Click();
    void BitBtn1Click();

private:
    void chooseInto(FileDialogState& dialog, QLineEdit* field);

    TForm1& main_;
};
