// HttpClient over HTTPS against the fake service's throw-away CA: refused
// while that CA is unknown, reachable once it is trusted as an extra CA.
// Trust is process-wide and one-way, so the test functions run in this order.

#include "FakeService.h"
#include "HttpClient.h"
#include "Tls.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

namespace {

constexpr int kWaitMs = 20000;

struct Outcome {
    QStringList bodies;
    QStringList errors;
};

// One POST; it returns at once and its outcome is awaited in the event loop.
Outcome PostOnce(const QUrl& url)
{
    HttpClient::Options o;
    o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = 15000;
    HttpClient client(QStringLiteral("tls"), o);
    Outcome out;
    QObject::connect(&client, &HttpClient::RequestCompleted, &client, [&](const QString& b) { out.bodies << b; });
    QObject::connect(&client, &HttpClient::RequestError, &client, [&](const QString& e) { out.errors << e; });
    client.Post(url, {{"a", "settings"}});
    if (out.bodies.size() + out.errors.size() != 0) qWarning("Post delivered before returning");
    QDeadlineTimer deadline(kWaitMs);
    while (out.bodies.size() + out.errors.size() == 0 && !deadline.hasExpired()) QTest::qWait(10);
    QTest::qWait(100); // a second, late outcome would show here
    return out;
}

} // namespace

class TlsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void unknownCaIsRefused();
    void filesWithoutCertificatesAddNothing_data();
    void filesWithoutCertificatesAddNothing();
    void trustedExtraCaIsReachable_data();
    void trustedExtraCaIsReachable();
    void cleanupTestCase();

private:
    std::unique_ptr<FakeService> m_fake;
};

void TlsTest::initTestCase()
{
    m_fake = std::make_unique<FakeService>(FakeService::Transport::Https);
    QVERIFY2(m_fake->isListening(), qPrintable(m_fake->errorString()));
    QVERIFY(!m_fake->caCertificatePath().isEmpty());
    m_fake->setDefaultReply({.body = "{\"secure\":true}"});
}

void TlsTest::cleanupTestCase()
{
    m_fake.reset();
}

void TlsTest::unknownCaIsRefused()
{
    const Outcome out = PostOnce(m_fake->baseUrl().resolved(QUrl(QStringLiteral("api.php"))));
    QCOMPARE(out.bodies, QStringList());
    QCOMPARE(out.errors.size(), 1);
    QVERIFY(!out.errors.at(0).trimmed().isEmpty());
}

void TlsTest::filesWithoutCertificatesAddNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");

    QTest::newRow("missing file") << QByteArray() << false;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("not PEM") << QByteArray("just some text\n") << true;
}

void TlsTest::filesWithoutCertificatesAddNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);

    QString path = QStringLiteral("/nonexistent/ambervale-ca.pem");
    QTemporaryFile file;
    if (exists) {
        QVERIFY(file.open());
        file.write(content);
        file.close();
        path = file.fileName();
    }
    QCOMPARE(tls::TrustExtraCaFile(path), 0);
    // And it still trusts nothing new.
    const Outcome out = PostOnce(m_fake->baseUrl().resolved(QUrl(QStringLiteral("api.php"))));
    QCOMPARE(out.bodies, QStringList());
    QCOMPARE(out.errors.size(), 1);
}

void TlsTest::trustedExtraCaIsReachable_data()
{
    QTest::addColumn<QString>("host");

    QTest::newRow("127.0.0.1") << "127.0.0.1";
    QTest::newRow("localhost") << "localhost";
}

void TlsTest::trustedExtraCaIsReachable()
{
    QFETCH(QString, host);

    static const int added = tls::TrustExtraCaFile(m_fake->caCertificatePath());
    QVERIFY(added >= 1);
    QVERIFY(tls::Configuration().caCertificates().contains(m_fake->caCertificates().at(0)));

    QUrl url = m_fake->baseUrl().resolved(QUrl(QStringLiteral("api.php")));
    url.setHost(host);
    const Outcome out = PostOnce(url);
    QCOMPARE(out.errors, QStringList());
    QCOMPARE(out.bodies, QStringList({"{\"secure\":true}"}));
}

QTEST_GUILESS_MAIN(TlsTest)
#include "tst_session_tls.moc"
