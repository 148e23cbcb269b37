// The guide page tells users what the service pays: it is written from the
// service's own rules, so what it says is what the real service does, with the
// default figures and with an operator's own.
#include "ServiceHarness.h"

#include "Config.h"
#include "Requests.h"
#include "Rules.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace svc;

namespace {

QString ReadText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Writes the page for config.json (none: the defaults) with the build's generator.
QString GeneratedPage(const QString& configPath = {})
{
    static QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("index-%1.html").arg(QRandomGenerator::global()->generate()));
    QStringList args{QStringLiteral(AMBERVALE_GUIDE_TEMPLATE), out};
    if (!configPath.isEmpty()) args << configPath;
    QProcess p;
    p.start(QStringLiteral(AMBERVALE_GUIDE_GENERATOR), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("generator failed: %s", p.readAllStandardError().constData());
        return {};
    }
    return ReadText(out);
}

// "0,01 USDT" -> 1000000 units.
qint64 UnitsOfCommaText(const QString& amount)
{
    return Units(QJsonObject{{"v", QString(amount).replace(',', '.')}}, "v");
}

QString Captured(const QString& page, const QString& pattern)
{
    const QRegularExpressionMatch m = QRegularExpression(pattern).match(page);
    return m.hasMatch() ? m.captured(1) : QString();
}

} // namespace

class ServiceGuideTest : public QObject {
    Q_OBJECT
private slots:
    void wordsForFigures_data()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const std::string& got, const char* expected) {
            QTest::newRow(name) << QString::fromStdString(got) << QString::fromUtf8(expected);
        };
        row("1st", rules::Ordinal(1), "1st");
        row("2nd", rules::Ordinal(2), "2nd");
        row("3rd", rules::Ordinal(3), "3rd");
        row("11th", rules::Ordinal(11), "11th");
        row("12th", rules::Ordinal(12), "12th");
        row("13th", rules::Ordinal(13), "13th");
        row("20th", rules::Ordinal(20), "20th");
        row("21st", rules::Ordinal(21), "21st");
        row("112th", rules::Ordinal(112), "112th");
        row("90 days", rules::PeriodText(90), "3 months");
        row("30 days", rules::PeriodText(30), "1 month");
        row("365 days", rules::PeriodText(365), "1 year");
        row("730 days", rules::PeriodText(730), "2 years");
        row("14 days", rules::PeriodText(14), "2 weeks");
        row("45 days", rules::PeriodText(45), "45 days");
        row("1 day", rules::PeriodText(1), "1 day");
        row("hour", rules::FrequencyText(3600), "once an hour");
        row("day", rules::FrequencyText(86400), "once a day");
        row("30 min", rules::FrequencyText(1800), "once every 30 minutes");
        row("2 h", rules::FrequencyText(7200), "once every 2 hours");
        row("90 s", rules::FrequencyText(90), "once every 90 seconds");
        row("cent", rules::AmountText(1'000'000), "0,01");
        row("whole", rules::AmountText(15 * 100'000'000LL), "15");
        row("smallest", rules::AmountText(1), "0,00000001");
    }
    void wordsForFigures()
    {
        QFETCH(QString, got);
        QFETCH(QString, expected);
        QCOMPARE(got, expected);
    }

    void aPageWithAHoleIsRefused()
    {
        const std::map<std::string, std::string> figures{{"a", "1"}};
        QCOMPARE(QString::fromStdString(rules::Render("x {{a}} y {{a}}", figures)), QStringLiteral("x 1 y 1"));
        QVERIFY_THROWS_EXCEPTION(rules::TemplateError, rules::Render("x {{b}}", figures));
        QVERIFY_THROWS_EXCEPTION(rules::TemplateError, rules::Render("x {{a", figures));
        // The real template names only figures the rules know.
        const QString page = GeneratedPage();
        QVERIFY(!page.isEmpty());
        QVERIFY(!page.contains("{{"));
        // The page beside the program is the generated one.
        QCOMPARE(ReadText(QStringLiteral(AMBERVALE_GUIDE_BUILT)), page);
    }

    // What the page says against what the real service does, with its defaults.
    void thePageSaysWhatTheServicePays()
    {
        const QString page = GeneratedPage();
        const QString faucet = Captured(page, "A claim brings ([0-9,]+) USDT");
        const QString welcome = Captured(page, "receive ([0-9,]+) DOGE");
        const QString potFee = Captured(page, "the pot less ([0-9]+)%");
        const QString threeMonthsFee = Captured(page, "<td>3 months</td><td class=\"fee\">([0-9]+)%</td>");
        QVERIFY(!faucet.isEmpty() && !welcome.isEmpty() && !potFee.isEmpty() && !threeMonthsFee.isEmpty());

        Service service;
        Client c = service.client();
        const User inviter = NewUser(c, "guide");
        const QString code = Account(c, inviter).value("refcode").toString();
        const User u = NewUser(c, "guided", code);
        QCOMPARE(Units(Account(c, u), "wall_doge"), UnitsOfCommaText(welcome));
        QVERIFY(c.post(api::FreeCoin(u.login, u.digest(), FreshToken())).text().startsWith("You received"));
        QCOMPARE(Units(Account(c, u), "wall_usdt"), UnitsOfCommaText(faucet));
        // A three-month rental (code 1) keeps the fee the table gives.
        QCOMPARE(service.command({"credit", u.login, "btc", "1"}).exitCode, 0);
        const QString invested = c.post(api::InvestCoin("1", "btc", "1", u.login, u.digest(), FreshToken())).text();
        QVERIFY2(invested.contains(threeMonthsFee + "% of the amount is kept"), qPrintable(invested));
        // The service's own invitation page tells the same.
        const QString advert = c.get("/morec/ads/a-ads_2.php").text();
        QVERIFY2(advert.contains("get " + welcome + " DOGE"), qPrintable(advert));
        QCOMPARE(potFee.toInt(), Config::Defaults().lotteryFeePercent);
        QVERIFY(service.verify());
    }

    // An operator's own figures reach both the page written for them and the service.
    void anOperatorsFiguresReachThePageAndTheService()
    {
        QTemporaryDir cfgDir;
        const QString cfg = cfgDir.filePath("config.json");
        {
            QFile f(cfg);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(R"({"registrations_per_address": 1000000, "reset_requests_per_address": 1000000,
                        "faucet_reward": "0.02", "faucet_period_seconds": 1800, "referral_welcome": "7",
                        "lottery_fee_percent": 5, "lottery_players": 21})");
        }
        const QString page = GeneratedPage(cfg);
        QVERIFY(page.contains("A claim brings 0,02 USDT, once every 30 minutes per account"));
        QVERIFY(page.contains("receive 7 DOGE"));
        QVERIFY(page.contains("the pot less 5%"));
        QVERIFY(page.contains("as soon as the 21st player joins"));
        // None of the default figures is left written into the page by hand.
        const QString defaults = GeneratedPage();
        for (const auto& [name, text] : rules::GuideFigures(Config::Defaults())) {
            if (name == "rental_rows" || name == "faucet_coin" || name == "withdraw_fee_example" ||
                name == "referral_faucet_percent" || name == "referral_invest_percent")
                continue; // the same in both configurations
            QVERIFY2(defaults.contains(QString::fromStdString(text)), name.c_str());
            QVERIFY2(!page.contains(QString::fromStdString(text)), name.c_str());
        }

        Service service(Service::DefaultArgs(), nullptr,
                        [&](const QString& dataDir) { QFile::copy(cfg, dataDir + "/config.json"); });
        Client c = service.client();
        const User u = NewUser(c, "operator");
        QVERIFY(c.post(api::FreeCoin(u.login, u.digest(), FreshToken())).text().startsWith("You received"));
        QCOMPARE(Units(Account(c, u), "wall_usdt"), UnitsOfCommaText(Captured(page, "A claim brings ([0-9,]+) USDT")));
        service.advance(1801);
        QVERIFY(c.post(api::FreeCoin(u.login, u.digest(), FreshToken())).text().startsWith("You received"));
    }
};

QTEST_GUILESS_MAIN(ServiceGuideTest)
#include "tst_service_guide.moc"
