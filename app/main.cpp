#include "Login.h"
#include "Screens.h"
#include "BuildConfig.h"
#include "Tls.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // The web engine, loaded later from its plugin, needs this before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // the login screen alone ends the program
    if (*AMBERVALE_EXTRA_CA_FILE) tls::TrustExtraCaFile(QStringLiteral(AMBERVALE_EXTRA_CA_FILE));

    CreateScreens();
    FormLogin->show();
    const int rc = app.exec();
    DestroyScreens();
    return rc;
}
