// The lottery screen against the fake service: draw figures from the players
// file, the winners list, the balance two seconds later, the purchase and its
// confirmation, and the refresh only while the screen is visible.
#include "Lotto.h"
#include "Lottery.h"
#include "ScreenTestSupport.h"
#include "ServiceClient.h"

#include <QComboBox>
#include <QMutex>
#include <QPushButton>
#include <QTimer>

using namespace support;

namespace {
QByteArray Players(const QList<QPair<QString, QString>>& stakes)
{
    QJsonArray a;
    for (const auto& [nick, value] : stakes) a.append(QJsonObject{{"nickname", nick}, {"value", value}});
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

QByteArray Winners(int count)
{
    QByteArray body = "[";
    for (int i = 0; i < count; ++i) {
        if (i) body += ',';
        body += QStringLiteral(R"({"name":"w%1","val":"%1.25","date":"d%1"})").arg(i).toUtf8();
    }
    return body + "]";
}
} // namespace

class LottoTest : public ScreenTest {
    Q_OBJECT

    // What the fake answers, per path; guarded: the handler runs on the service's thread.
    QMutex m_lock;
    QByteArray m_players = "[]";
    QByteArray m_winners = "[]";
    QByteArray m_buyReply = "Your ticket is bought";
    bool m_filesDown = false;

    void SetFiles(const QByteArray& players, const QByteArray& winners)
    {
        QMutexLocker lock(&m_lock);
        m_players = players;
        m_winners = winners;
    }

    void Script() override
    {
        {
            QMutexLocker lock(&m_lock);
            m_players = "[]";
            m_winners = "[]";
            m_filesDown = false;
        }
        fake->setHandler([this](const RecordedRequest& r) {
            QMutexLocker lock(&m_lock);
            const QByteArray path = r.pathWithoutQuery();
            ScriptedReply reply;
            if (path.startsWith("/lotto/") && m_filesDown) {
                reply.dropConnection = true;
            } else if (path == "/lotto/trx.json") {
                reply.body = m_players;
            } else if (path == "/lotto/winner_trx.json") {
                reply.body = m_winners;
            } else if (path.startsWith("/lotto/")) {
                reply.body = "[]";
            } else if (r.field("a") == QLatin1String("buylottonew")) {
                reply.body = m_buyReply;
            } else {
                reply.body = Json(AccountReply("2.5"));
            }
            return reply;
        });
    }

    void Ready() override
    {
        LogIn(SettingsReply(), AccountReply("2.5"));
        QStringList upper;
        for (const QString& c : Catalogue()) upper << c.toUpper();
        Get<TFormLotto>("lottery")->FillCoinList(upper);
        Child<QComboBox>(Get<TFormLotto>("lottery"), "ComboBox1")->setCurrentText("TRX"); // hidden: no refresh yet
        State().UserLogin = "Bob"; // the login entered with
        Activate(Get<TFormDashboard>("dashboard"));
    }

    // Opens the lottery from the dashboard, as the user does.
    void Open()
    {
        Click(Get<TFormDashboard>("dashboard"), "Image4");
        QTRY_VERIFY(Get<TFormLotto>("lottery")->isVisible());
        AwaitDraw();
    }

    // The draw's files asked for by the last refresh are in (or failed).
    static void AwaitDraw()
    {
        QTRY_VERIFY(!Service().Busy("lottery_players") && !Service().Busy("lottery_winners"));
    }

    // The 30-second refresh, run now, and its answers awaited.
    static void Refresh()
    {
        Get<TFormLotto>("lottery")->Timer2Timer();
        AwaitDraw();
    }

    int FileRequests(const QByteArray& path) const
    {
        int n = 0;
        for (const RecordedRequest& r : fake->requests())
            if (r.pathWithoutQuery() == path) ++n;
        return n;
    }

    QStringList WinnerTexts() const
    {
        QStringList texts;
        auto* list = Child<QListWidget>(Get<TFormLotto>("lottery"), "ListBox1");
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        return texts;
    }

    QString Text(const char* name) const { return Child<QLabel>(Get<TFormLotto>("lottery"), name)->text(); }

    // Answers "Yes" in the confirmation box as soon as it takes a click, polling
    // from inside the box's own event loop.
    void ConfirmOnceArmed()
    {
        auto* poll = new QTimer(this);
        poll->setInterval(20);
        connect(poll, &QTimer::timeout, poll, [poll] {
            auto* box = qobject_cast<QMessageBox*>(ActiveModal());
            if (!box || !box->button(QMessageBox::Yes)->isEnabled()) return;
            poll->deleteLater();
            PressModalButton(QMessageBox::Yes);
        });
        poll->start();
    }

private slots:
    void coinListStartsAtTheFifthCoin()
    {
        auto* combo = Child<QComboBox>(Get<TFormLotto>("lottery"), "ComboBox1");
        QCOMPARE(combo->count(), 15);
        Get<TFormLotto>("lottery")->FillCoinList({"BTC", "LTC", "BNB", "ETH", "DOGE", "TRX"});
        QCOMPARE(combo->currentText(), QStringLiteral("DOGE"));
        QCOMPARE(Get<TFormLotto>("lottery")->windowTitle(), QStringLiteral("L0ttery"));
        QCOMPARE(Text("Label7"), QStringLiteral("L0ttery"));
    }

    void emptyDraw()
    {
        Open();
        QCOMPARE(FileRequests("/lotto/trx.json"), 1);
        QCOMPARE(FileRequests("/lotto/winner_trx.json"), 1);
        QCOMPARE(Text("Label10"), QStringLiteral("0"));
        QCOMPARE(Text("Label3"), QStringLiteral("0,00000000"));
        QCOMPARE(Text("Label5"), QStringLiteral("0,00000000(0,00%) TRX"));
        QCOMPARE(Text("ListBoxItem5"), QStringLiteral("Value(TRX)"));
        QVERIFY(!Child<QLabel>(Get<TFormLotto>("lottery"), "Image1")->pixmap().isNull());
        // Two seconds after the figures the balance of the coin appears.
        QVERIFY(Get<TFormLotto>("lottery")->Timer1->isActive());
        QCOMPARE(Text("Label12"), QStringLiteral("0"));
        QTRY_COMPARE_WITH_TIMEOUT(Text("Label12"), QStringLiteral("2,50000000 TRX"), 15000);
        QVERIFY(!Get<TFormLotto>("lottery")->Timer1->isActive());
    }

    void twoPlayers()
    {
        SetFiles(Players({{"bob", "1500000"}, {"eve", "4500000"}}), "[]");
        Open();
        QCOMPARE(Text("Label3"), QStringLiteral("5,82000000"));
        QCOMPARE(Text("Label5"), QStringLiteral("1,50000000(25,00%) TRX"));
        QCOMPARE(Text("Label10"), QStringLiteral("2"));
    }

    // The login is lower-cased before the comparison; the nicknames are not.
    void nicknameLetterCase_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("nickname");
        QTest::addColumn<QString>("deposit");
        QTest::newRow("capitalised login, lower-case nickname") << "Bob"
                                                                << "bob"
                                                                << "1,00000000(50,00%) TRX";
        QTest::newRow("capitalised nickname") << "bob"
                                              << "Bob"
                                              << "0,00000000(0,00%) TRX";
        QTest::newRow("both capitalised") << "Bob"
                                          << "Bob"
                                          << "0,00000000(0,00%) TRX";
    }
    void nicknameLetterCase()
    {
        QFETCH(QString, login);
        QFETCH(QString, nickname);
        State().UserLogin = login;
        SetFiles(Players({{nickname, "1000000"}, {"eve", "1000000"}}), "[]");
        Open();
        QTEST(Text("Label5"), "deposit");
    }

    void winnersLastFirstAtMostTen()
    {
        SetFiles("[]", Winners(25));
        Open();
        QStringList expected;
        for (int i = 24; i >= 15; --i)
            expected << QStringLiteral("w%1").arg(i) << QStringLiteral("+%1,25000000").arg(i)
                     << QStringLiteral("d%1").arg(i);
        QCOMPARE(WinnerTexts(), expected);
        // Three to a row: every winner fills one row of the list.
        auto* list = Child<QListWidget>(Get<TFormLotto>("lottery"), "ListBox1");
        const QRect first = list->visualItemRect(list->item(0));
        QCOMPARE(list->visualItemRect(list->item(2)).top(), first.top());
        QVERIFY(list->visualItemRect(list->item(3)).top() > first.top());
    }

    void malformedWinnerEmptiesTheList()
    {
        SetFiles("[]", Winners(3));
        Open();
        QCOMPARE(WinnerTexts().size(), 9);
        SetFiles("[]", R"([{"name":"a","val":"1","date":"d"},{"name":"b","val":"2"}])");
        Refresh();
        QCOMPARE(WinnerTexts(), QStringList());
    }

    // Files that are not what they should be: zeros or an empty list, names as plain text, no crash.
    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("players");
        QTest::addColumn<QByteArray>("winners");
        QTest::addColumn<QString>("playerCount");
        QTest::addColumn<int>("winnerItems");
        QTest::newRow("error pages") << QByteArray("<html><body>404</body></html>") << QByteArray("<html>404</html>")
                                     << "0" << 0;
        QTest::newRow("objects") << QByteArray(R"({"nickname":"bob","value":1})")
                                 << QByteArray(R"({"name":"a","val":1,"date":"d"})") << "0" << 0;
        QTest::newRow("words for numbers") << QByteArray(R"([{"nickname":"bob","value":"lots"}])")
                                           << QByteArray(R"([{"name":"a","val":"lots","date":"d"}])") << "0" << 0;
        QByteArray empties = "[";
        for (int i = 0; i < 100000; ++i) empties += i ? ",{}" : "{}";
        empties += "]";
        QTest::newRow("100 000 empty elements") << empties << empties << "0" << 0;
        QByteArray players = "[";
        for (int i = 0; i < 20000; ++i) players += (i ? "," : "") + QByteArray(R"({"nickname":"p","value":5})");
        players += "]";
        QTest::newRow("20 000 players") << players << Winners(20000) << "20000" << 30;
        QTest::newRow("html names") << QByteArray(R"([{"nickname":"<b>bob</b>","value":"1"}])")
                                    << QByteArray(R"([{"name":"<b>x</b><img src=y>","val":"1","date":"<i>d</i>"}])")
                                    << "1" << 3;
    }
    void badFiles()
    {
        QFETCH(QByteArray, players);
        QFETCH(QByteArray, winners);
        // Figures from an earlier good refresh are replaced, not kept.
        SetFiles(Players({{"bob", "1000000"}}), Winners(2));
        Open();
        QCOMPARE(Text("Label10"), QStringLiteral("1"));
        SetFiles(players, winners);
        Refresh();
        QVERIFY(!PanelShown(Get<TFormLotto>("lottery")));
        QTEST(Text("Label10"), "playerCount");
        QTEST(int(WinnerTexts().size()), "winnerItems");
        if (Text("Label10") == QLatin1String("0")) {
            QCOMPARE(Text("Label3"), QStringLiteral("0"));
            QCOMPARE(Text("Label5"), QStringLiteral("0"));
        }
        QCOMPARE(Child<QLabel>(Get<TFormLotto>("lottery"), "Label3")->textFormat(), Qt::PlainText);
        if (QTest::currentDataTag() == QLatin1String("html names"))
            QCOMPARE(WinnerTexts().first(), QStringLiteral("<b>x</b><img src=y>"));
        // The GUI answers again as soon as the blocking requests are over.
        Type(Get<TFormLotto>("lottery"), "Edit1", "7");
        QCOMPARE(Child<QLineEdit>(Get<TFormLotto>("lottery"), "Edit1")->text(), QStringLiteral("7"));
    }

    // A file beyond what the client reads is a failed request: said in the
    // panel, the figures of the last good refresh kept, the winners not asked for.
    void oversizedFile()
    {
        SetFiles(Players({{"bob", "1000000"}}), Winners(2));
        Open();
        QByteArray huge = "[";
        for (int i = 0; i < 100000; ++i) huge += (i ? "," : "") + QByteArray(R"({"nickname":"p","value":"1"})");
        huge += "]";
        SetFiles(huge, Winners(3));
        fake->clearRequests();
        Refresh();
        QVERIFY(PanelShown(Get<TFormLotto>("lottery")));
        QVERIFY(!PanelText(Get<TFormLotto>("lottery")).isEmpty());
        QCOMPARE(Text("Label10"), QStringLiteral("1"));
        QCOMPARE(FileRequests("/lotto/winner_trx.json"), 0);
        QVERIFY(!ActiveModal());
    }

    void maxFillsTheBalance()
    {
        Open();
        Child<QLineEdit>(Get<TFormLotto>("lottery"), "Edit1")->clear();
        Click(Get<TFormLotto>("lottery"), "Button3");
        QCOMPARE(Child<QLineEdit>(Get<TFormLotto>("lottery"), "Edit1")->text(), QStringLiteral("2,50000000"));
    }

    void rulesBox()
    {
        Open();
        QString shown;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(ActiveModal());
            if (box) shown = box->text();
            PressModalButton(QMessageBox::Ok);
        });
        Click(Get<TFormLotto>("lottery"), "Button5");
        QCOMPARE(shown, lotto::RulesText());
        QVERIFY(!ActiveModal());
    }

    void purchaseDeclined_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("No") << false;
        QTest::newRow("closed with Escape") << true;
    }
    void purchaseDeclined()
    {
        QFETCH(bool, escape);
        Open();
        const int before = fake->requestCount();
        Type(Get<TFormLotto>("lottery"), "Edit1", "5");
        QString question;
        bool noIsDefault = false;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(ActiveModal());
            if (!box) return;
            question = box->text();
            noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
            if (escape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                PressModalButton(QMessageBox::No);
        });
        Click(Get<TFormLotto>("lottery"), "Button2");
        QCOMPARE(question, QStringLiteral("Send 5 TRX to Lotto?"));
        QVERIFY(noIsDefault);
        QTest::qWait(200);
        QCOMPARE(fake->requestCount(), before); // no purchase, no account request, no refresh
    }

    // A double-click on "Send": the second click lands on the box that has just
    // opened, on "Yes" at worst (or a hurried "Y" key). Nothing is staked; the
    // box stays open for a real answer.
    void doubleClickOnSendStakesNothing_data()
    {
        QTest::addColumn<QString>("second");
        QTest::newRow("click on Yes") << "click";
        QTest::newRow("Y key") << "y";
    }
    void doubleClickOnSendStakesNothing()
    {
        QFETCH(QString, second);
        Open();
        fake->clearRequests();
        Type(Get<TFormLotto>("lottery"), "Edit1", "5");
        bool stillOpen = false;
        bool noIsDefault = false;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(ActiveModal());
            if (!box) return;
            noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            if (second == "click")
                QTest::mouseClick(yes, Qt::LeftButton, {}, yes->rect().center());
            else
                QTest::keyClick(box, Qt::Key_Y);
            QTest::qWait(250); // a key press clicks after a short animation
            stillOpen = ActiveModal() == box;
            if (stillOpen) PressModalButton(QMessageBox::No);
        });
        QTest::mouseClick(Child<QPushButton>(Get<TFormLotto>("lottery"), "Button2"), Qt::LeftButton);
        QVERIFY(noIsDefault);
        QVERIFY(stillOpen);
        QTest::qWait(200);
        QCOMPARE(Requests("buylottonew").size(), 0);
        QCOMPARE(Requests("useraccount").size(), 0);
    }

    void purchaseConfirmed()
    {
        Open();
        fake->clearRequests();
        const QString login = State().UserLogin;
        const QString digest = State().PassHash;
        Type(Get<TFormLotto>("lottery"), "Edit1", "5");
        ConfirmOnceArmed();
        Click(Get<TFormLotto>("lottery"), "Button2");

        QTRY_COMPARE(Requests("buylottonew").size(), 1);
        const QList<RecordedRequest> buys = Requests("buylottonew");
        QStringList names;
        for (const auto& f : buys.first().fields) names << f.first;
        QCOMPARE(names, (QStringList{"a", "s", "pass", "coin", "val", "session"}));
        QCOMPARE(buys.first().field("s"), login);
        QCOMPARE(buys.first().field("pass"), digest);
        QCOMPARE(buys.first().field("coin"), QStringLiteral("TRX"));
        QCOMPARE(buys.first().field("val"), QStringLiteral("5"));
        QTRY_COMPARE(PanelText(Get<TFormLotto>("lottery")), QStringLiteral("Your ticket is bought"));

        // Then the account request and the refresh of the draw, in that order.
        QTRY_COMPARE(Requests("useraccount").size(), 1);
        const QList<RecordedRequest> all = fake->requests();
        int buy = -1, account = -1, players = -1;
        for (int i = 0; i < all.size(); ++i) {
            if (all[i].field("a") == QLatin1String("buylottonew")) buy = i;
            if (all[i].field("a") == QLatin1String("useraccount") && account < 0) account = i;
            if (all[i].pathWithoutQuery() == "/lotto/trx.json" && players < 0 && buy >= 0) players = i;
        }
        QVERIFY(buy >= 0 && players > buy);
        QVERIFY(account > buy);
        QCOMPARE(FileRequests("/lotto/winner_trx.json"), 1);
    }

    void noRefreshWhileHidden()
    {
        Open();
        Get<TFormLotto>("lottery")->CloseScreen();
        QVERIFY(!Get<TFormLotto>("lottery")->isVisible());
        fake->clearRequests();
        Refresh();
        Child<QComboBox>(Get<TFormLotto>("lottery"), "ComboBox1")->setCurrentText("BTC");
        Get<TFormLotto>("lottery")->ComboBox1Change();
        AwaitDraw();
        QTest::qWait(100);
        QCOMPARE(fake->requestCount(), 0);
        QVERIFY(Get<TFormDashboard>("dashboard")->isVisible());
    }

    void refreshEveryThirtySecondsWhileVisible()
    {
        Open();
        QCOMPARE(Get<TFormLotto>("lottery")->Timer2->interval(), 30000);
        QVERIFY(Get<TFormLotto>("lottery")->Timer2->isActive());
        Refresh();
        QCOMPARE(FileRequests("/lotto/trx.json"), 2);
    }

    // With the service down, each refresh says so once in the panel; no dialog piles up.
    void serviceDownGivesOneMessagePerRefresh()
    {
        {
            QMutexLocker lock(&m_lock);
            m_filesDown = true;
        }
        Open();
        QVERIFY(PanelShown(Get<TFormLotto>("lottery")));
        const QString first = PanelText(Get<TFormLotto>("lottery"));
        QVERIFY(!first.isEmpty());
        QCOMPARE(FileRequests("/lotto/winner_trx.json"), 0); // the refresh stopped after the players file
        Click(Get<TFormLotto>("lottery"), "Button1");
        QVERIFY(!PanelShown(Get<TFormLotto>("lottery")));
        for (int i = 0; i < 3; ++i) Refresh();
        QVERIFY(!ActiveModal());
        QVERIFY(PanelShown(Get<TFormLotto>("lottery")));
        QTRY_COMPARE(PanelText(Get<TFormLotto>("lottery")), first);
        QCOMPARE(FileRequests("/lotto/winner_trx.json"), 0);
        QCOMPARE(Text("Label10"), QStringLiteral("0"));
    }

    void backReturnsToTheDashboard()
    {
        Open();
        Click(Get<TFormLotto>("lottery"), "btn_back");
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormLotto>("lottery")->isVisible());
    }
};

AMBERVALE_GUI_TEST_MAIN(LottoTest)
#include "tst_lotto.moc"
