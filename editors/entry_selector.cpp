#include "entry_selector.h"

#include <QLineEdit>

EntrySelector::EntrySelector(QComboBox* box, std::function<void()> onChange)
    : QObject(box), box_(box), onChange_(std::move(onChange)) {
    box_->setCompleter(nullptr); // the typed text is the new entry's name, as typed
    connect(box_->lineEdit(), &QLineEdit::textEdited, this, [this] {
        typed_ = true;
        onChange_();
    });
    const auto picked = [this] {
        typed_ = false;
        onChange_();
    };
    connect(box_, &QComboBox::activated, this, picked);
    connect(box_, &QComboBox::currentIndexChanged, this, picked);
}
