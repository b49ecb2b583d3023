#pragma once

#include "registry_io.h"

#include <string>
#include <vector>

// The main window's side of a load, recorded; the file dialog answers from a script.
class RecordingHost : public quorvale::LoadHost {
public:
    std::vector<std::string> messages;
    std::vector<std::string> dialogAnswers; // taken front first; when empty, the dialog's last name
    std::string lastDialogName;
    int dialogShown = 0;
    int addressRefreshed = 0;
    int modListRefills = 0;
    std::string playerName = "-";
    std::vector<std::string> playerList{"-"};
    std::string executableLabel;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    std::string chooseExecutable() override {
        ++dialogShown;
        if (!dialogAnswers.empty()) {
            lastDialogName = dialogAnswers.front();
            dialogAnswers.erase(dialogAnswers.begin());
        }
        return lastDialogName;
    }
    void refreshLocalAddress() override { ++addressRefreshed; }
    void setLoadedPlayerName(const std::string& text) override { playerName = text; }
    void setPlayerList(const std::vector<std::string>& names) override { playerList = names; }
    void refillModList() override { ++modListRefills; }
    void setExecutableLabel(const std::string& text) override { executableLabel = text; }
};
