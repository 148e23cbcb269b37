// The client as main.cpp starts it, pointed at a service given on the command
// line (the program's own service address is fixed at build time):
//   a11y_client 127.0.0.1:PORT CA.pem
#include "AppState.h"
#include "Screens.h"
#include "Tls.h"

#include <QApplication>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 3) {
        std::fprintf(stderr, "usage: a11y_client HOST:PORT CA.pem\n");
        return 2;
    }
    if (tls::TrustExtraCaFile(QString::fromLocal8Bit(argv[2])) <= 0) {
        std::fprintf(stderr, "no CA in %s\n", argv[2]);
        return 2;
    }
    State().ServerScheme = QStringLiteral("https");
    State().ServerAddress = QStringLiteral("://%1/").arg(QString::fromLocal8Bit(argv[1]));
    StartScreens();
    const int rc = app.exec();
    DestroyScreens();
    return rc;
}
