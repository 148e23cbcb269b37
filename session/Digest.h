#pragma once
#include <QDateTime>
#include <QString>

namespace digest {

// MD5 over one byte per UTF-16 unit ("?" for every unit above 127), written as
// 32 upper-case hex digits: the server checks passwords and tokens this way.
QString MD5(const QString& text);

// Seconds of a local wall-clock time read as if it were UTC.
qint64 WallClockSeconds(const QDateTime& localTime);

// Session token for a given local wall-clock time: MD5(MD5(T + MD5(T))).
QString SessionToken(const QDateTime& localTime);

// Token for now.
QString Gen_New_Session();

} // namespace digest
