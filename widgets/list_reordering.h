#pragma once

#include <QObject>
#include <functional>

class QListWidget;

// Lets the player put a list's items in another order: by dragging them (each item needs
// Qt::ItemIsDragEnabled), or Ctrl+Up/Down on the current item. reordered runs after each move,
// once the list holds its new order.
class ListReordering : public QObject {
    Q_OBJECT
public:
    ListReordering(QListWidget* list, std::function<void()> reordered);
    void moveCurrent(int step);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* list_;
    std::function<void()> reordered_;
};
