// The withdraw screen's net amount and the button that follows it.
#include "NumberText.h"
#include "WithdrawFee.h"

#include <QtTest>

class MoneyWithdrawTest : public QObject {
    Q_OBJECT
private slots:
    void networks();
    void netAfterFee_data();
    void netAfterFee();
    void rejects_data();
    void rejects();
};

void MoneyWithdrawTest::networks()
{
    const QStringList expected{"Main",          "BEP-20 (Binance)", "ERC-20 (Ethereum)",
                               "TRC-20 (Tron)", "SOL (Solana)",     "PRC-20 (Polygon)"};
    QCOMPARE(withdraw::Networks(), expected);
}

void MoneyWithdrawTest::netAfterFee_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("fixedFee");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("total");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("0.5 typed with a point") << "0.5"
                                            << "0,0001" << 2 << "0,48990000" << true;
    QTest::newRow("below the fee") << "0,0001"
                                   << "0,0001" << 2 << "-0,00000200" << false;
    QTest::newRow("nothing") << "0"
                             << "0,0001" << 2 << "-0,00010000" << false;
    QTest::newRow("smallest shown amount") << "0,00000001"
                                           << "0" << 0 << "0,00000001" << true;
    QTest::newRow("fixed fee in exponent form") << "1"
                                                << "5E-6" << 3 << "0,96999500" << true;
    QTest::newRow("eight decimals") << "0,12345678"
                                    << "0,0001" << 3 << "0,11965308" << true;
    QTest::newRow("no percent") << "2"
                                << "0,5" << 0 << "1,50000000" << true;
    QTest::newRow("blanks around") << " 1 "
                                   << "0" << 10 << "0,90000000" << true;
    // The percentage part is cut toward zero, as the service cuts it: 2 % of
    // 999,99999999 is 19,99999999, not 20.
    QTest::newRow("percentage cut to units") << "999,99999999"
                                             << "2" << 2 << "978,00000000" << true;
    QTest::newRow("fee below one unit cut") << "0,00000049"
                                            << "1,5E-8" << 2 << "0,00000048" << true;
}

void MoneyWithdrawTest::netAfterFee()
{
    QFETCH(QString, amount);
    QFETCH(QString, fixedFee);
    QFETCH(int, percent);
    QFETCH(QString, total);
    QFETCH(bool, enabled);
    const withdraw::NetAmount net = withdraw::NetAfterFee(amount, fixedFee, percent);
    QCOMPARE(net.totalText, total);
    QCOMPARE(net.canWithdraw, enabled);
}

void MoneyWithdrawTest::rejects_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("fixedFee");
    QTest::newRow("empty amount") << ""
                                  << "0,0001";
    QTest::newRow("letters") << "abc"
                             << "0,0001";
    QTest::newRow("two separators") << "1.2.3"
                                    << "0,0001";
    QTest::newRow("lone minus") << "-"
                                << "0,0001";
    QTest::newRow("pasted with spaces") << "0, 5"
                                        << "0,0001";
    QTest::newRow("400 digits") << QString(400, QLatin1Char('9')) << "0,0001";
    QTest::newRow("no fixed fee handed over") << "1"
                                              << "";
    QTest::newRow("fixed fee with a point") << "1"
                                            << "0.0001";
    // Amounts the service would refuse have no net.
    QTest::newRow("nine decimals") << "0,000000004"
                                   << "0";
    QTest::newRow("exponent") << "1E-3"
                              << "0";
}

void MoneyWithdrawTest::rejects()
{
    QFETCH(QString, amount);
    QFETCH(QString, fixedFee);
    QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, withdraw::NetAfterFee(amount, fixedFee, 2));
}

QTEST_GUILESS_MAIN(MoneyWithdrawTest)
#include "tst_money_withdraw.moc"
