#pragma once
// Helpers shared by the money screens' tests.
#include "ClientPresets.h"
#include "Digest.h"
#include "FakeService.h"
#include "HttpClient.h"
#include "Screens.h"
#include "ServiceClient.h"

#include <QRegularExpression>
#include <QStringList>

namespace support {

// The money actions' client, rebuilt with a time-out of ms so that a service
// that never answers is noticed in a test's time.
inline void ShortenMessageTimeout(int ms)
{
    HttpClient::Options o = clients::OptionsFor(clients::Preset::Message);
    o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = ms;
    Service().ReplaceClient(ServiceClient::Channel::Message, new HttpClient(QStringLiteral("NetHTTP_MessageResult"), o));
}

// The names of a recorded request's fields, in order.
inline QStringList FieldNames(const RecordedRequest& r)
{
    QStringList names;
    for (const auto& f : r.fields) names << f.first;
    return names;
}

// The session token is 32 upper-case hexadecimal digits.
inline bool IsToken(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-F]{32}$"));
    return hex.match(text).hasMatch();
}

} // namespace support
