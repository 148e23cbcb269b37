// The service's amount arithmetic: texts of negative amounts and the checked
// arithmetic every balance change goes through.
#include "Money.h"

#include <QtTest>

#include <climits>

class MoneyServiceTest : public QObject {
    Q_OBJECT
private slots:
    void format_data();
    void format();
    void mulDiv_data();
    void mulDiv();
    void add_data();
    void add();
};

void MoneyServiceTest::format_data()
{
    QTest::addColumn<qint64>("units");
    QTest::addColumn<QString>("full");
    QTest::addColumn<QString>("millionths");
    QTest::newRow("zero") << qint64(0) << "0.00000000" << "0.00";
    QTest::newRow("one unit") << qint64(1) << "0.00000001" << "0.01";
    QTest::newRow("minus one unit") << qint64(-1) << "-0.00000001" << "-0.01";
    QTest::newRow("minus 1.5 millionths") << qint64(-150) << "-0.00000150" << "-1.50";
    QTest::newRow("minus 1.05 millionths") << qint64(-105) << "-0.00000105" << "-1.05";
    QTest::newRow("1.5 coins") << qint64(150'000'000) << "1.50000000" << "1500000.00";
    QTest::newRow("minus 1.5 coins") << qint64(-150'000'000) << "-1.50000000" << "-1500000.00";
    QTest::newRow("largest") << qint64(LLONG_MAX) << "92233720368.54775807" << "92233720368547758.07";
    QTest::newRow("smallest") << qint64(LLONG_MIN) << "-92233720368.54775808" << "-92233720368547758.08";
}

void MoneyServiceTest::format()
{
    QFETCH(qint64, units);
    QFETCH(QString, full);
    QFETCH(QString, millionths);
    QCOMPARE(QString::fromStdString(money::Format(units)), full);
    QCOMPARE(QString::fromStdString(money::FormatMillionths(units)), millionths);
}

void MoneyServiceTest::mulDiv_data()
{
    QTest::addColumn<qint64>("a");
    QTest::addColumn<qint64>("b");
    QTest::addColumn<qint64>("c");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<qint64>("result");
    QTest::newRow("fee of 2 %") << qint64(12'345) << qint64(2) << qint64(100) << true << qint64(246);
    QTest::newRow("product past 64 bits, result inside")
        << qint64(1'000'000'000'000'000'000) << qint64(35) << qint64(100) << true << qint64(350'000'000'000'000'000);
    QTest::newRow("negative rounds toward zero") << qint64(-7) << qint64(1) << qint64(2) << true << qint64(-3);
    QTest::newRow("largest fits") << qint64(LLONG_MAX) << qint64(1) << qint64(1) << true << qint64(LLONG_MAX);
    QTest::newRow("result past the top") << qint64(LLONG_MAX) << qint64(3) << qint64(2) << false << qint64(0);
    QTest::newRow("result past the bottom") << qint64(LLONG_MIN) << qint64(2) << qint64(1) << false << qint64(0);
    QTest::newRow("largest amount times itself")
        << qint64(1'000'000'000'000'000'000) << qint64(1'000'000'000'000'000'000) << qint64(1) << false << qint64(0);
    QTest::newRow("divisor zero") << qint64(5) << qint64(5) << qint64(0) << false << qint64(0);
}

void MoneyServiceTest::mulDiv()
{
    QFETCH(qint64, a);
    QFETCH(qint64, b);
    QFETCH(qint64, c);
    QFETCH(bool, fits);
    QFETCH(qint64, result);
    const auto checked = money::CheckedMulDiv(a, b, c);
    QCOMPARE(checked.has_value(), fits);
    if (fits) {
        QCOMPARE(qint64(*checked), result);
        QCOMPARE(qint64(money::MulDiv(a, b, c)), result);
    } else {
        QVERIFY_THROWS_EXCEPTION(money::Overflow, money::MulDiv(a, b, c));
    }
}

void MoneyServiceTest::add_data()
{
    QTest::addColumn<qint64>("a");
    QTest::addColumn<qint64>("b");
    QTest::addColumn<bool>("fits");
    QTest::newRow("small") << qint64(1) << qint64(-2) << true;
    QTest::newRow("to the top") << qint64(LLONG_MAX - 5) << qint64(5) << true;
    QTest::newRow("past the top") << qint64(LLONG_MAX - 5) << qint64(6) << false;
    // The issuer's balance goes down with every deposit.
    QTest::newRow("past the bottom") << qint64(-9'000'000'000'000'000'000) << qint64(-800'000'000'000'000'000)
                                     << false;
    QTest::newRow("to the bottom") << qint64(LLONG_MIN + 1) << qint64(-1) << true;
}

void MoneyServiceTest::add()
{
    QFETCH(qint64, a);
    QFETCH(qint64, b);
    QFETCH(bool, fits);
    if (fits)
        QCOMPARE(qint64(money::Add(a, b)), a + b);
    else
        QVERIFY_THROWS_EXCEPTION(money::Overflow, money::Add(a, b));
}

QTEST_APPLESS_MAIN(MoneyServiceTest)
#include "tst_money_service.moc"
