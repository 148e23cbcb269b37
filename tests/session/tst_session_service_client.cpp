// The service client: calls return at once and are answered by continuation;
// an action is one request at a time, or the newer request supersedes the
// older; an answer for someone who has gone is dropped.
#include "FakeService.h"
#include "ServiceClient.h"

#include <QTcpServer>
#include <QtTest>
#include <memory>

namespace {
ScriptedReply Late(const QByteArray& body, int delayMs)
{
    ScriptedReply r;
    r.body = body;
    r.delayMs = delayMs;
    return r;
}
} // namespace

class ServiceClientTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeService> m_fake;
    QUrl Api() const { return m_fake->baseUrl().resolved(QUrl(QStringLiteral("api.php"))); }

private slots:
    void init() { m_fake = std::make_unique<FakeService>(); }
    void cleanup() { m_fake.reset(); }

    void secondRequestOfAnActionIsNotSentWhileTheFirstIsOut()
    {
        ServiceClient service;
        m_fake->setDefaultReply(Late("first", 400));
        QStringList answers;
        const auto record = [&](const HttpClient::Outcome& o) { answers << (o.ok ? o.body : o.description); };
        QVERIFY(service.Post("x", ServiceClient::Channel::Message, Api(), {{"a", "x"}}, nullptr, record));
        QVERIFY(service.Busy("x"));
        QVERIFY(!service.Post("x", ServiceClient::Channel::Message, Api(), {{"a", "x"}}, nullptr, record));
        // Another action is not held back by it.
        QVERIFY(service.Post("y", ServiceClient::Channel::Message, Api(), {{"a", "y"}}, nullptr, record));
        QTRY_COMPARE(answers.size(), 2);
        QCOMPARE(answers, (QStringList{"first", "first"}));
        QCOMPARE(m_fake->requestCount(), 2);
        QVERIFY(!service.Busy("x"));
        // Answered: the action may go again.
        QVERIFY(service.Post("x", ServiceClient::Channel::Message, Api(), {{"a", "x"}}, nullptr, record));
        QTRY_COMPARE(answers.size(), 3);
    }

    void newerRequestSupersedesTheOlder()
    {
        ServiceClient service;
        m_fake->setHandler([](const RecordedRequest& r) { return Late(r.field("n").toUtf8(), r.field("n") == "1" ? 600 : 0); });
        QStringList answers;
        const auto record = [&](const HttpClient::Outcome& o) { answers << o.body; };
        const auto overlap = ServiceClient::Overlap::Supersede;
        QVERIFY(service.Post("d", ServiceClient::Channel::Deposit, Api(), {{"n", "1"}}, nullptr, record, overlap));
        QVERIFY(service.Post("d", ServiceClient::Channel::Deposit, Api(), {{"n", "2"}}, nullptr, record, overlap));
        QTRY_COMPARE(m_fake->requestCount(), 2);
        QTRY_COMPARE(answers, QStringList{"2"});
        QTest::qWait(900); // the first one's late answer arrives and is dropped
        QCOMPARE(answers, QStringList{"2"});
        QVERIFY(!service.Busy("d"));
    }

    void answerForSomeoneWhoHasGoneIsDropped()
    {
        ServiceClient service;
        m_fake->setDefaultReply(Late("late", 300));
        int answered = 0;
        auto asker = std::make_unique<QObject>();
        QVERIFY(service.Post("z", ServiceClient::Channel::Message, Api(), {{"a", "z"}}, asker.get(),
                             [&](const HttpClient::Outcome&) { ++answered; }));
        asker.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!service.Busy("z"), 10000);
        QCOMPARE(answered, 0);
    }

    void transportFailureIsAnAnswerToo()
    {
        ServiceClient service;
        m_fake.reset(); // nobody listens any more
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/api.php").arg(closed.serverPort()));
        closed.close();
        HttpClient::Outcome outcome;
        bool answered = false;
        QVERIFY(service.Post("f", ServiceClient::Channel::Message, url, {{"a", "f"}}, nullptr,
                             [&](const HttpClient::Outcome& o) {
                                 outcome = o;
                                 answered = true;
                             }));
        QTRY_VERIFY(answered);
        QVERIFY(!outcome.ok);
        QVERIFY(!outcome.description.isEmpty());
        QVERIFY(!service.Busy("f"));
    }

    void componentsKeepTheirNamesAndNeverHoldTheGui()
    {
        ServiceClient service;
        for (const char* name : {"NetHTTPClient1", "NetHTTPClient_c_coin_name", "NetHTTP_MessageResult",
                                 "NetHTTP_Get_Deposit", "NetHTTP_get_swap", "HTTPGetPlayers", "HTTPGetWinner"}) {
            auto* client = service.findChild<HttpClient*>(QString::fromLatin1(name));
            QVERIFY2(client, name);
            // A request to a port nobody listens on: its failure is answered
            // later, from the event loop, never inside the call.
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            const QUrl url(QStringLiteral("http://127.0.0.1:%1/api.php").arg(closed.serverPort()));
            closed.close();
            bool answered = false;
            client->Post(url, {{"a", "probe"}}, nullptr, [&](const HttpClient::Outcome&) { answered = true; });
            QVERIFY2(!answered, name);
            QTRY_VERIFY2(answered, name);
        }
        QCOMPARE(ServiceClient::Instance(), &service);
    }
};

QTEST_GUILESS_MAIN(ServiceClientTest)
#include "tst_session_service_client.moc"
