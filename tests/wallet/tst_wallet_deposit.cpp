// Reading the deposit-address reply: the whole body is the address.
#include "DepositReply.h"

#include <QtTest>

class WalletDepositTest : public QObject {
    Q_OBJECT
private slots:
    void readAddress_data();
    void readAddress();
};

void WalletDepositTest::readAddress_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("isAddress");

    QTest::newRow("bech32 address") << QStringLiteral("btc1q023456789acdefghjklmnpqrstuvwxyz02345") << true;
    QTest::newRow("EVM address") << QStringLiteral("0x52908400098527886e0f7030069857d2e4169ee7") << true;
    // Not trimmed or judged: what the service sends is what is shown, copied and encoded.
    QTest::newRow("blanks and a line break kept") << QStringLiteral(" 0xabc\n") << true;
    QTest::newRow("a message counts as an address") << QStringLiteral("Wrong password") << true;
    QTest::newRow("markup kept as text") << QStringLiteral("<b>x</b>") << true;
    QTest::newRow("a single blank") << QStringLiteral(" ") << true;
    QTest::newRow("empty body") << QString() << false;
    QTest::newRow("empty but not null") << QStringLiteral("") << false;
}

void WalletDepositTest::readAddress()
{
    QFETCH(QString, body);
    QFETCH(bool, isAddress);
    const std::optional<QString> address = deposit::ReadAddress(body);
    QCOMPARE(address.has_value(), isAddress);
    if (address) QCOMPARE(*address, body);
}

QTEST_GUILESS_MAIN(WalletDepositTest)
#include "tst_wallet_deposit.moc"
