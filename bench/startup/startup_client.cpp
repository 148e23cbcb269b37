// The program's start-up exactly as main() does it, ending at the login window's first paint.
#include "FirstPaintExit.h"
#include "Login.h"
#include "Screens.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    CreateScreens();
    startup_bench::FirstPaintExit exitAtPaint(FormLogin, sinceMain);
    FormLogin->show();
    return app.exec();
}
