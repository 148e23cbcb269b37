// The floor to compare against: a Qt Widgets program showing one plain window.
#include "FirstPaintExit.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);

    QWidget window;
    window.resize(576, 524); // the login window's size
    startup_bench::FirstPaintExit exitAtPaint(&window, sinceMain);
    window.show();
    return app.exec();
}
