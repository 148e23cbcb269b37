#include "TwoFactor.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QUrlQuery>

namespace twofa {

namespace {

bool Base32(const QString& text)
{
    if (text.size() < 16 || text.size() > 128) return false;
    for (QChar c : text)
        if (!((c >= u'A' && c <= u'Z') || (c >= u'2' && c <= u'7'))) return false;
    return true;
}

} // namespace

std::optional<Setup> ParseSetup(const QString& body)
{
    if (body.size() > 4096) return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    Setup s{o.value(QStringLiteral("uri")).toString(), o.value(QStringLiteral("secret")).toString()};
    if (!Base32(s.secret) || s.uri.size() > 1024) return std::nullopt;
    const QUrl url(s.uri, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("otpauth") || url.host() != QLatin1String("totp") ||
        url.path().size() < 2)
        return std::nullopt;
    if (QUrlQuery(url).queryItemValue(QStringLiteral("secret")) != s.secret) return std::nullopt;
    for (QChar c : s.uri)
        if (c.unicode() < 0x21 || c.unicode() > 0x7e) return std::nullopt; // a QR code of printable ASCII only
    return s;
}

QString CleanCode(const QString& typed)
{
    const QString t = typed.trimmed();
    if (t.size() != 6) return {};
    for (QChar c : t)
        if (c < u'0' || c > u'9') return {};
    return t;
}

FormFields SetupFields(const QString& login, const QString& pass, const QString& token)
{
    return {{"a", "twofa_setup"}, {"s", login}, {"pass", pass}, {"session", token}};
}

FormFields EnableFields(const QString& login, const QString& pass, const QString& code, const QString& token)
{
    return {{"a", "twofa_enable"}, {"s", login}, {"pass", pass}, {"otp", code}, {"session", token}};
}

FormFields DisableFields(const QString& login, const QString& pass, const QString& code, const QString& token)
{
    return {{"a", "twofa_disable"}, {"s", login}, {"pass", pass}, {"otp", code}, {"session", token}};
}

FormFields WithCode(FormFields fields, const QString& code)
{
    if (code.isEmpty()) return fields;
    qsizetype at = fields.size();
    if (!fields.isEmpty() && fields.last().first == QLatin1String("session")) at = fields.size() - 1;
    fields.insert(at, {QStringLiteral("otp"), code});
    return fields;
}

bool FlagOn(const QString& value)
{
    return value == QLatin1String("1");
}

} // namespace twofa
