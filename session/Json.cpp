#include "Json.h"

#include <QJsonDocument>
#include <QLocale>

namespace json {

QString Text(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Undefined:
        break;
    }
    return QString();
}

QJsonValue Member(const QJsonObject& object, const QString& name)
{
    const auto it = object.constFind(name);
    if (it == object.constEnd()) throw JsonError(QStringLiteral("JSON member \"%1\" not found").arg(name));
    return it.value();
}

QString MemberText(const QJsonObject& object, const QString& name)
{
    return Text(Member(object, name));
}

QJsonObject ParseObject(const QString& text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonError(QStringLiteral("invalid JSON at offset %1: %2").arg(error.offset).arg(error.errorString()));
    if (!doc.isObject()) throw JsonError(QStringLiteral("the reply is not a JSON object"));
    return doc.object();
}

QJsonObject AsObject(const QJsonValue& value, const QString& name)
{
    if (!value.isObject()) throw JsonError(QStringLiteral("JSON member \"%1\" is not an object").arg(name));
    return value.toObject();
}

QJsonArray AsArray(const QJsonValue& value, const QString& name)
{
    if (!value.isArray()) throw JsonError(QStringLiteral("JSON member \"%1\" is not an array").arg(name));
    return value.toArray();
}

} // namespace json
