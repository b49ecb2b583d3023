#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QObject>
#include <functional>
#include <string>

// The editors' selector: an editable drop-down list whose item i is table slot i. Typing into
// it means a new entry, so no slot is selected until an item is picked again.
class EntrySelector : public QObject {
public:
    EntrySelector(QComboBox* box, std::function<void()> onChange);

    // Refills the list with the entries' names and selects item 0 (nothing, with an empty
    // text, for no entries).
    template <typename Entries> void fill(const Entries& entries) {
        const int count = static_cast<int>(entries.size());
        {
            const QSignalBlocker block(box_);
            box_->clear();
            for (const auto& entry : entries)
                box_->addItem(QString::fromStdString(entry.name));
            box_->setCurrentIndex(count > 0 ? 0 : -1);
            if (count == 0)
                box_->setEditText(QString());
            box_->lineEdit()->selectAll(); // what the player types next replaces it
        }
        typed_ = false;
    }
    // The selected slot, or -1 for a typed new entry.
    int selectedSlot() const { return typed_ ? -1 : box_->currentIndex(); }
    std::string text() const { return box_->currentText().toStdString(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* box_;
    std::function<void()> onChange_;
    bool typed_ = false;
    bool finishingEdit_ = false;
};
