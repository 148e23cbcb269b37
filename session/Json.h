#pragma once
// Reading server JSON: members by exact name, values through their text.
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <stdexcept>

namespace json {

class JsonError : public std::runtime_error {
public:
    explicit JsonError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// A value's text: strings as they are, numbers in their shortest form.
QString Text(const QJsonValue& value);

// The member or a JsonError naming it.
QJsonValue Member(const QJsonObject& object, const QString& name);
QString MemberText(const QJsonObject& object, const QString& name);

// A whole body as a JSON object, or a JsonError with the parser's reason.
QJsonObject ParseObject(const QString& text);

// Nested values must really be objects/arrays, not texts holding JSON.
QJsonObject AsObject(const QJsonValue& value, const QString& name);
QJsonArray AsArray(const QJsonValue& value, const QString& name);

} // namespace json
