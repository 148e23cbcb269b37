// The extra CA built into the program at configure time: this test's copy of
// the TLS code has the fixed test CA of tests/support/certs built in, and
// reaches a service signed by it without reading any file.
#include "FakeService.h"
#include "HttpClient.h"
#include "Tls.h"

#include <QDeadlineTimer>
#include <QtTest>

namespace {

struct Outcome {
    QStringList bodies;
    QStringList errors;
};

Outcome PostOnce(const FakeService& fake)
{
    HttpClient::Options o;
    o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = 15000;
    HttpClient client(QStringLiteral("builtin"), o);
    Outcome out;
    QObject::connect(&client, &HttpClient::RequestCompleted, &client, [&](const QString& b) { out.bodies << b; });
    QObject::connect(&client, &HttpClient::RequestError, &client, [&](const QString& e) { out.errors << e; });
    client.Post(fake.baseUrl().resolved(QUrl(QStringLiteral("api.php"))), {{"a", "all_json_setting"}});
    QDeadlineTimer deadline(20000);
    while (out.bodies.size() + out.errors.size() == 0 && !deadline.hasExpired()) QTest::qWait(10);
    return out;
}

} // namespace

class BuiltInCaTest : public QObject {
    Q_OBJECT

private slots:
    void theBuiltInCaIsTheConfiguredFile()
    {
        const auto expected = QSslCertificate::fromPath(QStringLiteral(AMBERVALE_TEST_CERTS "/ca.pem"), QSsl::Pem);
        QCOMPARE(expected.size(), 1);
        QCOMPARE(tls::BuiltInCaCertificates(), expected);
        const QList<QSslCertificate> trusted = tls::Configuration().caCertificates();
        QVERIFY(trusted.contains(expected.first()));
        // The system's roots are still there beside it.
        QVERIFY(trusted.size() > 1);
        QCOMPARE(tls::Configuration().caCertificates(), trusted);
    }

    void serviceSignedByItIsReachedWithoutAFile()
    {
        FakeService fake(FakeService::Transport::Https, QStringLiteral(AMBERVALE_TEST_CERTS));
        QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
        fake.enqueue({.body = "settings"});
        const Outcome out = PostOnce(fake);
        QCOMPARE(out.errors, QStringList());
        QCOMPARE(out.bodies, QStringList{"settings"});
    }

    void otherCasStayRefusedUntilTrusted()
    {
        FakeService other(FakeService::Transport::Https); // a throw-away CA of its own
        QVERIFY2(other.isListening(), qPrintable(other.errorString()));
        other.setDefaultReply({.body = "other"});
        const Outcome refused = PostOnce(other);
        QCOMPARE(refused.bodies, QStringList());
        QCOMPARE(refused.errors.size(), 1);
        QVERIFY2(refused.errors.at(0).contains(QLatin1String("TLS")), qPrintable(refused.errors.at(0)));

        // Trusting a further CA replaces the cached list, the built-in CA stays.
        QCOMPARE(tls::TrustExtraCaFile(other.caCertificatePath()), 1);
        QCOMPARE(PostOnce(other).bodies, QStringList{"other"});
        QVERIFY(tls::Configuration().caCertificates().contains(tls::BuiltInCaCertificates().first()));
    }
};

QTEST_GUILESS_MAIN(BuiltInCaTest)
#include "tst_session_builtin_ca.moc"
