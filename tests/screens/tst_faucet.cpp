// The faucet: a question before every claim, only a right answer claims, and
// the advert views on the service's "morec/ads/" pages.
#include "ScreenTestSupport.h"
#include "common/WebView.h"
#include "free_coin.h"

#include <QRegularExpression>

using namespace support;

class FaucetTest : public ScreenTest {
    Q_OBJECT

    void Script() override
    {
        fake->setHandler([](const RecordedRequest& r) {
            ScriptedReply reply;
            reply.body = r.field("a") == QLatin1String("free_coin") ? QByteArray("You received 0.01 USDT <b>!</b>")
                                                                    : Json(AccountReply());
            return reply;
        });
    }

    void Ready() override
    {
        LogIn();
        Activate(Get<TFormDashboard>("dashboard"));
        Click(Get<TFormDashboard>("dashboard"), "freecoin_btn");
        QTRY_VERIFY(Get<TFormFaucet>("faucet")->isVisible());
    }

    // The answer to the question on the screen.
    static int Answer()
    {
        static const QRegularExpression shape(QStringLiteral(R"(^(\d)([+-])(\d)=\?$)"));
        const QRegularExpressionMatch m = shape.match(Child<QLabel>(Get<TFormFaucet>("faucet"), "Text1")->text());
        if (!m.hasMatch()) qFatal("unexpected question");
        const int a = m.captured(1).toInt();
        const int b = m.captured(3).toInt();
        return m.captured(2) == QLatin1String("+") ? a + b : a - b;
    }

    static bool QuestionShown() { return !Child(Get<TFormFaucet>("faucet"), "panel_captha")->isHidden(); }

private slots:
    void questionOnGetUsdt()
    {
        QCOMPARE(Get<TFormFaucet>("faucet")->windowTitle(), QStringLiteral("Faucet"));
        QCOMPARE(Child<QLabel>(Get<TFormFaucet>("faucet"), "TitleLabel")->text(), QStringLiteral("Free Coin"));
        QVERIFY(!QuestionShown());
        QCOMPARE(Child<QLabel>(Get<TFormFaucet>("faucet"), "Text1")->text(), QStringLiteral("0+0=?"));
        Click(Get<TFormFaucet>("faucet"), "Button1");
        QVERIFY(QuestionShown());
        QCOMPARE(State().FaucetAnswer, Answer());
    }

    void rightAnswerClaims()
    {
        const QString login = State().UserLogin; // the account refresh after the answer rereads it
        Click(Get<TFormFaucet>("faucet"), "Button1");
        Type(Get<TFormFaucet>("faucet"), "conf_randomResult", QString::number(Answer()));
        Click(Get<TFormFaucet>("faucet"), "Button4");
        QTRY_COMPARE(Requests("free_coin").size(), 1);
        const QList<RecordedRequest> claims = Requests("free_coin");
        QStringList names;
        for (const auto& f : claims.first().fields) names << f.first;
        QCOMPARE(names, (QStringList{"a", "s", "pass", "session"})); // the answer is not sent
        QCOMPARE(claims.first().field("s"), login);
        QCOMPARE(claims.first().field("pass"), State().PassHash);
        QVERIFY(!QuestionShown());
        QTRY_VERIFY(PanelShown(Get<TFormFaucet>("faucet")));
        QTRY_COMPARE(PanelText(Get<TFormFaucet>("faucet")), QStringLiteral("You received 0.01 USDT <b>!</b>"));
        // A second claim needs a new question.
        QVERIFY(!Child(Get<TFormFaucet>("faucet"), "Button4")->isVisible());
    }

    // The reward is in: the account is fetched at once, not at the dashboard's
    // next refresh.
    void claimRefreshesTheAccountAtOnce()
    {
        LogIn(SettingsReply(), AccountReply("0.25"));
        QCOMPARE(Account().AmountText(AccountModel::Amount::Wallet, "usdt"), QStringLiteral("0,25000000"));
        Click(Get<TFormFaucet>("faucet"), "Button1");
        Type(Get<TFormFaucet>("faucet"), "conf_randomResult", QString::number(Answer()));
        Click(Get<TFormFaucet>("faucet"), "Button4");
        QTRY_COMPARE(Requests("free_coin").size(), 1);
        QTRY_COMPARE(Requests("useraccount").size(), 1);
        QTRY_COMPARE(Account().AmountText(AccountModel::Amount::Wallet, "usdt"), QStringLiteral("0,50000000"));
        QVERIFY(Get<TFormFaucet>("faucet")->isVisible());
    }

    void wrongAnswers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong number") << "wrong" // replaced by a number that is not the answer
                                      << "You did not count correctly..";
        QTest::newRow("not a number") << "abc"
                                      << "'abc' is not a valid integer value";
        QTest::newRow("empty") << ""
                               << "'' is not a valid integer value";
        QTest::newRow("decimal") << "1,5"
                                 << "'1,5' is not a valid integer value";
    }
    void wrongAnswers()
    {
        QFETCH(QString, typed);
        Click(Get<TFormFaucet>("faucet"), "Button1");
        const QString question = Child<QLabel>(Get<TFormFaucet>("faucet"), "Text1")->text();
        if (typed == QLatin1String("wrong")) typed = QString::number(Answer() + 1);
        Type(Get<TFormFaucet>("faucet"), "conf_randomResult", typed);
        Click(Get<TFormFaucet>("faucet"), "Button4");
        QVERIFY(Requests("free_coin").isEmpty());
        QVERIFY(PanelShown(Get<TFormFaucet>("faucet")));
        QTEST(PanelText(Get<TFormFaucet>("faucet")), "message");
        // Same question, panel open: the user may try again, and the right answer then claims.
        QVERIFY(QuestionShown());
        QCOMPARE(Child<QLabel>(Get<TFormFaucet>("faucet"), "Text1")->text(), question);
        Type(Get<TFormFaucet>("faucet"), "conf_randomResult", QString::number(Answer()));
        Click(Get<TFormFaucet>("faucet"), "Button4");
        QTRY_COMPARE(Requests("free_coin").size(), 1);
    }

    void closingKeepsTheAnswerUntilTheNextQuestion()
    {
        Click(Get<TFormFaucet>("faucet"), "Button1");
        const int answer = State().FaucetAnswer;
        Click(Get<TFormFaucet>("faucet"), "Text5");
        QVERIFY(!QuestionShown());
        QCOMPARE(State().FaucetAnswer, answer);
    }

    void claimFailsInTransport()
    {
        State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(ClosedPort());
        Click(Get<TFormFaucet>("faucet"), "Button1");
        Type(Get<TFormFaucet>("faucet"), "conf_randomResult", QString::number(Answer()));
        Click(Get<TFormFaucet>("faucet"), "Button4");
        QTRY_VERIFY(PanelShown(Get<TFormFaucet>("faucet")));
        QTRY_VERIFY2(PanelText(Get<TFormFaucet>("faucet")).startsWith("MessageResult:"), qPrintable(PanelText(Get<TFormFaucet>("faucet"))));
        QVERIFY(!QuestionShown());
    }

    // The adverts come from the service's host over https, whatever scheme the API uses.
    void advertPages()
    {
        QCOMPARE(State().ServerScheme, QStringLiteral("http"));
        const QString base = QStringLiteral("https://") + fake->hostPort() + QStringLiteral("/morec/ads/");
        auto* top = Child<WebView>(Get<TFormFaucet>("faucet"), "WebBrowser1");
        auto* bottom = Child<WebView>(Get<TFormFaucet>("faucet"), "WebBrowser2");
        QCOMPARE(top->Url(), QUrl(base + "a-ads_1.php"));
        QCOMPARE(bottom->Url(), QUrl(base + "a-ads_2.php"));
        QCOMPARE(Get<TFormFaucet>("faucet")->AdsBaseUrl(), base);
    }

    // Every 30 s, and only while the faucet is the active window.
    void advertsReloadOnlyWhileActive()
    {
        QCOMPARE(Get<TFormFaucet>("faucet")->Timer1->interval(), 30000);
        QVERIFY(Get<TFormFaucet>("faucet")->Timer1->isActive());
        auto* top = Child<WebView>(Get<TFormFaucet>("faucet"), "WebBrowser1");
        const QUrl advert = top->Url();
        const QUrl elsewhere("about:blank");
        top->Navigate(elsewhere);
        Activate(Get<TFormDashboard>("dashboard"));
        Get<TFormFaucet>("faucet")->Timer1Timer();
        QCOMPARE(top->Url(), elsewhere);
        Activate(Get<TFormFaucet>("faucet"));
        top->Navigate(elsewhere);
        Get<TFormFaucet>("faucet")->Timer1Timer();
        QCOMPARE(top->Url(), advert);
    }

    void backReturnsToTheDashboard()
    {
        Click(Get<TFormFaucet>("faucet"), "btn_back");
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormFaucet>("faucet")->isVisible());
    }
};

AMBERVALE_GUI_TEST_MAIN(FaucetTest)
#include "tst_faucet.moc"
