#pragma once

#include <QAbstractButton>

// A flat button that is only its text, drawn over its whole height so that a small button
// keeps its descenders and its underlined access key (a tool button drops the underline).
class FlatButton : public QAbstractButton {
    Q_OBJECT
public:
    using QAbstractButton::QAbstractButton;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
