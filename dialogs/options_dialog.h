#pragma once

#include "prompter.h"
#include "ui_options_dialog.h"

#include <QDialog>

class LauncherSession;

// "Options": the launch options and the watcher's alerts; "&OK" stores them.
class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(LauncherSession& session, QWidget* parent);

    void refreshFields();
    void updateSoundFields();

    // The form's controls, reached by tests; other windows ask through methods.
    Ui::OptionsDialog ui;
    FileDialogState soundDialog;   // both sound fields
    FileDialogState programDialog; // the program run before the game

private Q_SLOTS:
    void showMemoryLimit(int position);
    void chooseNewGameSound();
    void choosePlayersSound();
    void choosePreLaunchProgram();
    void saveAndClose();
    void discardAndClose();

private:
    void chooseInto(FileDialogState& dialog, QLineEdit* field);
    void showRunner(const std::string& stored);
    std::string chosenRunner() const;

    LauncherSession& session_;
};
