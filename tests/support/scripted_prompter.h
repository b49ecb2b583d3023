#pragma once

#include "prompter.h"

#include <QStringList>
#include <deque>
#include <functional>

// Stands in for the person at a message box or file dialog: records every text and answers
// from a script.
class ScriptedPrompter : public Prompter {
public:
    QStringList messages;
    QStringList questions;
    std::deque<bool> answers;                 // for confirm(); No when empty
    std::deque<std::optional<QString>> files; // for chooseFile(); cancelled when empty
    int filesAsked = 0;
    std::function<void()> whileShown; // runs while a message box is open
    QString lastStart;                // where the last file dialog opened
    QString lastFilter;               // and what it offered

    void message(const QString& text) override {
        messages << text;
        if (whileShown)
            whileShown();
    }
    bool confirm(const QString& text) override {
        questions << text;
        if (answers.empty())
            return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<QString> chooseFile(QWidget*, const QString& filter,
                                      const QString& current) override {
        ++filesAsked;
        lastStart = current;
        lastFilter = filter;
        if (files.empty())
            return std::nullopt;
        const bool cancelled = !files.front().has_value();
        const QString f = cancelled ? QString() : *files.front();
        files.pop_front();
        if (cancelled)
            return std::nullopt;
        return f;
    }
};
