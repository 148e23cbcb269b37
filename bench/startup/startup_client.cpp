// The program's start-up exactly as main() does it, ending at the login window's first paint.
#include "FirstPaintExit.h"
#include "Screens.h"
#include "common/Screen.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    StartScreens();
    // Installed last, so it sees the first paint before the start-up does and
    // the clock stops before the other screens are made.
    startup_bench::FirstPaintExit exitAtPaint(ScreenNamed("login"), sinceMain);
    return app.exec();
}
