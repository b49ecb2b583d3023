// The launcher as it starts, ending after its main window first paints.
#include "application.h"
#include "first_paint.h"

#include <QWidget>

int main(int argc, char** argv) {
    return runLauncher(argc, argv,
                       [](QWidget* w) { w->installEventFilter(new QuitOnFirstPaint(w)); });
}
