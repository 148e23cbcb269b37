// The swap screen: the delayed quote, its price and "to" amount, the local
// reverse conversion, and the swap itself.
#include "MoneyTestSupport.h"
#include "ScreenTestSupport.h"

#include "Json.h"
#include "Login.h"
#include "dashboard.h"
#include "swapcoin.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QMutex>
#include <QPushButton>
#include <QTimer>
#include <memory>

using namespace support;

// What the fake service answers to the swap actions; read on its thread.
struct SwapScript {
    QMutex mutex;
    QByteArray quote = "5000";
    QByteArray swapAnswer = "Swap done";
    int delayMs = 0;
    bool drop = false;
};

class SwapTest : public ScreenTest {
    Q_OBJECT

    std::shared_ptr<SwapScript> script;

    void Script() override
    {
        script = std::make_shared<SwapScript>();
        fake->setHandler([s = script](const RecordedRequest& r) {
            QMutexLocker lock(&s->mutex);
            if (r.field("a") != QLatin1String("get_swap_coin")) return Reply(Json(AccountReply()));
            ScriptedReply reply = Reply(r.field("com") == QLatin1String("swap") ? s->swapAnswer : s->quote);
            reply.delayMs = s->delayMs;
            reply.dropConnection = s->drop;
            return reply;
        });
    }

    void Answer(const QByteArray& quote, int delayMs = 0)
    {
        QMutexLocker lock(&script->mutex);
        script->quote = quote;
        script->delayMs = delayMs;
    }

    QComboBox* From() const { return Child<QComboBox>(Get<TFormSwap>("swap"), "ComboBox1"); }
    QComboBox* To() const { return Child<QComboBox>(Get<TFormSwap>("swap"), "ComboBox2"); }
    QLineEdit* Amount() const { return Child<QLineEdit>(Get<TFormSwap>("swap"), "edit_val"); }
    QLineEdit* ToAmount() const { return Child<QLineEdit>(Get<TFormSwap>("swap"), "cur0_to_cur1"); }
    QTimer* QuoteTimer() const { return Get<TFormSwap>("swap")->findChild<QTimer*>("TimerCheckPrice"); }
    QString Price() const { return Child<QLabel>(Get<TFormSwap>("swap"), "price_c0_c1")->text(); }

    static QStringList UpperCatalogue()
    {
        QStringList codes;
        for (const QString& c : Catalogue()) codes << c.toUpper();
        return codes;
    }

    // Logged in, the lists filled as the settings loader does, ETH -> USDT chosen
    // while the screen is hidden, then the screen opened from the dashboard.
    void OpenSwap()
    {
        LogIn();
        Get<TFormSwap>("swap")->FillCoinLists(UpperCatalogue());
        From()->setCurrentIndex(From()->findText("ETH"));
        QCOMPARE(To()->currentText(), QStringLiteral("USDT"));
        QVERIFY(!QuoteTimer()->isActive());
        Activate(Get<TFormDashboard>("dashboard"));
        Click(Get<TFormDashboard>("dashboard"), "swap_btn");
        QVERIFY(Get<TFormSwap>("swap")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
        Activate(Get<TFormSwap>("swap"));
    }

    // Waits for the n-th quote request and its answer.
    void WaitForQuote(int n)
    {
        QTRY_COMPARE_WITH_TIMEOUT(Requests("get_swap_coin").size(), n, 6000);
        QTRY_VERIFY(Child(Get<TFormSwap>("swap"), "LoadingAnim")->isHidden());
        QTRY_VERIFY(Child<QPushButton>(Get<TFormSwap>("swap"), "Button1")->isEnabled());
    }

private slots:
    void formCarriesItsControls()
    {
        QCOMPARE(Get<TFormSwap>("swap")->windowTitle(), QStringLiteral("Swap Coin"));
        QCOMPARE(Get<TFormSwap>("swap")->size(), QSize(640, 480));
        QCOMPARE(Child<QLabel>(Get<TFormSwap>("swap"), "Label1")->text(), QStringLiteral("Swap Coin"));
        QCOMPARE(Child<QLabel>(Get<TFormSwap>("swap"), "Text1")->text(), QStringLiteral("Price BTC:"));
        QCOMPARE(Price(), QStringLiteral("..."));
        QCOMPARE(Child<QPushButton>(Get<TFormSwap>("swap"), "Button1")->text(), QStringLiteral("Swap"));
        QCOMPARE(Child<QPushButton>(Get<TFormSwap>("swap"), "Button3")->text(), QStringLiteral("MAX"));
        QVERIFY(Amount()->text().isEmpty());
        QVERIFY(ToAmount()->text().isEmpty());
        QCOMPARE(QuoteTimer()->interval(), 2000);
        QVERIFY(QuoteTimer()->isSingleShot());
        QVERIFY(!QuoteTimer()->isActive());
        for (const char* n : {"Label1", "Text1", "price_c0_c1"})
            QCOMPARE(Child<QLabel>(Get<TFormSwap>("swap"), n)->textFormat(), Qt::PlainText);
    }

    void settingsReplyFillsBothListsOnce()
    {
        const QStringList seven{"btc", "ltc", "bnb", "eth", "doge", "trx", "usdt"};
        for (int round = 0; round < 2; ++round) {
            Get<TFormLogin>("login")->NetHTTPClient_c_coin_nameRequestCompleted(QString::fromUtf8(Json(SettingsReply(seven))));
            QCOMPARE(From()->count(), 7);
            QCOMPARE(To()->count(), 7);
            QCOMPARE(From()->itemText(0), QStringLiteral("BTC"));
            QCOMPARE(To()->itemText(6), QStringLiteral("USDT"));
            QCOMPARE(From()->currentIndex(), -1);
            QCOMPARE(To()->currentText(), QStringLiteral("USDT"));
        }
        QVERIFY(!QuoteTimer()->isActive());
        // The first opening picks the first coin as the "from" coin before it asks for a quote.
        LogIn();
        Activate(Get<TFormDashboard>("dashboard"));
        Click(Get<TFormDashboard>("dashboard"), "swap_btn");
        QCOMPARE(From()->currentText(), QStringLiteral("BTC"));
        QCOMPARE(Child<QLabel>(Get<TFormSwap>("swap"), "Text1")->text(), QStringLiteral("Price BTC:"));
        QTRY_COMPARE_WITH_TIMEOUT(Requests("get_swap_coin").size(), 1, 6000);
        QCOMPARE(Requests("get_swap_coin").first().field("cur0"), QStringLiteral("BTC"));
        QCOMPARE(Requests("get_swap_coin").first().field("cur1"), QStringLiteral("USDT"));
    }

    void severalChangesGiveOneQuoteWithTheValuesWhenItFires()
    {
        QElapsedTimer clock;
        clock.start();
        OpenSwap(); // sets the amount to "1": the first change
        QVERIFY(QuoteTimer()->isActive());
        From()->setCurrentIndex(From()->findText("BTC"));
        From()->setCurrentIndex(From()->findText("ETH"));
        Type(Get<TFormSwap>("swap"), "edit_val", "2");
        QCOMPARE(Child<QLabel>(Get<TFormSwap>("swap"), "Text1")->text(), QStringLiteral("Price ETH:"));
        QCOMPARE(Price(), QStringLiteral("..."));

        WaitForQuote(1);
        QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
        const RecordedRequest r = Requests("get_swap_coin").first();
        QCOMPARE(FieldNames(r), (QStringList{"a", "com", "cur0", "cur1", "val", "s", "pass", "session"}));
        QCOMPARE(r.field("com"), QStringLiteral("get"));
        QCOMPARE(r.field("cur0"), QStringLiteral("ETH"));
        QCOMPARE(r.field("cur1"), QStringLiteral("USDT"));
        QCOMPARE(r.field("val"), QStringLiteral("2"));
        QCOMPARE(r.field("s"), State().UserLogin);
        QCOMPARE(r.field("pass"), State().PassHash);
        QVERIFY(IsToken(r.field("session")));

        QCOMPARE(ToAmount()->text(), QStringLiteral("5000"));
        QCOMPARE(Price(), QStringLiteral("2500,00000000 USDT"));
        QCOMPARE(Get<TFormSwap>("swap")->SwapRate(), QStringLiteral("0,0004"));
        QCOMPARE(Get<TFormSwap>("swap")->SwapPriceText(), QStringLiteral("2500,00000000"));
        // Writing the "to" amount armed nothing: no second quote follows.
        QVERIFY(!QuoteTimer()->isActive());
        QTest::qWait(2300);
        QTRY_COMPARE(Requests("get_swap_coin").size(), 1);

        // A typed "to" amount converts back with the quote's rate, without asking.
        Type(Get<TFormSwap>("swap"), "cur0_to_cur1", "1000");
        QCOMPARE(Amount()->text(), QStringLiteral("0,4"));
        QVERIFY(!QuoteTimer()->isActive());
        QCOMPARE(Price(), QStringLiteral("2500,00000000 USDT"));
        // A change of the amount detaches the conversion until the next quote.
        Type(Get<TFormSwap>("swap"), "edit_val", "3");
        QVERIFY(QuoteTimer()->isActive());
        ToAmount()->setText("7");
        QCOMPARE(Amount()->text(), QStringLiteral("3"));
    }

    void quoteWithAPointFillsTheToField()
    {
        Answer("0.00002461");
        OpenSwap();
        WaitForQuote(1);
        QCOMPARE(ToAmount()->text(), QStringLiteral("0,00002461"));
        QCOMPARE(Price(), QStringLiteral("0,00002461 USDT"));
        QVERIFY(!PanelShown(Get<TFormSwap>("swap")));
    }

    // A refusal comes as the service's sentence and is shown as it is, never
    // wrapped in a parse error about it; the conversion stops.
    void quoteRefusalIsShownAsTheServiceText_data()
    {
        QTest::addColumn<QString>("body");
        QTest::newRow("same coins") << "Please choose two different coins,";
        QTest::newRow("pair") << "Pair not available";
        QTest::newRow("ends in a point") << "Amount too small.";
    }
    void quoteRefusalIsShownAsTheServiceText()
    {
        QFETCH(QString, body);
        Answer(body.toUtf8());
        OpenSwap();
        WaitForQuote(1);
        QTRY_VERIFY(PanelShown(Get<TFormSwap>("swap")));
        QTRY_COMPARE(PanelText(Get<TFormSwap>("swap")), body);
        QCOMPARE(ToAmount()->text(), QStringLiteral("0"));
        Type(Get<TFormSwap>("swap"), "cur0_to_cur1", "5");
        QCOMPARE(Amount()->text(), QStringLiteral("1"));
        QVERIFY(!QuoteTimer()->isActive());
    }

    // The "to" amount a quote fills in has at most eight decimals, cut off as
    // the service cuts amounts; the reverse conversion too.
    void amountsShowAtMostEightDecimals_data()
    {
        QTest::addColumn<QByteArray>("quote");
        QTest::addColumn<QString>("toShown");
        QTest::addColumn<QString>("typedTo");
        QTest::addColumn<QString>("fromShown");
        QTest::newRow("eight decimals") << QByteArray("0.00002461") << "0,00002461" << "0,00001" << "0,40633888";
        QTest::newRow("thirteen decimals") << QByteArray("5000.1234567891234") << "5000,12345678" << "1000"
                                           << "0,19999506";
        QTest::newRow("a third") << QByteArray("3") << "3" << "2" << "0,66666666";
    }
    void amountsShowAtMostEightDecimals()
    {
        QFETCH(QByteArray, quote);
        QFETCH(QString, toShown);
        QFETCH(QString, typedTo);
        QFETCH(QString, fromShown);
        Answer(quote);
        OpenSwap();
        WaitForQuote(1);
        QCOMPARE(ToAmount()->text(), toShown);
        Type(Get<TFormSwap>("swap"), "cur0_to_cur1", typedTo);
        QCOMPARE(Amount()->text(), fromShown);
        QVERIFY(!PanelShown(Get<TFormSwap>("swap")));
    }

    void toAmountThatIsNoNumberConvertsToNothing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("letters") << "abc";
        QTest::newRow("several separators") << "1,2,3";
        QTest::newRow("lone minus") << "-";
        QTest::newRow("400 digits") << QString(400, QLatin1Char('9'));
        QTest::newRow("pasted with spaces") << "1 000";
    }

    void toAmountThatIsNoNumberConvertsToNothing()
    {
        QFETCH(QString, text);
        OpenSwap();
        Type(Get<TFormSwap>("swap"), "edit_val", "2");
        WaitForQuote(1);
        ToAmount()->setText("1000");
        QCOMPARE(Amount()->text(), QStringLiteral("0,4"));
        ToAmount()->setText(text); // as pasted
        QCOMPARE(Amount()->text(), QStringLiteral("0,4"));
        QVERIFY(!PanelShown(Get<TFormSwap>("swap")));
        // The conversion is still attached and works for the next good text.
        ToAmount()->setText("500");
        QCOMPARE(Amount()->text(), QStringLiteral("0,2"));
        QVERIFY(!QuoteTimer()->isActive());
    }

    void amountWithLettersFailsTheQuote()
    {
        OpenSwap();
        Type(Get<TFormSwap>("swap"), "edit_val", "abc");
        WaitForQuote(1);
        QCOMPARE(Requests("get_swap_coin").first().field("val"), QStringLiteral("abc"));
        QVERIFY(PanelText(Get<TFormSwap>("swap")).startsWith("Error Result Swap: "));
        QCOMPARE(ToAmount()->text(), QStringLiteral("0"));
    }

    // "0.5" and "0,5" are the same amount: sent as typed, quoted, swapped.
    void amountIsReadWithAPointOrAComma_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("point") << "0.5";
        QTest::newRow("comma") << "0,5";
    }
    void amountIsReadWithAPointOrAComma()
    {
        QFETCH(QString, typed);
        OpenSwap();
        Type(Get<TFormSwap>("swap"), "edit_val", typed);
        WaitForQuote(1);
        QCOMPARE(Requests("get_swap_coin").first().field("val"), typed);
        QVERIFY2(!PanelShown(Get<TFormSwap>("swap")), qPrintable(PanelText(Get<TFormSwap>("swap"))));
        QCOMPARE(ToAmount()->text(), QStringLiteral("5000"));
        QCOMPARE(Price(), QStringLiteral("10000,00000000 USDT"));
        QCOMPARE(Get<TFormSwap>("swap")->SwapRate(), QStringLiteral("0,0001"));
        Click(Get<TFormSwap>("swap"), "Button1");
        QTRY_COMPARE(PanelText(Get<TFormSwap>("swap")), QStringLiteral("Swap done"));
        QList<RecordedRequest> swaps;
        for (const RecordedRequest& r : Requests("get_swap_coin"))
            if (r.field("com") == QLatin1String("swap")) swaps << r;
        QCOMPARE(swaps.size(), 1);
        QCOMPARE(swaps.first().field("val"), typed);
    }

    // A swap whose quote failed is not sent: "Swap" only says why, until a
    // quote succeeds.
    void failedQuoteSendsNoSwap_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QByteArray>("quote");
        QTest::addColumn<bool>("drop");
        QTest::addColumn<QString>("shown"); // what the panel starts with
        QTest::newRow("refusal") << "1" << QByteArray("Please choose two different coins,") << false
                                 << "Please choose two different coins,";
        QTest::newRow("amount with letters") << "abc" << QByteArray("5000") << false << "Error Result Swap: ";
        QTest::newRow("connection dropped") << "1" << QByteArray("5000") << true << "get_swap Error:";
    }
    void failedQuoteSendsNoSwap()
    {
        QFETCH(QString, amount);
        QFETCH(QByteArray, quote);
        QFETCH(bool, drop);
        QFETCH(QString, shown);
        Answer(quote);
        {
            QMutexLocker lock(&script->mutex);
            script->drop = drop;
        }
        OpenSwap();
        Type(Get<TFormSwap>("swap"), "edit_val", amount);
        QTRY_COMPARE_WITH_TIMEOUT(Requests("get_swap_coin").size(), 1, 6000);
        QTRY_VERIFY_WITH_TIMEOUT(PanelShown(Get<TFormSwap>("swap")), 15000);
        QTRY_VERIFY2(PanelText(Get<TFormSwap>("swap")).startsWith(shown), qPrintable(PanelText(Get<TFormSwap>("swap"))));
        QTRY_VERIFY(Child<QPushButton>(Get<TFormSwap>("swap"), "Button1")->isEnabled());
        Click(Get<TFormSwap>("swap"), "Button2"); // the panel closed
        QVERIFY(!PanelShown(Get<TFormSwap>("swap")));
        const int accountRequests = Requests("useraccount").size();
        Click(Get<TFormSwap>("swap"), "Button1");
        QVERIFY(PanelShown(Get<TFormSwap>("swap")));
        QTRY_VERIFY2(PanelText(Get<TFormSwap>("swap")).startsWith(shown), qPrintable(PanelText(Get<TFormSwap>("swap"))));
        QTest::qWait(300);
        for (const RecordedRequest& r : Requests("get_swap_coin")) QCOMPARE(r.field("com"), QStringLiteral("get"));
        QCOMPARE(Requests("useraccount").size(), accountRequests);

        // A good quote lifts it.
        {
            QMutexLocker lock(&script->mutex);
            script->quote = "5000";
            script->drop = false;
        }
        Type(Get<TFormSwap>("swap"), "edit_val", "2");
        QTRY_COMPARE_WITH_TIMEOUT(ToAmount()->text(), QStringLiteral("5000"), 6000);
        QTRY_VERIFY(Child<QPushButton>(Get<TFormSwap>("swap"), "Button1")->isEnabled());
        Click(Get<TFormSwap>("swap"), "Button1");
        QTRY_COMPARE(PanelText(Get<TFormSwap>("swap")), QStringLiteral("Swap done"));
    }

    void swapCarriesBothCoinsAndRefreshesTheAccount()
    {
        OpenSwap();
        Type(Get<TFormSwap>("swap"), "edit_val", "2");
        WaitForQuote(1);
        const int accountRequests = Requests("useraccount").size();
        Click(Get<TFormSwap>("swap"), "Button1");
        QTRY_COMPARE(PanelText(Get<TFormSwap>("swap")), QStringLiteral("Swap done"));
        QList<RecordedRequest> swaps;
        for (const RecordedRequest& r : Requests("get_swap_coin"))
            if (r.field("com") == QLatin1String("swap")) swaps << r;
        QCOMPARE(swaps.size(), 1);
        const RecordedRequest& r = swaps.first();
        QCOMPARE(FieldNames(r), (QStringList{"a", "com", "cur0", "cur1", "val", "s", "pass", "session"}));
        QCOMPARE(r.field("cur0"), QStringLiteral("ETH"));
        QCOMPARE(r.field("cur1"), QStringLiteral("USDT"));
        QCOMPARE(r.field("val"), QStringLiteral("2"));
        QCOMPARE(r.field("pass"), State().PassHash);
        QTRY_COMPARE(Requests("useraccount").size(), accountRequests + 1);
        QVERIFY(Child(Get<TFormSwap>("swap"), "LoadingAnim")->isHidden());
    }

    void aSecondClickWhileTheSwapIsOutSendsNothing()
    {
        OpenSwap();
        WaitForQuote(1);
        Answer("5000", 600);
        Click(Get<TFormSwap>("swap"), "Button1");
        QVERIFY(!Child<QPushButton>(Get<TFormSwap>("swap"), "Button1")->isEnabled());
        Click(Get<TFormSwap>("swap"), "Button1");
        QTRY_COMPARE(PanelText(Get<TFormSwap>("swap")), QStringLiteral("Swap done"));
        QVERIFY(Child<QPushButton>(Get<TFormSwap>("swap"), "Button1")->isEnabled());
        int swaps = 0;
        for (const RecordedRequest& r : Requests("get_swap_coin")) swaps += r.field("com") == QLatin1String("swap");
        QCOMPARE(swaps, 1);
    }

    void quoteDueDuringASwapWaitsForItsAnswer()
    {
        OpenSwap();
        WaitForQuote(1);
        Answer("6000", 2600);
        Click(Get<TFormSwap>("swap"), "Button1");
        Type(Get<TFormSwap>("swap"), "edit_val", "3"); // due in 2 s, while the swap is still out
        QTRY_COMPARE_WITH_TIMEOUT(PanelText(Get<TFormSwap>("swap")), QStringLiteral("Swap done"), 6000);
        // The swap's answer was read as one: no quote error, and the quote left
        // only now.
        QTRY_COMPARE_WITH_TIMEOUT(Requests("get_swap_coin").size(), 3, 6000);
        const RecordedRequest quote = Requests("get_swap_coin").last();
        QCOMPARE(quote.field("com"), QStringLiteral("get"));
        QCOMPARE(quote.field("val"), QStringLiteral("3"));
        QTRY_COMPARE_WITH_TIMEOUT(ToAmount()->text(), QStringLiteral("6000"), 6000);
        QTRY_COMPARE(PanelText(Get<TFormSwap>("swap")), QStringLiteral("Swap done"));
    }

    void swapAnswerReachesTheClosedScreen()
    {
        OpenSwap();
        WaitForQuote(1);
        Answer("5000", 500);
        Click(Get<TFormSwap>("swap"), "Button1");
        Click(Get<TFormSwap>("swap"), "btn_back");
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        Activate(Get<TFormDashboard>("dashboard"));
        QTRY_COMPARE(PanelText(Get<TFormSwap>("swap")), QStringLiteral("Swap done"));
        QVERIFY(PanelShown(Get<TFormSwap>("swap")));
        // Kept on the screen that asked, not shown on the one the user went to.
        QVERIFY(!PanelShown(Get<TFormDashboard>("dashboard")) ||
                PanelText(Get<TFormDashboard>("dashboard")) != QStringLiteral("Swap done"));
    }

    void droppedConnectionShowsGetSwapErrorAndHidesTheBusyImage()
    {
        {
            QMutexLocker lock(&script->mutex);
            script->drop = true;
            script->delayMs = 400;
        }
        OpenSwap();
        QTRY_VERIFY_WITH_TIMEOUT(!Child(Get<TFormSwap>("swap"), "LoadingAnim")->isHidden(), 4000);
        QTRY_VERIFY_WITH_TIMEOUT(PanelText(Get<TFormSwap>("swap")).startsWith("get_swap Error:"), 8000);
        QVERIFY(Child(Get<TFormSwap>("swap"), "LoadingAnim")->isHidden());
        QVERIFY(!QuoteTimer()->isActive());
        QVERIFY(Child<QPushButton>(Get<TFormSwap>("swap"), "Button1")->isEnabled());
    }

    void maxPutsTheBalanceTextAndArmsAQuote()
    {
        OpenSwap();
        WaitForQuote(1);
        Click(Get<TFormSwap>("swap"), "Button3");
        QCOMPARE(Amount()->text(), Account().AmountText(AccountModel::Amount::Wallet, "eth"));
        QCOMPARE(Amount()->text(), QStringLiteral("0,50000000"));
        QVERIFY(QuoteTimer()->isActive());
    }

    void exchangeImageSwapsTheCoinsAndRearms()
    {
        OpenSwap();
        WaitForQuote(1);
        Click(Get<TFormSwap>("swap"), "Image2");
        QCOMPARE(From()->currentText(), QStringLiteral("USDT"));
        QCOMPARE(To()->currentText(), QStringLiteral("ETH"));
        QVERIFY(QuoteTimer()->isActive());
        QCOMPARE(Child<QLabel>(Get<TFormSwap>("swap"), "Text1")->text(), QStringLiteral("Price USDT:"));
    }

    void clickingAnAmountFieldClearsIt()
    {
        OpenSwap();
        WaitForQuote(1);
        QTest::mouseClick(Amount(), Qt::LeftButton);
        QVERIFY(Amount()->text().isEmpty());
        QTest::mouseClick(ToAmount(), Qt::LeftButton);
        QVERIFY(ToAmount()->text().isEmpty());
        // Empty fields arm nothing.
        QVERIFY(!QuoteTimer()->isActive());
    }

    void reopeningWithTheSameAmountAsksNoQuote()
    {
        OpenSwap();
        WaitForQuote(1);
        Click(Get<TFormSwap>("swap"), "btn_back");
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        Click(Get<TFormDashboard>("dashboard"), "swap_btn");
        QVERIFY(Get<TFormSwap>("swap")->isVisible());
        QCOMPARE(Amount()->text(), QStringLiteral("1"));
        QVERIFY(!QuoteTimer()->isActive());
    }
};

AMBERVALE_GUI_TEST_MAIN(SwapTest)
#include "tst_swap.moc"
