// Form bodies byte for byte, the same bodies as the fake service receives
// them, and the process-wide state's URL and reset.

#include "AppState.h"
#include "BuildConfig.h"
#include "FakeService.h"
#include "FormEncoding.h"
#include "HttpClient.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(FormFields)

namespace {

FormFields Fields(std::initializer_list<QPair<QString, QString>> list)
{
    return FormFields(list);
}

// Field lists with the exact bytes their body must have.
void AddFieldTable()
{
    QTest::addColumn<FormFields>("fields");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("action and session") << Fields({{"a", "settings"}, {"session", "0CC175B9C0F1B6A831C399E269772661"}})
                                        << QByteArray("a=settings&session=0CC175B9C0F1B6A831C399E269772661");
    QTest::newRow("separators in a value")
        << Fields({{"q", "a&b=c+d e"}, {"next", "1"}}) << QByteArray("q=a%26b%3Dc%2Bd+e&next=1");
    QTest::newRow("non-ASCII value") << Fields({{"login", QStringLiteral("jos\u00E9")},
                                                {"pass", QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442")}})
                                     << QByteArray("login=jos%C3%A9&pass=%D0%9F%D1%80%D0%B8%D0%B2%D0%B5%D1%82");
    QTest::newRow("order kept, not sorted")
        << Fields({{"z", "1"}, {"a", "2"}, {"m", "3"}}) << QByteArray("z=1&a=2&m=3");
    QTest::newRow("repeated name kept twice") << Fields({{"k", "1"}, {"k", "2"}}) << QByteArray("k=1&k=2");
    QTest::newRow("empty values") << Fields({{"a", ""}, {"b", ""}}) << QByteArray("a=&b=");
    QTest::newRow("name needs encoding too")
        << Fields({{QStringLiteral("name \u00E9"), "v"}}) << QByteArray("name+%C3%A9=v");
    QTest::newRow("unreserved and star") << Fields({{"s", "~-._*"}, {"pct", "100%"}})
                                         << QByteArray("s=~-._%2A&pct=100%25");
}

HttpClient::Options TestOptions()
{
    HttpClient::Options o;
    o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = 15000;
    return o;
}

} // namespace

class FormStateTest : public QObject {
    Q_OBJECT

private slots:
    void encodeComponent_data();
    void encodeComponent();
    void encodeFields_data();
    void encodeFields();
    void emptyFieldListIsEmptyBody();
    void postSendsFormBody_data();
    void postSendsFormBody();

    void apiUrlFollowsScheme_data();
    void apiUrlFollowsScheme();
    void resetRestoresStartValuesButKeepsAddress();
};

void FormStateTest::encodeComponent_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("space is plus") << "a b" << QByteArray("a+b");
    QTest::newRow("ampersand") << "&" << QByteArray("%26");
    QTest::newRow("equals") << "=" << QByteArray("%3D");
    QTest::newRow("plus") << "+" << QByteArray("%2B");
    QTest::newRow("percent") << "%" << QByteArray("%25");
    QTest::newRow("star") << "*" << QByteArray("%2A");
    QTest::newRow("slash and colon") << "/:" << QByteArray("%2F%3A");
    QTest::newRow("unreserved unchanged") << "~-._" << QByteArray("~-._");
    QTest::newRow("letters and digits unchanged") << "ABCXYZabcxyz0189" << QByteArray("ABCXYZabcxyz0189");
    QTest::newRow("e acute") << QStringLiteral("\u00E9") << QByteArray("%C3%A9");
    QTest::newRow("cyrillic") << QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442")
                              << QByteArray("%D0%9F%D1%80%D0%B8%D0%B2%D0%B5%D1%82");
    QTest::newRow("outside the BMP") << QString::fromUtf8("\xF0\x9F\x98\x80") << QByteArray("%F0%9F%98%80");
    QTest::newRow("line break and tab") << "a\r\n\tb" << QByteArray("a%0D%0A%09b");
    QTest::newRow("upper-case hex digits") << "\x1f?#" << QByteArray("%1F%3F%23");
    QTest::newRow("empty") << "" << QByteArray("");
}

void FormStateTest::encodeComponent()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(form::EncodeComponent(text), expected);
}

void FormStateTest::encodeFields_data()
{
    AddFieldTable();
}

void FormStateTest::encodeFields()
{
    QFETCH(FormFields, fields);
    QFETCH(QByteArray, body);
    QCOMPARE(form::Encode(fields), body);
}

void FormStateTest::emptyFieldListIsEmptyBody()
{
    QCOMPARE(form::Encode(FormFields()), QByteArray());
}

void FormStateTest::postSendsFormBody_data()
{
    AddFieldTable();
}

void FormStateTest::postSendsFormBody()
{
    QFETCH(FormFields, fields);
    QFETCH(QByteArray, body);

    FakeService fake;
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.enqueue({.body = "OK"});

    HttpClient client(QStringLiteral("form"), TestOptions());
    QSignalSpy completed(&client, &HttpClient::RequestCompleted);
    QSignalSpy failed(&client, &HttpClient::RequestError);
    client.Post(fake.baseUrl().resolved(QUrl(QStringLiteral("api.php"))), fields);
    QCOMPARE(completed.count() + failed.count(), 0); // answered later, never inside the call
    QTRY_COMPARE_WITH_TIMEOUT(completed.count() + failed.count(), 1, 20000);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(completed.count(), 1);

    QCOMPARE(fake.requestCount(), 1);
    const RecordedRequest req = fake.requests().at(0);
    QCOMPARE(req.method, QByteArray("POST"));
    QCOMPARE(req.pathWithoutQuery(), QByteArray("/api.php"));
    QCOMPARE(req.header("Content-Type"), QByteArray("application/x-www-form-urlencoded; charset=utf-8"));
    QCOMPARE(req.body, body);
    QCOMPARE(req.fields, fields);
}

void FormStateTest::apiUrlFollowsScheme_data()
{
    QTest::addColumn<QString>("scheme");

    QTest::newRow("https") << "https";
    QTest::newRow("http") << "http";
}

void FormStateTest::apiUrlFollowsScheme()
{
    QFETCH(QString, scheme);
    ResetState();
    State().ServerScheme = scheme;
    const QString host = QStringLiteral(AMBERVALE_SERVICE_HOST);
    QCOMPARE(State().ApiUrl(), QUrl(scheme + "://" + host + "/api.php"));
    QCOMPARE(State().ApiUrl().scheme(), scheme);
    QCOMPARE(State().ApiUrl().path(), QStringLiteral("/api.php"));
    QCOMPARE(State().Url(QStringLiteral("lotto/btc.json")), QUrl(scheme + "://" + host + "/lotto/btc.json"));
    ResetState();
}

void FormStateTest::resetRestoresStartValuesButKeepsAddress()
{
    const QString address = QStringLiteral("://wallet.test:9443/");
    State().ServerAddress = address;
    State().ServerScheme = QStringLiteral("http");
    State().UserLogin = QStringLiteral("bob");
    State().PassHash = QStringLiteral("0CC175B9C0F1B6A831C399E269772661");
    State().LoggedIn = true;
    State().ServerLoadPercent = 100;
    State().AutoLoginPending = 0;
    State().SettingsReturnTo = QStringLiteral("dashboard");

    ResetState();

    const AppState& s = State();
    QCOMPARE(s.ServerAddress, address);
    QCOMPARE(s.ServerScheme, QStringLiteral("https"));
    QCOMPARE(s.ApiUrl(), QUrl(QStringLiteral("https://wallet.test:9443/api.php")));
    QVERIFY(s.UserLogin.isEmpty());
    QVERIFY(s.PassHash.isEmpty());
    QCOMPARE(s.LoggedIn, false);
    QCOMPARE(s.ServerLoadPercent, 0);
    QCOMPARE(s.AutoLoginPending, 1);
    QVERIFY(s.SettingsReturnTo.isEmpty());

    State().ServerAddress = QStringLiteral("://" AMBERVALE_SERVICE_HOST "/");
}

QTEST_GUILESS_MAIN(FormStateTest)
#include "tst_session_form_state.moc"
