#include "WebTrust.h"
#include "Tls.h"

#include <QSslConfiguration>

namespace webtrust {

QList<QSslCertificate> ExtraCas()
{
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    QList<QSslCertificate> extra;
    for (const QSslCertificate& c : tls::Configuration().caCertificates())
        if (!system.contains(c)) extra << c;
    return extra;
}

QString HostName(const QString& serverAddress)
{
    QString hostPort = serverAddress;
    if (hostPort.startsWith(QLatin1String("://"))) hostPort.remove(0, 3);
    while (hostPort.endsWith(QLatin1Char('/'))) hostPort.chop(1);
    return QUrl(QStringLiteral("https://") + hostPort + QLatin1Char('/')).host();
}

} // namespace webtrust
