#include "Digest.h"

#include <QCryptographicHash>
#include <QTimeZone>

namespace digest {

QString MD5(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) bytes.append(c.unicode() < 128 ? char(c.unicode()) : '?');
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

qint64 WallClockSeconds(const QDateTime& localTime)
{
    const QDateTime asUtc(localTime.date(), localTime.time(), QTimeZone::utc());
    return asUtc.toSecsSinceEpoch();
}

QString SessionToken(const QDateTime& localTime)
{
    const QString t = QString::number(WallClockSeconds(localTime));
    const QString d1 = MD5(t);
    const QString d2 = MD5(t + d1);
    return MD5(d2);
}

QString Gen_New_Session()
{
    return SessionToken(QDateTime::currentDateTime());
}

} // namespace digest
