// The swap quote, its price and rate, and the local reverse conversion.
#include "NumberText.h"
#include "SwapQuote.h"

#include <QtTest>

class MoneySwapTest : public QObject {
    Q_OBJECT
private slots:
    void readQuote_data();
    void readQuote();
    void readQuoteRejects_data();
    void readQuoteRejects();
    void reverseAmount_data();
    void reverseAmount();
    void amountsToSend_data();
    void amountsToSend();
    void shownAmount_data();
    void shownAmount();
    void reverseAmountRejects();
    void priceCaption();
};

void MoneySwapTest::readQuote_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("quoted");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("price");
    QTest::newRow("2 ETH for 5000 USDT") << "5000"
                                         << "2"
                                         << "5000"
                                         << "0,0004"
                                         << "2500,00000000";
    QTest::newRow("quote with a point") << "0.00002461"
                                        << "1"
                                        << "0,00002461"
                                        << "40633,8886631451"
                                        << "0,00002461";
    QTest::newRow("amount with comma") << "3"
                                       << "1,5"
                                       << "3"
                                       << "0,5"
                                       << "2,00000000";
    QTest::newRow("amount typed with a point") << "5000"
                                               << "0.5"
                                               << "5000"
                                               << "0,0001"
                                               << "10000,00000000";
    QTest::newRow("tiny rate in exponent form") << "1000000"
                                                << "1"
                                                << "1000000"
                                                << "1E-6"
                                                << "1000000,00000000";
}

void MoneySwapTest::readQuote()
{
    QFETCH(QString, body);
    QFETCH(QString, amount);
    QFETCH(QString, quoted);
    QFETCH(QString, rate);
    QFETCH(QString, price);
    const swapquote::Quote q = swapquote::ReadQuote(body, amount);
    QCOMPARE(q.quoted, quoted);
    QCOMPARE(q.swapRate, rate);
    QCOMPARE(q.priceText, price);
}

void MoneySwapTest::readQuoteRejects_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<bool>("conversion"); // else a zero
    QTest::newRow("server sentence") << "Not enough balance"
                                     << "1" << true;
    QTest::newRow("HTML page") << "<html><body>500</body></html>"
                               << "1" << true;
    QTest::newRow("empty body") << ""
                                << "1" << true;
    QTest::newRow("amount letters") << "5000"
                                    << "abc" << true;
    QTest::newRow("quote of zero") << "0"
                                   << "1" << false;
    QTest::newRow("amount of zero") << "5000"
                                    << "0" << false;
}

void MoneySwapTest::readQuoteRejects()
{
    QFETCH(QString, body);
    QFETCH(QString, amount);
    QFETCH(bool, conversion);
    if (conversion) {
        QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, swapquote::ReadQuote(body, amount));
        // A body that is text is the service's own words, kept whole.
        bool serviceText = false;
        try {
            swapquote::ReadQuote(body, amount);
        } catch (const swapquote::ServiceText& e) {
            serviceText = true;
            QCOMPARE(e.message(), body);
        } catch (const numtext::ConversionError&) {
        }
        QCOMPARE(serviceText, !body.isEmpty() && amount == QLatin1String("1"));
    }
    else
        QVERIFY_THROWS_EXCEPTION(std::domain_error, swapquote::ReadQuote(body, amount));
}

void MoneySwapTest::reverseAmount_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("from");
    QTest::newRow("1000 at 0,0004") << "0,0004"
                                    << "1000"
                                    << "0,4";
    QTest::newRow("to typed with a point") << "0,0004"
                                           << "1000.5"
                                           << "0,4002";
    QTest::newRow("rate in exponent form") << "4E-5"
                                           << "10"
                                           << "0,0004";
    QTest::newRow("zero") << "0,0004"
                          << "0"
                          << "0";
}

void MoneySwapTest::reverseAmount()
{
    QFETCH(QString, rate);
    QFETCH(QString, to);
    QFETCH(QString, from);
    QCOMPARE(swapquote::ReverseAmount(rate, to), from);
}

void MoneySwapTest::amountsToSend_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("from");
    QTest::newRow("a third of 2") << "0,333333333333333"
                                  << "2"
                                  << "0,66666666";
    QTest::newRow("exact") << "0,0004"
                           << "1000"
                           << "0,4";
    QTest::newRow("below the eighth decimal") << "1E-6"
                                              << "0,001"
                                              << "0";
    QTest::newRow("large") << "2500"
                           << "1000000,123456789"
                           << "2500000308,64197";
}

void MoneySwapTest::amountsToSend()
{
    QFETCH(QString, rate);
    QFETCH(QString, to);
    QFETCH(QString, from);
    QCOMPARE(swapquote::ReverseAmountToSend(rate, to), from);
}

void MoneySwapTest::shownAmount_data()
{
    QTest::addColumn<QString>("quoted");
    QTest::addColumn<QString>("shown");
    QTest::newRow("whole") << "5000"
                           << "5000";
    QTest::newRow("eight decimals kept as sent") << "0,50000000"
                                                 << "0,50000000";
    QTest::newRow("thirteen cut to eight") << "5000,1234567891234"
                                           << "5000,12345678";
    QTest::newRow("exponent form") << "2,5E-5"
                                   << "0,000025";
}

void MoneySwapTest::shownAmount()
{
    QFETCH(QString, quoted);
    QFETCH(QString, shown);
    QCOMPARE(swapquote::ShownAmount(quoted), shown);
}

void MoneySwapTest::reverseAmountRejects()
{
    QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, swapquote::ReverseAmount("0,0004", "abc"));
    QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, swapquote::ReverseAmount("0,0004", "-"));
    // No successful quote yet: there is no rate.
    QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, swapquote::ReverseAmount("", "1"));
}

void MoneySwapTest::priceCaption()
{
    QCOMPARE(swapquote::PriceCaption("ETH"), QStringLiteral("Price ETH:"));
}

QTEST_GUILESS_MAIN(MoneySwapTest)
#include "tst_money_swap.moc"
