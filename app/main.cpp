#include "Screens.h"
#include "common/WebView.h"

#include <QApplication>
#include <QTimer>
#include <unistd.h>

int main(int argc, char** argv)
{
    // The web engine ends the whole program when it finds itself run as root
    // with its sandbox on (the sandbox cannot work there). Run as root, the
    // program turns the sandbox off itself, unless the user has said otherwise;
    // it must be set before the engine starts, which reads it once.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    // No AA_ShareOpenGLContexts here: the web view sets up context sharing
    // when it first loads the engine, so start-up does not load the GL driver.
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // the login screen alone ends the program

    StartScreens();
    // The information and faucet screens show web pages. The engine's libraries
    // are read in on a thread of their own while the user logs in, and the
    // engine is started in a quiet moment, so that opening the first page does
    // not hold the window (bench/guide).
    QTimer::singleShot(3000, &app, [] { WebView::PrepareWhenIdle(); });
    const int rc = app.exec();
    DestroyScreens();
    return rc;
}
