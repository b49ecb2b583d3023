// The baseline: a bare Qt main window of the same size, ending after its first paint.
#include "first_paint.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow w;
    w.setCentralWidget(new QLabel(QStringLiteral("bare")));
    w.resize(449, 246);
    w.show();
    w.installEventFilter(new QuitOnFirstPaint(&w));
    return app.exec();
}
