// The activity screen, the dashboard's dollar values and the notices against
// the real service: what the user just did is listed with the amounts that
// moved the wallet, the exported file reads back through Python's csv module
// row for row, the total is the balances times the service's prices, and an
// operator's credit is told exactly once, also across a restart.
#include "AccountModel.h"
#include "History.h"
#include "Notices.h"
#include "Requests.h"
#include "ServiceClient.h"
#include "ScreenTestSupport.h"
#include "ServiceHarness.h"
#include "Tls.h"
#include "EarningsChart.h"
#include "activity.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>

using support::Child;

class ActivityAgainstServiceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<svc::Service> m_service;

    static QWidget* screen(const char* objectName)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String(objectName)) return w;
        qFatal("no screen named %s", objectName);
    }

    // Logs in through the login screen; the dashboard is up afterwards.
    void logIn(const svc::User& u)
    {
        support::FreshScreens(nullptr);
        State().ServerScheme = QStringLiteral("https");
        State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(m_service->port());
        QWidget* login = screen("FormLogin");
        login->show();
        login->activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(State().ServerLoadPercent, 100, 20000);
        QTest::keyClicks(Child<QLineEdit>(login, "LoginEdit"), u.login);
        QTest::keyClicks(Child<QLineEdit>(login, "PassEdit"), u.password);
        QTest::mouseClick(Child<QPushButton>(login, "BtnLogin"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(screen("FormDashboard")->isVisible(), 20000);
    }

    svc::User newUser(const QStringList& credits)
    {
        svc::Client c = m_service->client();
        const svc::User u = svc::NewUser(c, QStringLiteral("act"));
        for (int i = 0; i + 1 < credits.size(); i += 2) {
            const auto r = m_service->command({"credit", u.login, credits[i], credits[i + 1]});
            if (r.exitCode != 0) qWarning("credit failed: %s", qPrintable(r.err));
        }
        return u;
    }

    // Opens the activity screen from the dashboard's navigation strip.
    FormActivity* openActivity()
    {
        QWidget* dashboard = screen("FormDashboard");
        auto* button = dashboard->findChild<QWidget*>("activity_btn");
        if (button)
            QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        else
            Host()->Open("activity", "dashboard");
        auto* activity = static_cast<FormActivity*>(ScreenNamed("activity"));
        if (activity) [&] { QTRY_VERIFY_WITH_TIMEOUT(activity->isVisible(), 10000); }();
        return activity;
    }

    // Clicks the coin's row on the dashboard: the coin the other screens then show.
    static void selectCoin(const QString& code)
    {
        auto* list = Child<QListWidget>(screen("FormDashboard"), "ListBox1");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == code) {
                list->setCurrentRow(i);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(i)).center());
            }
        QCOMPARE(Account().CurrentCoin(), code.toLower());
    }

    static QString cell(QTableView* t, int row, int column)
    {
        return t->model()->index(row, column).data().toString();
    }

    // The history lines of the account as the service itself pages them.
    QJsonArray serviceHistory(const svc::User& u)
    {
        svc::Client c = m_service->client();
        const svc::Response r = c.post(history::Request(u.login, u.digest(), svc::FreshToken(), {}, 0, 200));
        return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object().value("items").toArray();
    }

private slots:
    void initTestCase()
    {
        SVC_REQUIRE_STORE();
        m_service = std::make_unique<svc::Service>();
        QVERIFY(tls::TrustExtraCaFile(m_service->caFile()) > 0);
        QFile::remove(notices::SettingsFile());
    }
    void cleanupTestCase()
    {
        DestroyScreens();
        m_service.reset();
    }

    // An invest through the invest screen and a swap: both at the top of the
    // table, newest first, with the amounts that moved the wallet.
    void listsWhatWasJustDone()
    {
        const svc::User u = newUser({"btc", "0.1"});
        logIn(u);
        if (QTest::currentTestFailed()) return;
        // The invest, as the user makes it.
        selectCoin("BTC");
        Child<QPushButton>(screen("FormDashboard"), "Button1")->click();
        QWidget* invest = screen("FormInvest");
        QTRY_VERIFY(invest->isVisible());
        auto* value = Child<QLineEdit>(invest, "val_invest_coin");
        value->clear();
        QTest::keyClicks(value, "0,02");
        Child<QPushButton>(invest, "Button1")->click();
        QTest::keyClicks(Child<QLineEdit>(invest, "conf_pass"), u.password);
        Child<QPushButton>(invest, "Button4")->click();
        QTRY_VERIFY2_WITH_TIMEOUT(support::PanelText(invest).startsWith("Investment accepted"),
                                  qPrintable(support::PanelText(invest)), 20000);
        const QString investedCoin = Account().CurrentCoin();
        invest->close();
        // A swap of 0.01 of that coin into USDT by the client's own request.
        svc::Client c = m_service->client();
        const svc::Response swap = c.post(api::SwapCoin("swap", investedCoin, "usdt", "0.01", u.login, u.digest(),
                                                        svc::FreshToken()));
        QVERIFY2(swap.ok, swap.body.c_str());

        FormActivity* activity = openActivity();
        QVERIFY(activity);
        auto* table = Child<QTableView>(activity, "table_history");
        QTRY_VERIFY_WITH_TIMEOUT(table->model()->rowCount() >= 4, 20000);
        const QString coin = investedCoin.toUpper();
        QCOMPARE(cell(table, 0, HistoryModel::Kind), QStringLiteral("Swap (in)"));
        QCOMPARE(cell(table, 0, HistoryModel::Coin), QStringLiteral("USDT"));
        QCOMPARE(cell(table, 1, HistoryModel::Kind), QStringLiteral("Swap (out)"));
        QCOMPARE(cell(table, 1, HistoryModel::Coin), coin);
        QCOMPARE(cell(table, 1, HistoryModel::Amount), QStringLiteral("-0,01000000"));
        QCOMPARE(cell(table, 2, HistoryModel::Kind), QStringLiteral("Rental"));
        QCOMPARE(cell(table, 2, HistoryModel::Amount), QStringLiteral("-0,02000000"));
        QCOMPARE(cell(table, 2, HistoryModel::Status), QStringLiteral("Done"));
        // What the swap brought in is what the wallet got: the service's own line.
        const QJsonArray lines = serviceHistory(u);
        QString in = lines.at(0).toObject().value("amount").toString();
        in.replace('.', ',');
        QCOMPARE(cell(table, 0, HistoryModel::Amount), in);
        QCOMPARE(table->model()->rowCount(), lines.size());
        QVERIFY(m_service->verify());
    }

    // The export read back by Python's csv module gives the table's rows,
    // a failed withdrawal's reason with a comma and quotes included.
    void csvRoundTripsThroughPython()
    {
        const svc::User u = newUser({"usdt", "500", "doge", "3000"});
        svc::Client c = m_service->client();
        const svc::Response w = c.post(api::Withdraw("doge", svc::ValidAddress("doge"), "Main", "1000", u.login,
                                                     u.digest(), svc::FreshToken()));
        QVERIFY2(w.ok && QString::fromStdString(w.body).startsWith("Withdrawal accepted"), w.body.c_str());
        QString id;
        for (const QString& line : m_service->command({"withdrawals"}).out.split('\n'))
            if (line.contains(u.login)) id = line.section('\t', 0, 0);
        QVERIFY(!id.isEmpty());
        const auto failed = m_service->command({"mark-failed", id, "node \"east\" down, try later"});
        QCOMPARE(failed.exitCode, 0);

        logIn(u);
        if (QTest::currentTestFailed()) return;
        FormActivity* activity = openActivity();
        QVERIFY(activity);
        auto* table = Child<QTableView>(activity, "table_history");
        QTRY_VERIFY_WITH_TIMEOUT(table->model()->rowCount() >= 4, 20000);

        QTemporaryDir dir;
        const QString path = dir.filePath("history.csv");
        QTest::mouseClick(Child<QPushButton>(activity, "btn_export"), Qt::LeftButton);
        auto* dialog = activity->findChild<QFileDialog*>("dialog_export");
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
        dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Save)->click();
        QTRY_VERIFY2_WITH_TIMEOUT(support::PanelText(activity).startsWith("Exported"),
                                  qPrintable(support::PanelText(activity)), 20000);

        QProcess python;
        python.start("python3", {"-c", "import csv, json, sys\n"
                                       "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                       "    print(json.dumps(list(csv.reader(f))))\n",
                                 path});
        QVERIFY(python.waitForFinished(30000));
        QCOMPARE(python.exitCode(), 0);
        const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
        QCOMPARE(rows.size(), table->model()->rowCount() + 1);
        QCOMPARE(rows.at(0).toArray(),
                 QJsonArray({"id", "date", "kind", "coin", "amount", "fee", "status", "detail"}));
        const QList<history::Item>& items = activity->Model()->Items();
        bool reasonSeen = false;
        for (int r = 0; r < items.size(); ++r) {
            const QJsonArray row = rows.at(r + 1).toArray();
            QCOMPARE(row.size(), 8);
            QCOMPARE(row.at(0).toString(), QString::number(items[r].id));
            QCOMPARE(row.at(1).toString(), cell(table, r, HistoryModel::Date));
            QCOMPARE(row.at(2).toString(), items[r].kind);
            QCOMPARE(row.at(3).toString(), cell(table, r, HistoryModel::Coin));
            // The table's amount with "." for the file.
            QCOMPARE(row.at(4).toString(), cell(table, r, HistoryModel::Amount).replace(',', '.'));
            QCOMPARE(row.at(5).toString(), cell(table, r, HistoryModel::Fee).replace(',', '.'));
            QCOMPARE(row.at(6).toString(), items[r].status);
            QCOMPARE(row.at(7).toString(), cell(table, r, HistoryModel::Detail));
            reasonSeen = reasonSeen || row.at(7).toString() == QStringLiteral("node \"east\" down, try later");
        }
        QVERIFY(reasonSeen);
        QVERIFY(m_service->verify());
    }

    // The total on the dashboard is every wallet and investment times the
    // service's price, computed here independently with 128-bit integers.
    void dashboardTotalIsBalancesTimesPrices()
    {
        const svc::User u = newUser({"btc", "0.12345678", "doge", "2500", "eth", "1.5"});
        svc::Client c = m_service->client();
        const svc::Response inv = c.post(api::InvestCoin("1", "doge", "1000", u.login, u.digest(), svc::FreshToken()));
        QVERIFY2(QString::fromStdString(inv.body).startsWith("Investment accepted"), inv.body.c_str());
        logIn(u);
        if (QTest::currentTestFailed()) return;
        QWidget* dashboard = screen("FormDashboard");
        auto* total = Child<QLabel>(dashboard, "lab_usd_total");
        QTRY_VERIFY_WITH_TIMEOUT(total->text().startsWith("Total value: "), 20000);

        const QJsonObject priceReply = QJsonDocument::fromJson(
            QByteArray::fromStdString(c.post({{"a", "prices"}, {"session", svc::FreshToken()}}).body)).object();
        const QJsonObject usd = priceReply.value("usd").toObject();
        QVERIFY(!usd.isEmpty());
        const QJsonObject account = svc::Account(c, u);
        __int128 sum = 0; // billionths of a dollar
        int coinsWithMoney = 0;
        for (auto it = usd.begin(); it != usd.end(); ++it) {
            const QString price = it.value().toString();
            const int dot = price.indexOf('.');
            const __int128 nano = __int128(price.left(dot).toLongLong()) * 1'000'000'000 +
                                  price.mid(dot + 1).leftJustified(9, '0').toLongLong();
            for (const char* prefix : {"wall_", "inv_"}) {
                const qint64 units = svc::Units(account, prefix + it.key());
                if (units) ++coinsWithMoney;
                sum += __int128(units) * nano / 100'000'000;
            }
        }
        QVERIFY(coinsWithMoney >= 4); // three wallets and the rental
        const qint64 cents = qint64(sum / 10'000'000);
        const QString expected = QStringLiteral("Total value: %1,%2 USD").arg(cents / 100).arg(cents % 100, 2, 10, QChar('0'));
        QCOMPARE(total->text(), expected);

        // Each row's wallet value beside its balance.
        const QString btcPrice = usd.value("btc").toString();
        const __int128 btcNano = __int128(btcPrice.left(btcPrice.indexOf('.')).toLongLong()) * 1'000'000'000 +
                                 btcPrice.mid(btcPrice.indexOf('.') + 1).leftJustified(9, '0').toLongLong();
        const qint64 btcCents = qint64(__int128(svc::Units(account, "wall_btc")) * btcNano / 100'000'000 / 10'000'000);
        QCOMPARE(Child<QLabel>(dashboard, "usd_btc")->text(),
                 QStringLiteral("%1,%2 USD").arg(btcCents / 100).arg(btcCents % 100, 2, 10, QChar('0')));
    }

    // A rental two days in: its card says what it earned against what the
    // rules pay by now, the days left and what returns; the chart's days add
    // up to the earning lines the service lists for the coin.
    void rentalCardAndEarningsChart()
    {
        const svc::User u = newUser({"btc", "0.5"});
        svc::Client c = m_service->client();
        const svc::Response inv = c.post(api::InvestCoin("1", "btc", "0.365", u.login, u.digest(), svc::FreshToken()));
        QVERIFY2(QString::fromStdString(inv.body).startsWith("Investment accepted"), inv.body.c_str());
        m_service->advance(86400);
        svc::Account(c, u); // the first day credited
        m_service->advance(86400 + 3600);
        logIn(u);
        if (QTest::currentTestFailed()) return;
        // Earnings brought up to date as a refresh does, so the rentals' figures and the lines agree.
        const QJsonObject rentalsReply = QJsonDocument::fromJson(QByteArray::fromStdString(
            c.post({{"a", "investments"}, {"s", u.login}, {"pass", u.digest()}, {"session", svc::FreshToken()}}).body))
                                             .object();
        const QJsonObject rental = rentalsReply.value("investments").toArray().at(0).toObject();
        QCOMPARE(rental.value("status").toString(), QStringLiteral("open"));
        selectCoin("BTC"); // the chart shows the dashboard's coin

        FormActivity* activity = openActivity();
        QVERIFY(activity);
        auto* tabs = Child<QTabWidget>(activity, "tabs_activity");
        tabs->setCurrentWidget(Child(activity, "tab_rentals"));
        QWidget* card = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((card = activity->findChild<QWidget*>(
                                      QStringLiteral("rental_card_%1").arg(rental.value("id").toInteger()))),
                                 20000);
        auto text = [&](const char* name) { return Child<QLabel>(card, name)->text(); };
        auto shown = [](QString v) { return v.replace('.', ','); };
        QCOMPARE(text("lab_principal"), QStringLiteral("0,36500000 BTC for 90 days"));
        QCOMPARE(text("lab_days_left"), QStringLiteral("88 days left"));
        QCOMPARE(text("lab_earned"), QStringLiteral("Earned %1 of %2 BTC due by now")
                                         .arg(shown(rental.value("earned").toString()),
                                              shown(rental.value("due_by_now").toString())));
        QCOMPARE(text("lab_returns"), QStringLiteral("Returns %1 BTC").arg(shown(rental.value("returns").toString())));
        QVERIFY(text("lab_end").startsWith("Ends " + rental.value("end").toString().left(16)));
        QVERIFY(!Child<QLabel>(activity, "lab_rentals_empty")->isVisible());

        tabs->setCurrentWidget(Child(activity, "tab_earnings"));
        qint64 credited = 0;
        for (const QJsonValue& line : serviceHistory(u)) {
            const QJsonObject o = line.toObject();
            if (o.value("kind") == "earning" && o.value("coin") == "btc") credited += svc::UnitsOf(o.value("amount").toString());
        }
        QVERIFY(credited > 0);
        auto* total = Child<QLabel>(activity, "lab_earnings_total");
        QTRY_COMPARE_WITH_TIMEOUT(total->text(), QStringLiteral("Credited in 30 days: %1 BTC")
                                                     .arg(shown(svc::Decimal(credited))), 20000);
        const QList<double> bars = activity->Chart()->Heights();
        QCOMPARE(bars.size(), 30);
        int days = 0;
        double sum = 0;
        for (double b : bars) {
            days += b > 0;
            sum += b;
        }
        // A line per UTC day something was credited on: the two later days, and the first when the sweep ran in it.
        QVERIFY2(days >= 2 && days <= 3, qPrintable(QString::number(days)));
        QVERIFY(qAbs(sum * 1e8 - double(credited)) < 1.0);
        QVERIFY2(activity->Chart()->View(), "the chart plugin did not load");
        Child<QRadioButton>(activity, "radio_90")->click();
        QCOMPARE(activity->Chart()->Heights().size(), 90);
        QCOMPARE(total->text(), QStringLiteral("Credited in 90 days: %1 BTC").arg(shown(svc::Decimal(credited))));
    }

    // A deposit credited by the operator's command raises exactly one notice,
    // on the next refresh, and not again later nor after a restart.
    void creditNotifiesOnce()
    {
        const svc::User u = newUser({"btc", "0.01"});
        logIn(u);
        if (QTest::currentTestFailed()) return;
        auto* activity = static_cast<FormActivity*>(ScreenNamed("activity"));
        QVERIFY(activity);
        QSignalSpy told(activity->Watcher(), &NoticeWatcher::Notice);
        // The first look after the login remembers where the history stands.
        QTRY_VERIFY_WITH_TIMEOUT(
            QSettings(notices::SettingsFile(), QSettings::IniFormat).contains(notices::AccountKey(u.login)), 20000);
        QTest::qWait(500);
        QCOMPARE(told.size(), 0);

        QCOMPARE(m_service->command({"credit", u.login, "btc", "0.5"}).exitCode, 0);
        Service().RefreshAccount();
        QTRY_COMPARE_WITH_TIMEOUT(told.size(), 1, 20000);
        QVERIFY2(told[0][0].toString().startsWith("Deposit credited: 0,5"), qPrintable(told[0][0].toString()));
        QVERIFY2(told[0][0].toString().endsWith(" BTC"), qPrintable(told[0][0].toString()));
        QTRY_VERIFY(support::PanelText(screen("FormDashboard")).startsWith("Deposit credited: "));
        Service().RefreshAccount();
        QTest::qWait(1500);
        QCOMPARE(told.size(), 1);

        // A restart: the screens made anew, the same login.
        logIn(u);
        if (QTest::currentTestFailed()) return;
        activity = static_cast<FormActivity*>(ScreenNamed("activity"));
        QSignalSpy again(activity->Watcher(), &NoticeWatcher::Notice);
        Service().RefreshAccount();
        QTest::qWait(2000);
        QCOMPARE(again.size(), 0);
    }
};

AMBERVALE_GUI_TEST_MAIN(ActivityAgainstServiceTest)
#include "tst_activity_against_service.moc"
