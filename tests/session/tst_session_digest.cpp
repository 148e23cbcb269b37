// Digests the server checks: MD5 in upper-case hex over one byte per UTF-16
// unit, and the session token built from the local wall-clock second.

#include "Digest.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTimeZone>
#include <QtTest>

namespace {

// Reference MD5 of bytes, independent of the code under test.
QString Md5OfBytes(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

// The token as the server computes it from the decimal seconds T.
QString ExpectedToken(qint64 seconds)
{
    const QByteArray t = QByteArray::number(seconds);
    const QString inner = Md5OfBytes(t);
    const QString middle = Md5OfBytes(t + inner.toLatin1());
    return Md5OfBytes(middle.toLatin1());
}

const QDate kNewYear(2024, 1, 1);
const QTime kNoon(12, 0, 0);
constexpr qint64 kNewYearNoonUtc = 1704110400; // 2024-01-01T12:00:00Z

} // namespace

class DigestTest : public QObject {
    Q_OBJECT

private slots:
    void md5KnownVectors_data();
    void md5KnownVectors();
    void md5NonAsciiUnitsAreQuestionMarks_data();
    void md5NonAsciiUnitsAreQuestionMarks();

    void wallClockSecondsReadLocalTimeAsUtc_data();
    void wallClockSecondsReadLocalTimeAsUtc();

    void sessionTokenFromWallClock_data();
    void sessionTokenFromWallClock();
    void sessionTokenStableWithinSecond_data();
    void sessionTokenStableWithinSecond();
    void sessionTokenChangesAcrossSeconds_data();
    void sessionTokenChangesAcrossSeconds();
    void newSessionUsesNow();
};

void DigestTest::md5KnownVectors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    // RFC 1321 test suite and the common pangram.
    QTest::newRow("empty") << ""
                           << "D41D8CD98F00B204E9800998ECF8427E";
    QTest::newRow("a") << "a"
                       << "0CC175B9C0F1B6A831C399E269772661";
    QTest::newRow("abc") << "abc"
                         << "900150983CD24FB0D6963F7D28E17F72";
    QTest::newRow("message digest") << "message digest"
                                    << "F96B697D7CB7938D525A2F31AAF161D0";
    QTest::newRow("alphabet") << "abcdefghijklmnopqrstuvwxyz"
                              << "C3FCD3D76192E4007DFB496CCA67E13B";
    QTest::newRow("alphanumerics") << "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                                   << "D174AB98D277D9F5A5611C2C9F419D9F";
    QTest::newRow("digits 80") << "12345678901234567890123456789012345678901234567890123456789012345678901234567890"
                               << "57EDF4A22BE3C955AC49DA2E2107B67A";
    QTest::newRow("pangram") << "The quick brown fox jumps over the lazy dog"
                             << "9E107D9D372BB6826BD81D3542A419D6";
}

void DigestTest::md5KnownVectors()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(digest::MD5(text), expected);
}

void DigestTest::md5NonAsciiUnitsAreQuestionMarks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sameAs");

    QTest::newRow("e acute") << QStringLiteral("caf\u00E9") << "caf?";
    QTest::newRow("e acute alone") << QStringLiteral("\u00E9") << "?";
    QTest::newRow("cyrillic password") << QStringLiteral("\u043F\u0430\u0440\u043E\u043B\u044C1") << "??????1";
    QTest::newRow("latin-1 top") << QStringLiteral("x\u00FFy") << "x?y";
    QTest::newRow("DEL stays a byte") << QStringLiteral("a\u007Fb") << QStringLiteral("a\u007Fb");
    // One "?" per UTF-16 unit: a character outside the BMP is two.
    QTest::newRow("emoji") << QString::fromUtf8("p\xF0\x9F\x98\x80w") << "p??w";
}

void DigestTest::md5NonAsciiUnitsAreQuestionMarks()
{
    QFETCH(QString, text);
    QFETCH(QString, sameAs);
    QCOMPARE(digest::MD5(text), digest::MD5(sameAs));
    QCOMPARE(digest::MD5(text), Md5OfBytes(sameAs.toLatin1()));
}

void DigestTest::wallClockSecondsReadLocalTimeAsUtc_data()
{
    QTest::addColumn<QDateTime>("localTime");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("Etc/GMT-3 (UTC+3)") << QDateTime(kNewYear, kNoon, QTimeZone("Etc/GMT-3")) << kNewYearNoonUtc;
    QTest::newRow("fixed +3h") << QDateTime(kNewYear, kNoon, QTimeZone(3 * 3600)) << kNewYearNoonUtc;
    QTest::newRow("fixed -5h") << QDateTime(kNewYear, kNoon, QTimeZone(-5 * 3600)) << kNewYearNoonUtc;
    QTest::newRow("UTC") << QDateTime(kNewYear, kNoon, QTimeZone::utc()) << kNewYearNoonUtc;
    QTest::newRow("+14h, the date is local too")
        << QDateTime(kNewYear, QTime(0, 30, 0), QTimeZone(14 * 3600)) << qint64(1704067200 + 1800);
    QTest::newRow("seconds count, milliseconds do not")
        << QDateTime(kNewYear, QTime(12, 0, 7, 999), QTimeZone(3 * 3600)) << kNewYearNoonUtc + 7;
    QTest::newRow("epoch wall clock") << QDateTime(QDate(1970, 1, 1), QTime(0, 0), QTimeZone(3600)) << qint64(0);
}

void DigestTest::wallClockSecondsReadLocalTimeAsUtc()
{
    QFETCH(QDateTime, localTime);
    QFETCH(qint64, expected);
    QVERIFY(localTime.isValid());
    QCOMPARE(digest::WallClockSeconds(localTime), expected);
}

void DigestTest::sessionTokenFromWallClock_data()
{
    QTest::addColumn<QDateTime>("localTime");
    QTest::addColumn<qint64>("wallSeconds");

    QTest::newRow("UTC+3 noon") << QDateTime(kNewYear, kNoon, QTimeZone("Etc/GMT-3")) << kNewYearNoonUtc;
    QTest::newRow("UTC-5 noon") << QDateTime(kNewYear, kNoon, QTimeZone(-5 * 3600)) << kNewYearNoonUtc;
    QTest::newRow("UTC one second later")
        << QDateTime(kNewYear, QTime(12, 0, 1), QTimeZone::utc()) << kNewYearNoonUtc + 1;
}

void DigestTest::sessionTokenFromWallClock()
{
    QFETCH(QDateTime, localTime);
    QFETCH(qint64, wallSeconds);
    const QString token = digest::SessionToken(localTime);
    QCOMPARE(token, ExpectedToken(wallSeconds));
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(token).hasMatch());
    // The 09:00 UTC instant of the same clock reading would be the wrong token.
    if (localTime.offsetFromUtc() != 0) QVERIFY(token != ExpectedToken(localTime.toSecsSinceEpoch()));
}

void DigestTest::sessionTokenStableWithinSecond_data()
{
    QTest::addColumn<QDateTime>("first");
    QTest::addColumn<QDateTime>("second");

    const QTimeZone plus3("Etc/GMT-3");
    QTest::newRow("start and end of a second")
        << QDateTime(kNewYear, QTime(12, 0, 0, 0), plus3) << QDateTime(kNewYear, QTime(12, 0, 0, 999), plus3);
    QTest::newRow("middle of a second") << QDateTime(kNewYear, QTime(23, 59, 59, 100), plus3)
                                        << QDateTime(kNewYear, QTime(23, 59, 59, 600), plus3);
    QTest::newRow("same wall clock, other zone")
        << QDateTime(kNewYear, kNoon, plus3) << QDateTime(kNewYear, kNoon, QTimeZone(-7 * 3600));
}

void DigestTest::sessionTokenStableWithinSecond()
{
    QFETCH(QDateTime, first);
    QFETCH(QDateTime, second);
    QCOMPARE(digest::SessionToken(first), digest::SessionToken(second));
}

void DigestTest::sessionTokenChangesAcrossSeconds_data()
{
    QTest::addColumn<QDateTime>("first");
    QTest::addColumn<QDateTime>("second");

    const QTimeZone plus3("Etc/GMT-3");
    QTest::newRow("last and first millisecond")
        << QDateTime(kNewYear, QTime(12, 0, 0, 999), plus3) << QDateTime(kNewYear, QTime(12, 0, 1, 0), plus3);
    QTest::newRow("across midnight") << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59), plus3)
                                     << QDateTime(kNewYear, QTime(0, 0, 0), plus3);
    QTest::newRow("same instant, other zone")
        << QDateTime(kNewYear, kNoon, QTimeZone::utc()) << QDateTime(kNewYear, QTime(15, 0, 0), plus3);
}

void DigestTest::sessionTokenChangesAcrossSeconds()
{
    QFETCH(QDateTime, first);
    QFETCH(QDateTime, second);
    QVERIFY(digest::SessionToken(first) != digest::SessionToken(second));
}

void DigestTest::newSessionUsesNow()
{
    // A second may tick between the readings: the token must match one of them.
    const QDateTime before = QDateTime::currentDateTime();
    const QString token = digest::Gen_New_Session();
    const QDateTime after = QDateTime::currentDateTime();
    const QString b = ExpectedToken(QDateTime(before.date(), before.time(), QTimeZone::utc()).toSecsSinceEpoch());
    const QString a = ExpectedToken(QDateTime(after.date(), after.time(), QTimeZone::utc()).toSecsSinceEpoch());
    QVERIFY2(token == b || token == a, qPrintable(token));
}

QTEST_GUILESS_MAIN(DigestTest)
#include "tst_session_digest.moc"
