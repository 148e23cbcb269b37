// The information screen: its three tabs, the openers' return targets, the
// statistics of the logged-in account, the contacts and the guide page.
#include "Community.h"
#include "ScreenTestSupport.h"
#include "common/WebView.h"
#include "info.h"

#include <QDesktopServices>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>

using namespace support;

namespace {
// Share of the picture's pixels close to the colour.
double Coverage(const QImage& image, QColor colour)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qint64 hits = 0;
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            if (std::abs(qRed(p) - colour.red()) < 20 && std::abs(qGreen(p) - colour.green()) < 20 &&
                std::abs(qBlue(p) - colour.blue()) < 20)
                ++hits;
        }
    return rgb.isNull() ? 0 : double(hits) / (double(rgb.width()) * rgb.height());
}
} // namespace

class InfoTest : public ScreenTest {
    Q_OBJECT

public slots:
    // Stands in for the system's browser.
    void openUrl(const QUrl& url) { m_opened << url; }

private:
    QList<QUrl> m_opened;

    QTabWidget* Tabs() const { return Child<QTabWidget>(Get<TFormInfo>("info"), "TabControl1"); }

    // A click on the tab's title, as the user does.
    void ClickTab(const QString& tabName)
    {
        QTabWidget* tabs = Tabs();
        const int index = tabs->indexOf(Child(Get<TFormInfo>("info"), tabName));
        QVERIFY(index >= 0);
        QTabBar* bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        QCOMPARE(tabs->currentIndex(), index);
    }

    void ClickRow(const QString& code)
    {
        auto* list = Child<QListWidget>(Get<TFormInfo>("info"), "ListBox1");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == code) {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(i)).center());
                return;
            }
        QFAIL("no such row");
    }

    QString Text(const char* name) const { return Child<QLabel>(Get<TFormInfo>("info"), name)->text(); }

    void OpenFromLogin()
    {
        Activate(Get<TFormLogin>("login"));
        Click(Get<TFormLogin>("login"), "Image5");
        QTRY_VERIFY(Get<TFormInfo>("info")->isVisible());
    }

    void OpenFromDashboard()
    {
        Activate(Get<TFormDashboard>("dashboard"));
        Click(Get<TFormDashboard>("dashboard"), "Image3");
        QTRY_VERIFY(Get<TFormInfo>("info")->isVisible());
    }

private slots:
    void tabsInOrder()
    {
        QTabWidget* tabs = Tabs();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->widget(0)->objectName(), QStringLiteral("TabGuides"));
        QCOMPARE(tabs->widget(1)->objectName(), QStringLiteral("TabFeedBack"));
        QCOMPARE(tabs->widget(2)->objectName(), QStringLiteral("TabStatistic"));
        QCOMPARE(tabs->tabText(0), QStringLiteral("Guides"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Feed Back"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("Statistics"));
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(Get<TFormInfo>("info")->windowTitle(), QStringLiteral("Information Panel"));
        QCOMPARE(Child<QListWidget>(Get<TFormInfo>("info"), "ListBox1")->count(), 15);
        QCOMPARE(Child<QLineEdit>(Get<TFormInfo>("info"), "SearchBox1")->maxLength(), 20);
        QCOMPARE(Child<QLineEdit>(Get<TFormInfo>("info"), "SearchBox1")->placeholderText(), QStringLiteral("search..."));
    }

    // Every row of the statistics list shows its figure, wide enough to be read.
    void everyRowShowsItsFigureWhole()
    {
        LogIn(SettingsReply(), AccountReply("12345.6789"));
        OpenFromDashboard();
        ClickTab("TabStatistic");
        QCOMPARE(Text("earned_inv_btc"), QStringLiteral("12345,67890000"));
        QString why;
        QTRY_VERIFY2(RowValuesDrawnWhole(Get<TFormInfo>("info"), "earned_inv_", &why), qPrintable(why));
    }

    void notLoggedInStatistics()
    {
        OpenFromLogin();
        QCOMPARE(Tabs()->currentWidget()->objectName(), QStringLiteral("TabFeedBack"));
        ClickTab("TabStatistic");
        QVERIFY(PanelShown(Get<TFormInfo>("info")));
        QCOMPARE(PanelText(Get<TFormInfo>("info")), community::NotLoggedInText());
        QCOMPARE(Text("fullname_coin"), QStringLiteral("Bitcoin"));
        for (const char* name : {"lab_earned_inv", "lab_deposit_total", "lab_earn_ref", "lab_total_earn",
                                 "earned_inv_btc", "earned_inv_matic"})
            QCOMPARE(Text(name), QStringLiteral("0"));
    }

    // A row click works logged in or not; without balances it fails with its
    // message, the coin already changed.
    void rowClickInEveryLoginState_data()
    {
        QTest::addColumn<bool>("loggedIn");
        QTest::newRow("logged out") << false;
        QTest::newRow("logged in") << true;
    }
    void rowClickInEveryLoginState()
    {
        QFETCH(bool, loggedIn);
        if (loggedIn) LogIn();
        OpenFromLogin();
        ClickTab("TabStatistic");
        Click(Get<TFormInfo>("info"), "Button2");
        ClickRow("DOGE");
        QCOMPARE(Account().CurrentCoin(), QStringLiteral("doge"));
        if (loggedIn) {
            QVERIFY(!PanelShown(Get<TFormInfo>("info")));
            QCOMPARE(Text("fullname_coin"), FullName("doge"));
            QCOMPARE(Text("lab_earned_inv"), QStringLiteral("0,50000000"));
            QVERIFY(!Child<QLabel>(Get<TFormInfo>("info"), "main_img")->pixmap().isNull());
        } else {
            QVERIFY(PanelShown(Get<TFormInfo>("info")));
            QVERIFY2(PanelText(Get<TFormInfo>("info")).startsWith("Error show_full_statistic: "), qPrintable(PanelText(Get<TFormInfo>("info"))));
            QCOMPARE(Text("fullname_coin"), QStringLiteral("Bitcoin"));
        }
    }

    void totalInGeneralFormat()
    {
        QJsonObject account = AccountReply("0.5");
        account["earned_ref_btc"] = "0.25";
        account["dep_val_btc"] = "3";
        LogIn(SettingsReply(), account);
        OpenFromDashboard();
        ClickTab("TabStatistic");
        QVERIFY(!PanelShown(Get<TFormInfo>("info")));
        QCOMPARE(Account().CurrentCoin(), QStringLiteral("btc"));
        QCOMPARE(Text("fullname_coin"), FullName("btc"));
        QCOMPARE(Text("lab_earned_inv"), QStringLiteral("0,50000000"));
        QCOMPARE(Text("lab_deposit_total"), QStringLiteral("3,00000000"));
        QCOMPARE(Text("lab_earn_ref"), QStringLiteral("0,25000000"));
        QCOMPARE(Text("lab_total_earn"), QStringLiteral("0,75"));
        QCOMPARE(Text("earned_inv_btc"), QStringLiteral("0,50000000"));
        QCOMPARE(Text("earned_inv_matic"), QStringLiteral("0,50000000"));
    }

    // A coin of the list that the catalogue lacks stops the rows there.
    void coinMissingFromTheCatalogue()
    {
        QStringList codes = Catalogue();
        codes.removeAll("xmr");
        LogIn(SettingsReply(codes), AccountReply("1", codes));
        OpenFromDashboard();
        ClickTab("TabStatistic");
        QVERIFY(PanelShown(Get<TFormInfo>("info")));
        QVERIFY2(PanelText(Get<TFormInfo>("info")).startsWith("Error ChangeTab: "), qPrintable(PanelText(Get<TFormInfo>("info"))));
        QCOMPARE(Text("earned_inv_dash"), QStringLiteral("1,00000000")); // before it
        QCOMPARE(Text("earned_inv_xmr"), QStringLiteral("0"));
        QCOMPARE(Text("earned_inv_etc"), QStringLiteral("0")); // after it
        QCOMPARE(Text("lab_earned_inv"), QStringLiteral("0")); // the lower panel not reached
    }

    void searchNarrowsTheRows()
    {
        LogIn();
        OpenFromDashboard();
        ClickTab("TabStatistic");
        Type(Get<TFormInfo>("info"), "SearchBox1", "do");
        auto* list = Child<QListWidget>(Get<TFormInfo>("info"), "ListBox1");
        QStringList shown;
        for (int i = 0; i < list->count(); ++i)
            if (!list->item(i)->isHidden()) shown << list->item(i)->text();
        QCOMPARE(shown, QStringList{"DOGE"});
        // The selected row (BTC) is hidden now: the statistics take the first row.
        ClickRow("DOGE");
        QCOMPARE(Account().CurrentCoin(), QStringLiteral("doge"));
        Type(Get<TFormInfo>("info"), "SearchBox1", "x");
        Get<TFormInfo>("info")->show_full_statistic();
        QCOMPARE(Account().CurrentCoin(), QStringLiteral("btc"));
    }

    void returnTargets()
    {
        OpenFromLogin();
        QVERIFY(!Get<TFormLogin>("login")->isVisible());
        QCOMPARE(State().SettingsReturnTo, QStringLiteral("login"));
        Click(Get<TFormInfo>("info"), "btn_back");
        QTRY_VERIFY(Get<TFormLogin>("login")->isVisible());
        QVERIFY(!Get<TFormInfo>("info")->isVisible());

        LogIn();
        OpenFromDashboard();
        QCOMPARE(Tabs()->currentWidget()->objectName(), QStringLiteral("TabGuides"));
        QCOMPARE(State().SettingsReturnTo, QStringLiteral("dashboard"));
        Get<TFormInfo>("info")->close(); // the window's own close box
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormInfo>("info")->isVisible());
    }

    void contacts()
    {
        QDesktopServices::setUrlHandler("https", this, "openUrl");
        m_opened.clear();
        OpenFromLogin();
        QCOMPARE(Text("Text4"), QStringLiteral("Ambervale chat"));
        QCOMPARE(Text("Text13"), QStringLiteral("Ambervale channel"));
        QCOMPARE(Text("Text10"), QStringLiteral("Ambervale"));
        QVERIFY(Text("Text7").contains('@'));
        Click(Get<TFormInfo>("info"), "Text4");
        Click(Get<TFormInfo>("info"), "Text13");
        Click(Get<TFormInfo>("info"), "Text10");
        Click(Get<TFormInfo>("info"), "Text7"); // plain text: opens nothing
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(m_opened,
                 (QList<QUrl>{QUrl(TFormInfo::ChatLink), QUrl(TFormInfo::ChannelLink), QUrl(TFormInfo::ProfileLink)}));
    }

    // The guide tab loads html/index.html below the working directory, again on every entry.
    void guideAddressFromTheWorkingDirectory()
    {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        LogIn();
        OpenFromDashboard();
        auto* view = Child<WebView>(Get<TFormInfo>("info"), "WebBrowser1");
        QCOMPARE(view->Url(), community::GuideUrl(dir.path()));
        QCOMPARE(view->Url().toString(),
                 QStringLiteral("file://") + QDir(dir.path()).absolutePath() + QStringLiteral("/html/index.html"));
        QVERIFY(QDir::setCurrent(previous));
        ClickTab("TabFeedBack");
        ClickTab("TabGuides");
        QCOMPARE(view->Url(), community::GuideUrl(previous));
    }

    // Until the guide has painted, its view shows the window's dark colour,
    // not the engine's white.
    void guideViewStartsInTheWindowsColour()
    {
        LogIn();
        OpenFromDashboard();
        auto* view = Child<WebView>(Get<TFormInfo>("info"), "WebBrowser1");
        if (!view->HasEngine()) QSKIP(qPrintable("no web engine: " + WebView::LoadError()));
        QObject* page = nullptr;
        for (QObject* o : view->findChildren<QObject*>())
            if (o->inherits("QWebEnginePage")) page = o;
        QVERIFY(page);
        const QColor background = page->property("backgroundColor").value<QColor>();
        QCOMPARE(background, Get<TFormInfo>("info")->palette().color(QPalette::Window));
        QCOMPARE(background, QColor(0x15, 0x1A, 0x23));
    }

    // Coins are found by their full names too, on each of the three lists.
    void searchFindsFullNames_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");
        for (const char* screen : {"FormDashboard", "FormInfo", "FormRefferal"}) {
            const QString s = QString::fromLatin1(screen);
            QTest::addRow("%s: Bitcoin", screen) << s << "Bitcoin" << QStringList{"BTC", "BCH"};
            QTest::addRow("%s: ethereum", screen) << s << "ethereum" << QStringList{"ETH", "ETC"};
            QTest::addRow("%s: Tether", screen) << s << "Tether" << QStringList{"USDT"};
            QTest::addRow("%s: code", screen) << s << "xmr" << QStringList{"XMR"};
            QTest::addRow("%s: nothing", screen) << s << "Bitcoins" << QStringList{};
        }
    }
    void searchFindsFullNames()
    {
        QFETCH(QString, screen);
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        QJsonObject settings = SettingsReply();
        settings["arr_fullname_coin"] = QJsonArray{"Bitcoin", "Litecoin", "BNB", "Ethereum", "Dogecoin",
                                                   "TRON", "Tether", "Bitcoin Cash", "Dash", "Monero",
                                                   "Ethereum Classic", "Shiba Inu", "Zcash", "Solana", "Polygon"};
        LogIn(settings);
        QWidget* form = nullptr;
        for (QWidget* w : AllScreens())
            if (w->objectName() == screen) form = w;
        QVERIFY(form);
        Activate(form);
        Type(form, "SearchBox1", typed);
        auto* list = Child<QListWidget>(form, "ListBox1");
        QStringList visible;
        for (int i = 0; i < list->count(); ++i)
            if (!list->item(i)->isHidden()) visible << list->item(i)->text();
        QCOMPARE(visible, shown);
    }

    // The guide shipped beside the program really renders in the tab.
    void guidePageRenders()
    {
        const QString bin = QCoreApplication::applicationDirPath();
        if (!QFile::exists(bin + "/html/index.html")) QSKIP("the guide page is not beside the test program");
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(bin));
        LogIn();
        Activate(Get<TFormDashboard>("dashboard"));
        auto* view = Child<WebView>(Get<TFormInfo>("info"), "WebBrowser1");
        QSignalSpy finished(view, &WebView::loadFinished);
        Click(Get<TFormDashboard>("dashboard"), "Image3");
        QVERIFY(QDir::setCurrent(previous));
        QVERIFY2(view->HasEngine(), qPrintable(WebView::LoadError()));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 120000);
        QCOMPARE(finished.last().first().toBool(), true);
        QWidget* tab = Child(Get<TFormInfo>("info"), "TabGuides");
        // The page's dark background and its amber headings, not an empty
        // white view; the text may come a moment after the background.
        const auto drawn = [tab] {
            const QImage picture = tab->grab().toImage();
            return Coverage(picture, QColor(0x15, 0x1A, 0x23)) > 0.2 &&
                   Coverage(picture, QColor(0xF2, 0xA9, 0x00)) > 0.001 && Coverage(picture, Qt::white) < 0.5;
        };
        QTRY_VERIFY_WITH_TIMEOUT(drawn(), 30000);
    }
};

AMBERVALE_GUI_TEST_MAIN(InfoTest)
#include "tst_info.moc"
