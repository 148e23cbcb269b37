#include "Login.h"
#include "Screens.h"
#include "BuildConfig.h"
#include "Tls.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // No AA_ShareOpenGLContexts here: the web view sets up context sharing
    // when it first loads the engine, so start-up does not load the GL driver.
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // the login screen alone ends the program
    if (*AMBERVALE_EXTRA_CA_FILE) tls::TrustExtraCaFile(QStringLiteral(AMBERVALE_EXTRA_CA_FILE));

    CreateScreens();
    FormLogin->show();
    const int rc = app.exec();
    DestroyScreens();
    return rc;
}
