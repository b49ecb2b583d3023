#pragma once

#include "ui_about_dialog.h"

#include <QDialog>

// "About": the program's name, version and address.
class TAboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDialog(QWidget* parent = nullptr);
    Ui::TAboutDialog ui;
};
