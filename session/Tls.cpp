#include "Tls.h"
#include "BuiltInCa.h"

#include <QMutex>
#include <QMutexLocker>
#include <optional>

namespace tls {
namespace {

struct Trust {
    QMutex mutex;
    QList<QSslCertificate> added;
    std::optional<QSslConfiguration> cached;
};

Trust& Shared()
{
    static Trust trust;
    return trust;
}

} // namespace

QList<QSslCertificate> BuiltInCaCertificates()
{
    static const QList<QSslCertificate> certs = QSslCertificate::fromData(QByteArray(kBuiltInCaPem), QSsl::Pem);
    return certs;
}

QSslConfiguration Configuration()
{
    Trust& t = Shared();
    QMutexLocker lock(&t.mutex);
    if (!t.cached) {
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
        const QList<QSslCertificate> extra = BuiltInCaCertificates() + t.added;
        // Adding to the default set would switch off the on-demand system roots,
        // so the system's list is read in full, once.
        if (!extra.isEmpty()) conf.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
        t.cached = conf;
    }
    return *t.cached;
}

int TrustExtraCaFile(const QString& pemPath)
{
    const auto certs = QSslCertificate::fromPath(pemPath, QSsl::Pem);
    Trust& t = Shared();
    QMutexLocker lock(&t.mutex);
    t.added += certs;
    if (!certs.isEmpty()) t.cached.reset();
    return int(certs.size());
}

} // namespace tls
