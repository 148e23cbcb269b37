// The referral screen: the code, the count, the invite link, the earnings per
// coin, and copying code and link.
#include "ScreenTestSupport.h"
#include "refferal.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QUrl>

using namespace support;

class ReferralTest : public ScreenTest {
    Q_OBJECT

    void Open()
    {
        Activate(Get<TFormDashboard>("dashboard"));
        Click(Get<TFormDashboard>("dashboard"), "ref_btn");
        QTRY_VERIFY(Get<TFormRefferal>("referral")->isVisible());
    }

    QString Text(const char* name) const { return Child<QLabel>(Get<TFormRefferal>("referral"), name)->text(); }

private slots:
    void cleanup() { TFormRefferal::ClipboardOffered = true; }

    void fixedTexts()
    {
        QCOMPARE(Get<TFormRefferal>("referral")->windowTitle(), QStringLiteral("Referral Program"));
        QCOMPARE(Text("lab_ref_code"), QStringLiteral("XXXX"));
        QCOMPARE(Text("lab_refcol"), QStringLiteral("0"));
        QCOMPARE(Text("TermsLine1"), QStringLiteral("If your referral took the \"Free Coin\" you will receive 10%."));
        QCOMPARE(Text("TermsLine2"),
                 QStringLiteral("New users will receive 15Doge if they register using your link or enter your code."));
        QCOMPARE(Text("TermsLine3"),
                 QStringLiteral("Invite new users and receive a passive income of 15% per investment."));
        QCOMPARE(Child<QListWidget>(Get<TFormRefferal>("referral"), "ListBox1")->count(), 15);
        QCOMPARE(Child<QLineEdit>(Get<TFormRefferal>("referral"), "SearchBox1")->maxLength(), 20);
    }

    void codeCountLinkAndEarnings()
    {
        QJsonObject account = AccountReply("0.125");
        account["refcode"] = "AB12";
        account["refcol"] = "3";
        account["earned_ref_doge"] = "15";
        LogIn(SettingsReply(), account);
        Open();
        QVERIFY(!PanelShown(Get<TFormRefferal>("referral")));
        QCOMPARE(Text("lab_ref_code"), QStringLiteral("AB12"));
        QCOMPARE(Text("lab_refcol"), QStringLiteral("3"));
        QCOMPARE(Text("lab_ref_link"), "https://" + fake->hostPort() + QStringLiteral("/invite_user/?ref=AB12"));
        QCOMPARE(Text("earned_ref_btc"), QStringLiteral("0,12500000"));
        QCOMPARE(Text("earned_ref_doge"), QStringLiteral("15,00000000"));
        QCOMPARE(Text("earned_ref_matic"), QStringLiteral("0,12500000"));
    }

    // Every row of the earnings list shows its figure, wide enough to be read.
    void everyRowShowsItsFigureWhole()
    {
        LogIn(SettingsReply(), AccountReply("12345.6789"));
        Open();
        QCOMPARE(Text("earned_ref_btc"), QStringLiteral("12345,67890000"));
        QString why;
        QTRY_VERIFY2(RowValuesDrawnWhole(Get<TFormRefferal>("referral"), "earned_ref_", &why), qPrintable(why));
    }

    // A JSON number shows as its number text, a string unchanged.
    void referralCount_data()
    {
        QTest::addColumn<QJsonValue>("refcol");
        QTest::addColumn<QString>("shown");
        QTest::newRow("number") << QJsonValue(7) << "7";
        QTest::newRow("string") << QJsonValue("007") << "007";
        QTest::newRow("large number") << QJsonValue(1234567) << "1234567";
    }
    void referralCount()
    {
        QFETCH(QJsonValue, refcol);
        QJsonObject account = AccountReply();
        account["refcol"] = refcol;
        LogIn(SettingsReply(), account);
        Open();
        QTEST(Text("lab_refcol"), "shown");
    }

    void copy_data()
    {
        QTest::addColumn<bool>("clipboard");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("message");
        QTest::newRow("code") << true << "lab_ref_code"
                              << "You copied invite code: ";
        QTest::newRow("link") << true << "lab_ref_link"
                              << "You copied Referral Link: ";
        QTest::newRow("code without clipboard") << false << "lab_ref_code"
                                                << "You copied invite code: ";
        QTest::newRow("link without clipboard") << false << "lab_ref_link"
                                                << "You copied Referral Link: ";
    }
    void copy()
    {
        QFETCH(bool, clipboard);
        QFETCH(QString, label);
        QFETCH(QString, message);
        QJsonObject account = AccountReply();
        account["refcode"] = "AB12";
        LogIn(SettingsReply(), account);
        Open();
        TFormRefferal::ClipboardOffered = clipboard;
        QGuiApplication::clipboard()->setText("before");
        Click(Get<TFormRefferal>("referral"), label);
        const QString text = Child<QLabel>(Get<TFormRefferal>("referral"), label)->text();
        QVERIFY(PanelShown(Get<TFormRefferal>("referral")));
        QCOMPARE(PanelText(Get<TFormRefferal>("referral")), message + text);
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard ? text : QStringLiteral("before"));
    }

    // The copied link is a whole web address: pasted into a browser or a
    // message, it opens the service's invitation page.
    void copiedLinkIsAWholeWebAddress()
    {
        QJsonObject account = AccountReply();
        account["refcode"] = "AB12";
        LogIn(SettingsReply(), account);
        Open();
        TFormRefferal::ClipboardOffered = true;
        Click(Get<TFormRefferal>("referral"), "lab_ref_link");
        const QUrl link(QGuiApplication::clipboard()->text(), QUrl::StrictMode);
        QVERIFY2(link.isValid(), qPrintable(link.errorString()));
        QCOMPARE(link.scheme(), QStringLiteral("https"));
        QCOMPARE(link.host(), QStringLiteral("127.0.0.1"));
        QCOMPARE(link.port(), fake->port());
        QCOMPARE(link.path(), QStringLiteral("/invite_user/"));
        QCOMPARE(link.query(), QStringLiteral("ref=AB12"));
    }

    // A coin of the list that the catalogue lacks stops the fill there.
    void coinMissingFromTheCatalogue()
    {
        QStringList codes = Catalogue();
        codes.removeAll("shib");
        QJsonObject account = AccountReply("1", codes);
        account["refcode"] = "AB12";
        LogIn(SettingsReply(codes), account);
        Open();
        QVERIFY(PanelShown(Get<TFormRefferal>("referral")));
        QVERIFY2(PanelText(Get<TFormRefferal>("referral")).startsWith("Error ParseJsonRefEarn: "), qPrintable(PanelText(Get<TFormRefferal>("referral"))));
        QCOMPARE(Text("lab_ref_code"), QStringLiteral("AB12"));
        QCOMPARE(Text("earned_ref_etc"), QStringLiteral("1,00000000")); // before it
        QCOMPARE(Text("earned_ref_shib"), QStringLiteral("0"));
        QCOMPARE(Text("earned_ref_zec"), QStringLiteral("0")); // after it
    }

    void noAccountSnapshot()
    {
        Activate(Get<TFormRefferal>("referral"));
        QVERIFY(PanelShown(Get<TFormRefferal>("referral")));
        QVERIFY(PanelText(Get<TFormRefferal>("referral")).startsWith("Error ParseJsonRefEarn: "));
        QCOMPARE(Text("lab_ref_code"), QStringLiteral("XXXX"));
    }

    void refreshedOnEveryShow()
    {
        QJsonObject account = AccountReply();
        account["refcode"] = "AB12";
        LogIn(SettingsReply(), account);
        Open();
        Click(Get<TFormRefferal>("referral"), "btn_back");
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        account["refcode"] = "CD34";
        LogIn(SettingsReply(), account);
        Open();
        QCOMPARE(Text("lab_ref_code"), QStringLiteral("CD34"));
        QVERIFY(Text("lab_ref_link").endsWith("/invite_user/?ref=CD34"));
    }
};

AMBERVALE_GUI_TEST_MAIN(ReferralTest)
#include "tst_referral.moc"
