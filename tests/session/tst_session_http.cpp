// HttpClient against the scripted fake service over plain HTTP: where and when
// handlers run (later, on the GUI thread, never inside the call), what counts
// as a reply and what as a failure, body decoding, and the per-client options
// (time-outs, cookies, user agent).

#include "FakeService.h"
#include "AppState.h"
#include "HttpClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QThread>
#include <QTimer>
#include <QtTest>

Q_DECLARE_METATYPE(ScriptedReply)

namespace {

constexpr int kWaitMs = 20000; // generous: only a hang should hit it

HttpClient::Options MakeOptions()
{
    HttpClient::Options o;
    o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = 15000;
    return o;
}

QUrl ApiUrl(const FakeService& fake)
{
    return fake.baseUrl().resolved(QUrl(QStringLiteral("api.php")));
}

// Everything a client delivered, and on which thread its handler ran. Connected
// directly so a signal emitted from a wrong thread is seen there.
struct Recorder {
    QStringList bodies;
    QStringList errors;
    QList<QThread*> threads;

    explicit Recorder(HttpClient& client)
    {
        QObject::connect(
            &client, &HttpClient::RequestCompleted, &client,
            [this](const QString& body) {
                bodies << body;
                threads << QThread::currentThread();
            },
            Qt::DirectConnection);
        QObject::connect(
            &client, &HttpClient::RequestError, &client,
            [this](const QString& description) {
                errors << description;
                threads << QThread::currentThread();
            },
            Qt::DirectConnection);
    }
    int total() const { return int(bodies.size() + errors.size()); }
    bool allOnGuiThread() const
    {
        return std::all_of(threads.begin(), threads.end(),
                           [](QThread* t) { return t == QCoreApplication::instance()->thread(); });
    }
};

// Posts once. Post must return before any outcome is delivered; the outcome
// comes from the event loop.
bool Exchange(HttpClient& client, Recorder& rec, const QUrl& url, const FormFields& fields = {{"a", "test"}})
{
    const int before = rec.total();
    client.Post(url, fields);
    if (rec.total() != before) {
        qWarning("Post delivered before returning");
        return false;
    }
    QDeadlineTimer deadline(kWaitMs);
    while (rec.total() == before && !deadline.hasExpired()) QTest::qWait(10);
    return rec.total() == before + 1;
}

QByteArray Encoded(const char* charset, const QString& text)
{
    QStringEncoder encoder(charset);
    return encoder.isValid() ? QByteArray(encoder(text)) : QByteArray("encoder missing");
}

} // namespace

class HttpClientTest : public QObject {
    Q_OBJECT

private slots:
    void backgroundDeliversOnGuiThreadInArrivalOrder();
    void slowExchangeNeverHoldsGuiThread();

    void repliesReachCompleted_data();
    void repliesReachCompleted();
    void decodeBody_data();
    void decodeBody();

    void droppedConnectionIsError();
    void secretsKeepTheStartingScheme_data();
    void secretsKeepTheStartingScheme();
    void postIsSentOnce_data();
    void postIsSentOnce();
    void bodySizeCap_data();
    void bodySizeCap();
    void declaredLengthOverCapIsRefusedAtOnce();
    void tricklingReplyMeetsTheDeadline();
    void responseTimeoutIsError();

    void userAgent_data();
    void userAgent();
    void cookies_data();
    void cookies();
};

void HttpClientTest::backgroundDeliversOnGuiThreadInArrivalOrder()
{
    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.setHandler([](const RecordedRequest& r) {
        if (r.field(QStringLiteral("n")) == QLatin1String("1")) return ScriptedReply{.body = "first", .delayMs = 500};
        return ScriptedReply{.body = "second"};
    });

    HttpClient client(QStringLiteral("background"), MakeOptions());
    Recorder rec(client);
    client.Post(ApiUrl(fake), {{"n", "1"}});
    client.Post(ApiUrl(fake), {{"n", "2"}});
    QCOMPARE(rec.total(), 0); // Post returns at once

    QTRY_COMPARE_WITH_TIMEOUT(rec.total(), 2, kWaitMs);
    QCOMPARE(rec.errors, QStringList());
    QCOMPARE(rec.bodies, QStringList({"second", "first"}));
    QVERIFY(rec.allOnGuiThread());
}

void HttpClientTest::slowExchangeNeverHoldsGuiThread()
{
    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    // The quick reply is due while the slow exchange is still waiting.
    fake.setHandler([](const RecordedRequest& r) {
        if (r.field(QStringLiteral("who")) == QLatin1String("quick"))
            return ScriptedReply{.body = "quick", .delayMs = 400};
        return ScriptedReply{.body = "slow", .delayMs = 1200};
    });

    bool waiting = false; // the slow request is out
    int ticksWhileWaiting = 0;
    QTimer zero;
    zero.setInterval(0);
    QTimer ten;
    ten.setInterval(10);
    for (QTimer* t : {&zero, &ten}) {
        connect(t, &QTimer::timeout, this, [&] {
            if (waiting) ++ticksWhileWaiting;
        });
        t->start();
    }

    HttpClient quick(QStringLiteral("quick"), MakeOptions());
    Recorder quickRec(quick);
    HttpClient slow(QStringLiteral("slow"), MakeOptions());
    Recorder slowRec(slow);

    waiting = true;
    slow.Post(ApiUrl(fake), {{"who", "slow"}});
    QCOMPARE(slowRec.total(), 0); // returned at once
    quick.Post(ApiUrl(fake), {{"who", "quick"}});

    // The other client's reply, and timers, are handled while the slow one waits.
    QTRY_COMPARE_WITH_TIMEOUT(quickRec.bodies, QStringList({"quick"}), kWaitMs);
    if (slowRec.total() != 0) QSKIP("the slow reply came before the quick one (machine too busy to tell)");
    QVERIFY(ticksWhileWaiting > 0);
    QTRY_COMPARE_WITH_TIMEOUT(slowRec.bodies, QStringList({"slow"}), kWaitMs);
    waiting = false;
    QVERIFY(quickRec.allOnGuiThread());
    QVERIFY(slowRec.allOnGuiThread());
}

void HttpClientTest::repliesReachCompleted_data()
{
    QTest::addColumn<ScriptedReply>("reply");
    QTest::addColumn<QString>("expected");

    const QString hello = QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442");
    const QByteArray errorPage = "<!DOCTYPE html>\n<html><head><title>500 Internal Server Error</title></head>\n"
                                 "<body><h1>Internal Server Error</h1><p>The server hit a snag.</p></body></html>\n";

    struct Row {
        const char* name;
        ScriptedReply reply;
        QString expected;
    };
    const QList<Row> rows = {
        {"plain 200", {.body = "{\"ok\":1}"}, "{\"ok\":1}"},
        {"HTML page with 500", {.body = errorPage, .status = 500}, QString::fromLatin1(errorPage)},
        {"404", {.body = "not here", .status = 404}, "not here"},
        {"403", {.body = "denied", .status = 403}, "denied"},
        {"400", {.body = "bad", .status = 400}, "bad"},
        {"401", {.body = "who are you", .status = 401}, "who are you"},
        {"405", {.body = "not allowed", .status = 405}, "not allowed"},
        {"409", {.body = "conflict", .status = 409}, "conflict"},
        {"410", {.body = "gone", .status = 410}, "gone"},
        {"418", {.body = "teapot", .status = 418}, "teapot"},
        {"429", {.body = "slow down", .status = 429}, "slow down"},
        {"501", {.body = "no such action", .status = 501}, "no such action"},
        {"502", {.body = "bad gateway", .status = 502}, "bad gateway"},
        {"503", {.body = "busy", .status = 503}, "busy"},
        {"empty body", {.body = ""}, ""},
        {"empty body with 500", {.body = "", .status = 500}, ""},
        {"windows-1251", {.body = Encoded("windows-1251", hello), .charset = "windows-1251"}, hello},
        {"windows-1251 quoted, upper case",
         {.body = Encoded("windows-1251", hello), .charset = "\"WINDOWS-1251\""},
         hello},
        {"iso-8859-1", {.body = "caf\xE9", .charset = "iso-8859-1"}, QStringLiteral("caf\u00E9")},
        {"unknown charset is read as UTF-8", {.body = hello.toUtf8(), .charset = "x-no-such-charset"}, hello},
        {"no charset is UTF-8", {.body = hello.toUtf8(), .charset = ""}, hello},
        {"no content type is UTF-8", {.body = hello.toUtf8(), .contentType = ""}, hello},
        {"JSON type", {.body = "[1,2]", .contentType = "application/json"}, "[1,2]"},
    };
    for (const Row& row : rows) QTest::newRow(row.name) << row.reply << row.expected;
}

void HttpClientTest::repliesReachCompleted()
{
    QFETCH(ScriptedReply, reply);
    QFETCH(QString, expected);

    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.enqueue(reply);
    HttpClient client(QStringLiteral("replies"), MakeOptions());
    Recorder rec(client);
    QVERIFY(Exchange(client, rec, ApiUrl(fake)));
    QCOMPARE(rec.errors, QStringList());
    QCOMPARE(rec.bodies, QStringList({expected}));
    QVERIFY(rec.allOnGuiThread());
}

void HttpClientTest::decodeBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("expected");

    const QString hello = QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442");
    const QByteArray cp1251 = Encoded("windows-1251", hello);
    QTest::newRow("windows-1251") << cp1251 << QByteArray("text/html; charset=windows-1251") << hello;
    QTest::newRow("no blank, quoted") << cp1251 << QByteArray("text/html;charset=\"windows-1251\"") << hello;
    QTest::newRow("parameter name in capitals") << cp1251 << QByteArray("text/html; CHARSET=Windows-1251") << hello;
    QTest::newRow("charset before other parameters")
        << cp1251 << QByteArray("text/html; charset=windows-1251; format=flowed") << hello;
    QTest::newRow("koi8-r") << Encoded("koi8-r", hello) << QByteArray("text/plain; charset=koi8-r") << hello;
    QTest::newRow("utf8 spelled without dash") << hello.toUtf8() << QByteArray("text/html; charset=utf8") << hello;
    QTest::newRow("unknown charset") << hello.toUtf8() << QByteArray("text/html; charset=bogus-123") << hello;
    QTest::newRow("no charset") << hello.toUtf8() << QByteArray("text/html") << hello;
    QTest::newRow("no content type") << hello.toUtf8() << QByteArray() << hello;
    QTest::newRow("empty body") << QByteArray() << QByteArray("text/html; charset=windows-1251") << QString();
}

void HttpClientTest::decodeBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, expected);
    QCOMPARE(HttpClient::DecodeBody(body, contentType), expected);
}

void HttpClientTest::droppedConnectionIsError()
{
    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    // Every time: the library may quietly retry a single drop.
    fake.setDefaultReply({.dropConnection = true});

    HttpClient client(QStringLiteral("drop"), MakeOptions());
    Recorder rec(client);
    QVERIFY(Exchange(client, rec, ApiUrl(fake)));
    QCOMPARE(rec.errors.size(), 1);
    QVERIFY(!rec.errors.at(0).trimmed().isEmpty());
    QVERIFY(rec.allOnGuiThread());
    QTest::qWait(200); // nothing late either
    QCOMPARE(rec.bodies, QStringList());
    QCOMPARE(rec.errors.size(), 1);
}

void HttpClientTest::secretsKeepTheStartingScheme_data()
{
    QTest::addColumn<bool>("fellBack"); // the settings request switched https to http
    QTest::addColumn<FormFields>("fields");
    QTest::addColumn<bool>("plainExpected");
    const FormFields settings{{"a", "all_json_setting"}, {"session", "X"}};
    const FormFields withdraw{{"a", "withdraw"}, {"val", "1"}, {"s", "bob"}, {"pass", "D1"}, {"session", "X"}};
    const FormFields reset{{"a", "resetpass"}, {"s", "bob"}, {"session", "X"}};
    QTest::newRow("fallen back: settings go plain") << true << settings << true;
    QTest::newRow("fallen back: login and digest stay on TLS") << true << withdraw << false;
    QTest::newRow("fallen back: a login alone stays on TLS") << true << reset << false;
    // Plain HTTP chosen on purpose (a local test service) is left alone.
    QTest::newRow("plain from the start") << false << withdraw << true;
}

void HttpClientTest::secretsKeepTheStartingScheme()
{
    QFETCH(bool, fellBack);
    QFETCH(FormFields, fields);
    QFETCH(bool, plainExpected);
    FakeService fake(FakeService::Transport::Both); // TLS with a CA this process does not trust
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.setDefaultReply({.body = "answer"});
    ResetState();
    State().ServerScheme = QStringLiteral("http");
    State().SchemeFallback = fellBack;
    QUrl url = ApiUrl(fake);
    url.setScheme(QStringLiteral("http")); // as a screen composes it from ServerScheme

    HttpClient client(QStringLiteral("scheme"), MakeOptions());
    Recorder rec(client);
    QVERIFY(Exchange(client, rec, url, fields));
    if (plainExpected) {
        QCOMPARE(rec.bodies, QStringList{"answer"});
        QCOMPARE(fake.requestCount(), 1);
        QVERIFY(!fake.requests().at(0).encrypted);
    } else {
        // Sent over TLS, which fails here: the error names it, nothing reached the service.
        QCOMPARE(rec.bodies, QStringList());
        QVERIFY2(rec.errors.at(0).contains(QLatin1String("TLS")), qPrintable(rec.errors.at(0)));
        QCOMPARE(fake.requestCount(), 0);
    }
    ResetState();
}

void HttpClientTest::postIsSentOnce_data()
{
    QTest::addColumn<bool>("afterAReply");
    QTest::newRow("first request") << false;
    // The library's re-send depends on a connection's history: a client that
    // has already had a reply must not re-send either.
    QTest::newRow("after a reply") << true;
}

void HttpClientTest::postIsSentOnce()
{
    QFETCH(bool, afterAReply);
    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    HttpClient client(QStringLiteral("once"), MakeOptions());
    Recorder rec(client);
    if (afterAReply) {
        fake.enqueue({.body = "first"});
        QVERIFY(Exchange(client, rec, ApiUrl(fake)));
        QCOMPARE(rec.bodies, QStringList{"first"});
        fake.clearRequests();
    }
    // Reads the request, then closes without a word: the service may have paid out already.
    fake.setDefaultReply({.dropConnection = true});
    QVERIFY(Exchange(client, rec, ApiUrl(fake), {{"a", "withdraw"}, {"val", "1.5"}}));
    QTest::qWait(500); // a re-send would arrive within milliseconds
    QCOMPARE(fake.requestCount(), 1);
    QCOMPARE(fake.requests().at(0).field("a"), QStringLiteral("withdraw"));
    QCOMPARE(rec.errors.size(), 1);
    QVERIFY(!rec.errors.at(0).trimmed().isEmpty());
    QCOMPARE(rec.bodies.size(), afterAReply ? 1 : 0);
}

void HttpClientTest::bodySizeCap_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("just over the cap") << HttpClient::MaxBodyBytes + 1024 << false;
    QTest::newRow("exactly the cap") << HttpClient::MaxBodyBytes << true;
}

void HttpClientTest::bodySizeCap()
{
    QFETCH(qint64, size);
    QFETCH(bool, accepted);

    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.enqueue({.body = QByteArray(size, 'x'), .contentType = "text/plain"});
    HttpClient client(QStringLiteral("cap"), MakeOptions());
    Recorder rec(client);
    QVERIFY(Exchange(client, rec, ApiUrl(fake)));
    if (accepted) {
        QCOMPARE(rec.errors, QStringList());
        QCOMPARE(rec.bodies.size(), 1);
        QCOMPARE(rec.bodies.at(0).size(), size);
    } else {
        QCOMPARE(rec.bodies.size(), 0);
        QCOMPARE(rec.errors.size(), 1);
        // Says what went wrong: the reply was too large for the limit.
        QVERIFY2(rec.errors.at(0).contains(QString::number(HttpClient::MaxBodyBytes)), qPrintable(rec.errors.at(0)));
        QVERIFY2(rec.errors.at(0).contains(QLatin1String("larger")), qPrintable(rec.errors.at(0)));
    }
}

void HttpClientTest::declaredLengthOverCapIsRefusedAtOnce()
{
    // The body trickles: reading it to the cap would take minutes, the declared
    // length alone says it is too large.
    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    ScriptedReply huge{.body = QByteArray(HttpClient::MaxBodyBytes + 1, 'x'), .contentType = "text/plain"};
    huge.trickleMs = 5;
    fake.enqueue(huge);
    HttpClient client(QStringLiteral("cap"), MakeOptions());
    Recorder rec(client);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(Exchange(client, rec, ApiUrl(fake)));
    QCOMPARE(rec.bodies.size(), 0);
    QCOMPARE(rec.errors.size(), 1);
    QVERIFY2(rec.errors.at(0).contains(QLatin1String("larger")), qPrintable(rec.errors.at(0)));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

void HttpClientTest::tricklingReplyMeetsTheDeadline()
{
    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    // A byte every 50 ms: the 400 ms inactivity time-out never fires, and the
    // body (200 bytes) would take 10 s.
    fake.enqueue({.body = QByteArray(200, 'x'), .trickleMs = 50});

    HttpClient::Options o = MakeOptions();
    o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = 400;
    HttpClient client(QStringLiteral("trickle"), o);
    QCOMPARE(client.DeadlineMs(), 1200);
    Recorder rec(client);

    // The GUI thread's responsiveness: the longest gap between ticks of a 20 ms timer.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    probe.start();
    sinceTick.start();
    QTest::qWait(100);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(Exchange(client, rec, ApiUrl(fake)));
    const qint64 elapsed = clock.elapsed();
    QTest::qWait(100);
    probe.stop();
    qInfo("outcome after %lld ms, longest GUI gap %lld ms", elapsed, longestGap);

    QCOMPARE(rec.bodies, QStringList());
    QCOMPARE(rec.errors.size(), 1);
    QVERIFY2(rec.errors.at(0).contains(QLatin1String("1.2 seconds")), qPrintable(rec.errors.at(0)));
    QVERIFY2(elapsed >= 1100 && elapsed < 4000, qPrintable(QString::number(elapsed)));
    // The deadline is kept without holding the GUI meanwhile.
    QVERIFY2(longestGap < 500, qPrintable(QString::number(longestGap)));
}

void HttpClientTest::responseTimeoutIsError()
{
    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.enqueue({.body = "too late", .delayMs = 2000});

    HttpClient::Options o = MakeOptions();
    o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = 300;
    HttpClient client(QStringLiteral("impatient"), o);
    Recorder rec(client);
    QVERIFY(Exchange(client, rec, ApiUrl(fake)));
    QCOMPARE(rec.bodies, QStringList());
    QCOMPARE(rec.errors.size(), 1);
    QVERIFY(!rec.errors.at(0).trimmed().isEmpty());
    QVERIFY2(!rec.errors.at(0).contains(QLatin1String("larger")), qPrintable(rec.errors.at(0)));
}

void HttpClientTest::userAgent_data()
{
    QTest::addColumn<QByteArray>("configured");
    QTest::newRow("browser") << QByteArray(HttpClient::BrowserUserAgent);
    QTest::newRow("custom") << QByteArray("AmbervaleTest/2.0 (probe)");
    QTest::newRow("library's own") << QByteArray();
}

void HttpClientTest::userAgent()
{
    QFETCH(QByteArray, configured);

    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.setDefaultReply({.body = "OK"});
    HttpClient::Options o = MakeOptions();
    o.userAgent = configured;
    HttpClient client(QStringLiteral("agent"), o);
    Recorder rec(client);
    QVERIFY(Exchange(client, rec, ApiUrl(fake)));
    QCOMPARE(fake.requestCount(), 1);

    const QByteArray sent = fake.requests().at(0).header("User-Agent");
    if (configured.isEmpty()) {
        QVERIFY2(!sent.trimmed().isEmpty(), "no User-Agent at all");
        QVERIFY(sent != HttpClient::BrowserUserAgent);
    } else {
        QCOMPARE(sent, configured);
    }
}

void HttpClientTest::cookies_data()
{
    QTest::addColumn<bool>("keepCookies");
    QTest::newRow("kept") << true;
    QTest::newRow("refused") << false;
}

void HttpClientTest::cookies()
{
    QFETCH(bool, keepCookies);

    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.enqueue({.body = "first", .extraHeaders = {{"Set-Cookie", "sid=abc123; Path=/"}}});
    fake.enqueue({.body = "second"});

    HttpClient::Options o = MakeOptions();
    o.keepCookies = keepCookies;
    HttpClient client(QStringLiteral("cookies"), o);
    Recorder rec(client);
    QVERIFY(Exchange(client, rec, ApiUrl(fake)));
    QVERIFY(Exchange(client, rec, ApiUrl(fake)));
    QCOMPARE(rec.bodies, QStringList({"first", "second"}));

    const auto requests = fake.requests();
    QCOMPARE(requests.size(), 2);
    QVERIFY(requests.at(0).header("Cookie").isNull());
    const QByteArray cookie = requests.at(1).header("Cookie");
    if (keepCookies)
        QVERIFY2(cookie.contains("sid=abc123"), cookie.constData());
    else
        QVERIFY2(cookie.isNull(), cookie.constData());
}

QTEST_GUILESS_MAIN(HttpClientTest)
#include "tst_session_http.moc"
