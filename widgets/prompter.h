#pragma once

#include <QString>
#include <optional>

class QWidget;

// Message boxes and file choosers: the only places a handler waits for the person.
class Prompter {
public:
    virtual ~Prompter() = default;
    // A modal box captioned "Quorvale" with one OK button, centred.
    virtual void message(const QString& text) = 0;
    // A modal box captioned "Confirm" with a question icon and Yes / No; true for Yes.
    virtual bool confirm(const QString& text) = 0;
    // A file-open dialog on `current`, or in it when it ends with "/"; nothing when cancelled.
    virtual std::optional<QString> chooseFile(QWidget* parent, const QString& filter,
                                              const QString& current) = 0;
};

class QtPrompter : public Prompter {
public:
    void message(const QString& text) override;
    bool confirm(const QString& text) override;
    std::optional<QString> chooseFile(QWidget* parent, const QString& filter,
                                      const QString& current) override;
};

// A file-open dialog that remembers its last file, as a form's dialog component does.
class FileDialogState {
public:
    explicit FileDialogState(QString filter) : filter_(std::move(filter)) {}
    // Shows the dialog and returns its file name: the new one, or the last one if cancelled.
    QString execute(Prompter& prompter, QWidget* parent);
    // Shows the dialog; the chosen file, or nothing when cancelled (the last name stays).
    std::optional<QString> choose(Prompter& prompter, QWidget* parent);
    const QString& fileName() const { return fileName_; }
    void setFileName(const QString& f) { fileName_ = f; }
    // Where the dialog opens while no file has been chosen in it.
    void setStartFolder(const QString& folder) { startFolder_ = folder; }
    const QString& filter() const { return filter_; }

private:
    QString filter_;
    QString fileName_;
    QString startFolder_;
};
