#pragma once
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

namespace tls {

// The configuration every request uses: the system's trusted roots, the CA
// certificates built into the program (AMBERVALE_EXTRA_CA_FILE when it was
// configured) and any added below. Peers are always verified. The combined
// list is made once, not per request.
QSslConfiguration Configuration();

// The CA certificates built into the program.
QList<QSslCertificate> BuiltInCaCertificates();

// Trusts the PEM certificates of the file in addition to the others, so a
// service with its own CA is reachable without weakening verification (tests
// and tools; the program itself has its extra CA built in).
// Returns the number of certificates added (0 when the file holds none).
int TrustExtraCaFile(const QString& pemPath);

} // namespace tls
