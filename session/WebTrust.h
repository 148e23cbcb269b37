#pragma once
// Certificates in the web views. The service's certificate chains to an extra
// CA built into the client, which the web engine does not know: a page it
// refuses for that reason is let through when, and only when, the HTTP
// clients would trust it too.
#include <QDateTime>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

namespace webtrust {

// Whether a page the engine refused for an unknown certificate authority may
// be shown: an https address on the service's host whose chain verifies, for
// that host and at that time, up to one of the given CAs (the client's extra
// ones and the system's list, where the service package puts its CA). Pages of
// any other host are the engine's own business.
// Defined in WebTrustChain.cpp (library ambervale_webtrust, OpenSSL), which
// only the web-engine plugin and its tests link.
bool AcceptUnknownAuthority(const QUrl& url, const QList<QSslCertificate>& chain, const QString& serviceHost,
                            const QList<QSslCertificate>& extraCas,
                            const QDateTime& at = QDateTime::currentDateTimeUtc());

// The CA certificates the client's HTTP requests trust beyond the system's.
QList<QSslCertificate> ExtraCas();

// The host name in a "://host[:port]/" server address, without the port.
QString HostName(const QString& serverAddress);

} // namespace webtrust
