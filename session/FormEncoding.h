#pragma once
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Ordered request fields: the server reads them by position as well as name.
using FormFields = QList<QPair<QString, QString>>;

namespace form {

inline constexpr const char* ContentType = "application/x-www-form-urlencoded; charset=utf-8";

// UTF-8, space as "+", every byte outside A-Z a-z 0-9 - . _ ~ as %XX.
QByteArray EncodeComponent(const QString& text);

// name=value pairs joined with "&", in list order.
QByteArray Encode(const FormFields& fields);

} // namespace form
