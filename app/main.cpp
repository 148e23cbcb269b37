#include "Login.h"
#include "Screens.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // No AA_ShareOpenGLContexts here: the web view sets up context sharing
    // when it first loads the engine, so start-up does not load the GL driver.
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // the login screen alone ends the program

    StartScreens();
    const int rc = app.exec();
    DestroyScreens();
    return rc;
}
