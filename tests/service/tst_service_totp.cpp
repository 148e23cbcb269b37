// The one-time code arithmetic and the sealing of its secrets, on the service's
// own code: RFC 6238's SHA-1 vectors, RFC 4648's base32 vectors, the ±1 step
// window and once-only rule, and a key file that is made private and refuses
// what it did not seal; the metrics name the second factor's actions.
#include "Metrics.h"
#include "Totp.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <fstream>

namespace {

totp::Bytes Ascii(const char* s)
{
    return totp::Bytes(reinterpret_cast<const std::uint8_t*>(s), reinterpret_cast<const std::uint8_t*>(s) + std::strlen(s));
}

} // namespace

class TotpTest : public QObject {
    Q_OBJECT
private slots:
    // RFC 6238 appendix B, SHA-1 rows (8 digits) and the 6-digit codes apps show (their last six).
    void rfc6238Vectors_data()
    {
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("code");
        QTest::newRow("59") << qint64(59) << "94287082";
        QTest::newRow("1111111109") << qint64(1111111109) << "07081804";
        QTest::newRow("1111111111") << qint64(1111111111) << "14050471";
        QTest::newRow("1234567890") << qint64(1234567890) << "89005924";
        QTest::newRow("2000000000") << qint64(2000000000) << "69279037";
        QTest::newRow("20000000000") << qint64(20000000000) << "65353130";
    }
    void rfc6238Vectors()
    {
        QFETCH(qint64, time);
        QFETCH(QString, code);
        const totp::Bytes key = Ascii("12345678901234567890");
        QCOMPARE(QString::fromStdString(totp::CodeAt(key, time, 8)), code);
        QCOMPARE(QString::fromStdString(totp::CodeAt(key, time)), code.right(6));
    }

    // RFC 4226 appendix D: HOTP of the same key at counters 0..9.
    void rfc4226Vectors()
    {
        const char* expected[] = {"755224", "287082", "359152", "969429", "338314",
                                  "254676", "287922", "162583", "399871", "520489"};
        const totp::Bytes key = Ascii("12345678901234567890");
        for (std::uint64_t i = 0; i < std::size(expected); ++i)
            QCOMPARE(QString::fromStdString(totp::Hotp(key, i)), QString(expected[i]));
    }

    void base32_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("f") << QByteArray("f") << "MY";
        QTest::newRow("fo") << QByteArray("fo") << "MZXQ";
        QTest::newRow("foo") << QByteArray("foo") << "MZXW6";
        QTest::newRow("foob") << QByteArray("foob") << "MZXW6YQ";
        QTest::newRow("fooba") << QByteArray("fooba") << "MZXW6YTB";
        QTest::newRow("foobar") << QByteArray("foobar") << "MZXW6YTBOI";
    }
    void base32()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QString, encoded);
        const totp::Bytes bytes(plain.begin(), plain.end());
        QCOMPARE(QString::fromStdString(totp::Base32(bytes)), encoded);
        QCOMPARE(totp::FromBase32(encoded.toStdString()), std::optional<totp::Bytes>(bytes));
        QCOMPARE(totp::FromBase32(encoded.toLower().toStdString()), std::optional<totp::Bytes>(bytes));
    }
    void base32Refuses()
    {
        for (const char* bad : {"MZXW6YTB0I", "MZXW6YTB1I", "M", "MZX", "MZ XW", "MZXW6YTBO=I"})
            QVERIFY2(!totp::FromBase32(bad), bad);
    }

    // One step either side of now, never a step at or before the last one taken, only six digits.
    void window()
    {
        const totp::Bytes key = Ascii("12345678901234567890");
        const std::int64_t t = 1234567890; // step 41152263
        const std::int64_t step = t / 30;
        for (int d = -3; d <= 3; ++d) {
            const std::string code = totp::Hotp(key, static_cast<std::uint64_t>(step + d));
            const auto got = totp::Accept(key, code, t, 0);
            if (d >= -1 && d <= 1) {
                QVERIFY2(got, qPrintable(QString("offset %1 refused").arg(d)));
                QCOMPARE(*got, step + d);
            } else {
                QVERIFY2(!got, qPrintable(QString("offset %1 accepted").arg(d)));
            }
        }
        const std::string now = totp::Hotp(key, static_cast<std::uint64_t>(step));
        QVERIFY(!totp::Accept(key, now, t, step));     // taken already
        QVERIFY(!totp::Accept(key, now, t, step + 1)); // a later one was taken
        QVERIFY(totp::Accept(key, now, t, step - 1));
        for (const std::string& bad : {now + "0", now.substr(1), std::string(" ") + now.substr(1), std::string("")})
            QVERIFY(!totp::Accept(key, bad, t, 0));
        QVERIFY(!totp::Accept(Ascii("another key of twenty"), now, t, 0));
    }

    void uri()
    {
        const totp::Bytes secret = Ascii("12345678901234567890");
        QCOMPARE(QString::fromStdString(totp::Uri("Ambervale", "ann b@example.org", secret)),
                 QString("otpauth://totp/Ambervale:ann%20b%40example.org?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"
                         "&issuer=Ambervale&algorithm=SHA1&digits=6&period=30"));
        // A login cannot add parameters or a path of its own.
        const std::string hostile = totp::Uri("Ambervale", "x?secret=AAAA&issuer=Evil/..", secret);
        QVERIFY(hostile.find("x%3Fsecret%3DAAAA%26issuer%3DEvil%2F..?secret=GEZ") != std::string::npos);
    }

    void sealing()
    {
        QTemporaryDir dir;
        const std::string file = (dir.path() + "/twofa.key").toStdString();
        const totp::Sealer first = totp::Sealer::FromFile(file);
        struct stat st {};
        QCOMPARE(::stat(file.c_str(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600);
        QCOMPARE(qint64(st.st_size), qint64(32));

        const totp::Bytes secret = Ascii("12345678901234567890");
        const std::string sealed = first.seal(secret);
        QVERIFY(sealed.find("12345678901234567890") == std::string::npos);
        QVERIFY(sealed.find("3132333435") == std::string::npos); // nor in hex
        QVERIFY(first.seal(secret) != sealed);                   // a fresh nonce each time
        // The same file read again opens it.
        QCOMPARE(totp::Sealer::FromFile(file).open(sealed), std::optional<totp::Bytes>(secret));
        // Another key does not, nor does a single altered character.
        QVERIFY(!totp::Sealer::Random().open(sealed));
        for (std::size_t i : {std::size_t(0), std::size_t(20), sealed.size() - 1}) {
            std::string altered = sealed;
            altered[i] = altered[i] == 'a' ? 'b' : 'a';
            QVERIFY2(!first.open(altered), qPrintable(QString("position %1").arg(i)));
        }
        QVERIFY(!first.open(sealed.substr(0, sealed.size() - 2)));
        QVERIFY(!first.open(""));
        QVERIFY(!first.open("not hex at all"));
    }

    void keyFileRefusals()
    {
        QTemporaryDir dir;
        const std::string open = (dir.path() + "/open.key").toStdString();
        std::ofstream(open) << std::string(32, 'k');
        ::chmod(open.c_str(), 0644);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, totp::Sealer::FromFile(open)); // readable by others
        const std::string shortKey = (dir.path() + "/short.key").toStdString();
        std::ofstream(shortKey) << "short";
        ::chmod(shortKey.c_str(), 0600);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, totp::Sealer::FromFile(shortKey));
    }

    // The metrics count the second factor's actions under their own names, not as "other".
    void actionsCountedByName()
    {
        for (const char* action : {"twofa_setup", "twofa_enable", "twofa_disable"})
            QCOMPARE(QString::fromStdString(Metrics::ActionLabel(action)), QString(action));
        QCOMPARE(QString::fromStdString(Metrics::ActionLabel("twofa_other")), QString("other"));
    }
};

QTEST_APPLESS_MAIN(TotpTest)
#include "tst_service_totp.moc"
