#pragma once

#include "ui_about_dialog.h"

#include <QDialog>

// "About": the program's name, version and address.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    // The form's controls, reached by tests; other windows ask through methods.
    Ui::AboutDialog ui;
};
