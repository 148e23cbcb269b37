#include "Tls.h"

#include <QSslCertificate>

namespace tls {
namespace {
QList<QSslCertificate>& Extra()
{
    static QList<QSslCertificate> extra;
    return extra;
}
} // namespace

QSslConfiguration Configuration()
{
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!Extra().isEmpty()) {
        // Adding to the default set would switch off the on-demand system roots.
        conf.setCaCertificates(QSslConfiguration::systemCaCertificates() + Extra());
    }
    return conf;
}

int TrustExtraCaFile(const QString& pemPath)
{
    const auto certs = QSslCertificate::fromPath(pemPath, QSsl::Pem);
    Extra() += certs;
    return int(certs.size());
}

} // namespace tls
