#pragma once
// Helpers shared by the money screens' tests.
#include "ClientPresets.h"
#include "Digest.h"
#include "FakeService.h"
#include "HttpClient.h"
#include "Login.h"
#include "Screens.h"

#include <QRegularExpression>
#include <QStringList>

namespace support {

// The shared blocking message client, rebuilt with a time-out of ms so that a
// service that never answers is noticed in a test's time. Wired to the login
// screen's handlers exactly as the real one.
inline void ShortenMessageTimeout(int ms)
{
    HttpClient::Options o = clients::OptionsFor(clients::Preset::Message);
    o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = ms;
    auto* client = new HttpClient(QStringLiteral("NetHTTP_MessageResult"), o, FormLogin);
    QObject::connect(client, &HttpClient::RequestCompleted, FormLogin,
                     &TFormLogin::NetHTTP_MessageResultRequestCompleted);
    QObject::connect(client, &HttpClient::RequestError, FormLogin, &TFormLogin::NetHTTP_MessageResultRequestError);
    delete FormLogin->NetHTTP_MessageResult;
    FormLogin->NetHTTP_MessageResult = client;
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
