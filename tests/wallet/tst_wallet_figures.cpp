// Dashboard texts: earnings projection, APR explanation, withdrawal fee.
#include "NumberText.h"
#include "WalletFigures.h"

#include <QtTest>

class WalletFiguresTest : public QObject {
    Q_OBJECT
private slots:
    void earningsProjection_data();
    void earningsProjection();
    void aprExplanation();
    void withdrawFixedFee_data();
    void withdrawFixedFee();
    void withdrawFixedFeeRejectsNonNumbers();
    void withdrawFeeText_data();
    void withdrawFeeText();
};

// Year = amount / 100 * APR; half and quarter of it; a day is a 365th of the year and a week seven days, as
// the service's accrual pays them, each rounded down to units of 10^-8.
void WalletFiguresTest::earningsProjection_data()
{
    QTest::addColumn<double>("amount");
    QTest::addColumn<int>("apr");
    QTest::addColumn<QString>("coin");
    QTest::addColumn<QString>("expected");
    QTest::newRow("2,5 at 12 in DOGE")
        << 2.5 << 12 << "DOGE"
        << "Year: 0,30000000DOGE\r\n6 Month: 0,15000000DOGE\r\n3 Month: 0,07500000DOGE\r\n"
           "1 Week: 0,00575342DOGE\r\n1 Day: 0,00082191DOGE";
    QTest::newRow("1 at 10 in DOGE") << 1.0 << 10 << "DOGE"
                                     << "Year: 0,10000000DOGE\r\n6 Month: 0,05000000DOGE\r\n3 Month: 0,02500000DOGE\r\n"
                                        "1 Week: 0,00191780DOGE\r\n1 Day: 0,00027397DOGE";
    QTest::newRow("100 at 12 in BTC") << 100.0 << 12 << "BTC"
                                      << "Year: 12,00000000BTC\r\n6 Month: 6,00000000BTC\r\n3 Month: 3,00000000BTC\r\n"
                                         "1 Week: 0,23013698BTC\r\n1 Day: 0,03287671BTC";
    QTest::newRow("nothing invested") << 0.0 << 12 << "ETH"
                                      << "Year: 0,00000000ETH\r\n6 Month: 0,00000000ETH\r\n3 Month: 0,00000000ETH\r\n"
                                         "1 Week: 0,00000000ETH\r\n1 Day: 0,00000000ETH";
    QTest::newRow("APR zero") << 5.0 << 0 << "USDT"
                              << "Year: 0,00000000USDT\r\n6 Month: 0,00000000USDT\r\n3 Month: 0,00000000USDT\r\n"
                                 "1 Week: 0,00000000USDT\r\n1 Day: 0,00000000USDT";
}

void WalletFiguresTest::earningsProjection()
{
    QFETCH(double, amount);
    QFETCH(int, apr);
    QFETCH(QString, coin);
    QFETCH(QString, expected);
    QCOMPARE(figures::EarningsProjection(amount, apr, coin), expected);
}

void WalletFiguresTest::aprExplanation()
{
    const QString text = figures::AprExplanation();
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 3);
    // U+2139 INFORMATION SOURCE, written as an escape so the source file's encoding cannot matter.
    QCOMPARE(lines.at(0), QString(QChar(0x2139)) + "APR - this is the percentage of return per year on investments.");
    for (const QString& line : lines) {
        QVERIFY(!line.isEmpty());
        QVERIFY(!line.contains(QLatin1Char('\r')));
        QVERIFY(!line.contains(QLatin1Char('\n')));
    }
}

void WalletFiguresTest::withdrawFixedFee_data()
{
    QTest::addColumn<QString>("minimum");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0,0005") << "0,0005"
                            << "0,00005";
    QTest::newRow("0,00005 goes to exponent form") << "0,00005"
                                                   << "5E-6";
    QTest::newRow("0,001") << "0,001"
                           << "0,0001";
    QTest::newRow("0,5") << "0,5"
                         << "0,05";
    QTest::newRow("whole 1") << "1"
                             << "0,1";
    QTest::newRow("whole 10") << "10"
                              << "1";
    QTest::newRow("25") << "25"
                        << "2,5";
    QTest::newRow("zero") << "0"
                          << "0";
    // The service cuts the tenth to whole units of 10^-8.
    QTest::newRow("a tenth below one unit is cut") << "0,00000015"
                                                   << "1E-8";
}

void WalletFiguresTest::withdrawFixedFee()
{
    QFETCH(QString, minimum);
    QFETCH(QString, expected);
    QCOMPARE(figures::WithdrawFixedFee(minimum), expected);
}

void WalletFiguresTest::withdrawFixedFeeRejectsNonNumbers()
{
    for (const char* text : {"", "abc", "0,0005 BTC", "1 000"})
        QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, figures::WithdrawFixedFee(QString::fromLatin1(text)));
}

void WalletFiguresTest::withdrawFeeText_data()
{
    QTest::addColumn<QString>("fixedFee");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0,00005 and 3") << "0,00005" << 3 << "0,00005+3%";
    QTest::newRow("exponent fee and 5") << "5E-6" << 5 << "5E-6+5%";
    QTest::newRow("no percentage") << "0,0001" << 0 << "0,0001+0%";
    QTest::newRow("two digit percentage") << "1" << 15 << "1+15%";
}

void WalletFiguresTest::withdrawFeeText()
{
    QFETCH(QString, fixedFee);
    QFETCH(int, percent);
    QFETCH(QString, expected);
    QCOMPARE(figures::WithdrawFeeText(fixedFee, percent), expected);
}

QTEST_GUILESS_MAIN(WalletFiguresTest)
#include "tst_wallet_figures.moc"
