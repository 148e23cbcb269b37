#pragma once
#include <QSslConfiguration>
#include <QString>

namespace tls {

// The configuration every request uses: the system's trusted roots plus any
// extra CA certificates added below. Peers are always verified.
QSslConfiguration Configuration();

// Trusts the PEM certificates of the file in addition to the system's, so a
// service with its own CA is reachable without weakening verification.
// Returns the number of certificates added (0 when the file holds none).
int TrustExtraCaFile(const QString& pemPath);

} // namespace tls
