#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window of outer size `outer` goes to be centred on `centre` and yet wholly inside
// `area` (a screen's free part); a window larger than the area keeps its top-left corner in it.
QPoint centredWithin(QSize outer, QPoint centre, QRect area);

// The first time `window` shows, it is centred over `over` (over the screen when null) and kept
// on that screen: a main window near the screen's edge would put it partly out of reach.
void placeCentredOnFirstShow(QWidget* window, const QWidget* over);
