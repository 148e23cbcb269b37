// Every action's field list: names in the order the service reads them, and
// each argument landing in its own field (distinct values catch a swap).

#include "Requests.h"

#include <QtTest>

Q_DECLARE_METATYPE(FormFields)

class RequestsTest : public QObject {
    Q_OBJECT

private slots:
    void fieldOrder_data()
    {
        QTest::addColumn<FormFields>("fields");
        QTest::addColumn<QString>("expected"); // name=value pairs joined by "&", unencoded

        QTest::newRow("all_json_setting") << api::Settings("all_json_setting", "T") << "a=all_json_setting&session=T";
        QTest::newRow("useraccount") << api::Account("useraccount", "R", "L", "P", "T")
                                     << "a=useraccount&ref=R&s=L&pass=P&session=T";
        QTest::newRow("tg_new_user") << api::Account("tg_new_user", "", "L", "P", "T")
                                     << "a=tg_new_user&ref=&s=L&pass=P&session=T";
        QTest::newRow("get_deposit_address") << api::DepositAddress("usdt.trc20", "L", "P", "T")
                                             << "a=get_deposit_address&coin_get_a=usdt.trc20&s=L&pass=P&session=T";
        QTest::newRow("invest_coin") << api::InvestCoin("4", "btc", "2.5", "L", "P", "T")
                                     << "a=invest_coin&rental_code=4&coin=btc&value=2.5&s=L&pass=P&session=T";
        QTest::newRow("withdraw") << api::Withdraw("btc", "ADDR", "TRC-20 (Tron)", "0.5", "L", "P", "T")
                                  << "a=withdraw&coin=btc&addr=ADDR&network=TRC-20 (Tron)&val=0.5&s=L&pass=P&session=T";
        QTest::newRow("get_swap_coin get") << api::SwapCoin("get", "btc", "usdt", "1", "L", "P", "T")
                                           << "a=get_swap_coin&com=get&cur0=btc&cur1=usdt&val=1&s=L&pass=P&session=T";
        QTest::newRow("get_swap_coin swap")
            << api::SwapCoin("swap", "eth", "doge", "0,3", "L", "P", "T")
            << "a=get_swap_coin&com=swap&cur0=eth&cur1=doge&val=0,3&s=L&pass=P&session=T";
        QTest::newRow("changepass") << api::ChangePass("L", "NEW", "OLD", "T")
                                    << "a=changepass&s=L&newpass=NEW&pass=OLD&session=T";
        QTest::newRow("resetpass") << api::ResetPass("L", "T") << "a=resetpass&s=L&session=T";
        QTest::newRow("free_coin") << api::FreeCoin("L", "P", "T") << "a=free_coin&s=L&pass=P&session=T";
        QTest::newRow("buylottonew") << api::BuyLotto("L", "P", "trx", "10", "T")
                                     << "a=buylottonew&s=L&pass=P&coin=trx&val=10&session=T";
    }

    void fieldOrder()
    {
        QFETCH(FormFields, fields);
        QFETCH(QString, expected);
        QStringList pairs;
        for (const auto& [name, value] : fields) pairs << name + '=' + value;
        QCOMPARE(pairs.join('&'), expected);
        QCOMPARE(fields.first().first, QStringLiteral("a"));
        QCOMPARE(fields.last().first, QStringLiteral("session"));
    }

    void depositCoinNamesTheNetworkOnlyOffMain()
    {
        QCOMPARE(api::DepositCoin("btc", "Main"), QStringLiteral("btc"));
        QCOMPARE(api::DepositCoin("usdt", "trc20"), QStringLiteral("usdt.trc20"));
    }
};

QTEST_GUILESS_MAIN(RequestsTest)
#include "tst_session_requests.moc"
