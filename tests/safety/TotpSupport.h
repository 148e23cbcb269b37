#pragma once
// RFC 6238 codes for the tests, computed with Qt's HMAC independently of the
// service's own code: HMAC-SHA-1, six digits, 30-second steps.
#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QString>

namespace totp {

inline QByteArray FromBase32(const QString& text)
{
    static const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567");
    QByteArray out;
    quint32 buffer = 0;
    int bits = 0;
    for (QChar c : text) {
        const int v = alphabet.indexOf(c.toUpper());
        if (v < 0) return {};
        buffer = (buffer << 5) | quint32(v);
        bits += 5;
        if (bits >= 8) {
            out.append(char((buffer >> (bits - 8)) & 0xff));
            bits -= 8;
        }
    }
    return out;
}

inline QString CodeForStep(const QByteArray& key, qint64 step)
{
    QByteArray counter(8, '\0');
    for (int i = 7; i >= 0; --i, step >>= 8) counter[i] = char(step & 0xff);
    const QByteArray mac = QMessageAuthenticationCode::hash(counter, key, QCryptographicHash::Sha1);
    const int offset = mac[19] & 0x0f;
    const quint32 bin = (quint32(uchar(mac[offset]) & 0x7f) << 24) | (quint32(uchar(mac[offset + 1])) << 16) |
                        (quint32(uchar(mac[offset + 2])) << 8) | quint32(uchar(mac[offset + 3]));
    return QStringLiteral("%1").arg(bin % 1000000, 6, 10, QLatin1Char('0'));
}

} // namespace totp
