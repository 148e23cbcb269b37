// The withdraw screen checks the address before the confirmation opens: an
// address with one wrong character, of another network or of the wrong length
// is stopped with what is wrong, the confirmation stays closed and nothing is
// sent. The address book offers the addresses saved for the coin and network:
// picking one fills the address, the current one is saved with a label, and a
// damaged book file is reported and replaced by an empty book.
#include "AddressBook.h"
#include "ScreenTestSupport.h"
#include "withdraw.h"

#include <QComboBox>
#include <QPushButton>

using namespace support;

namespace {

// Valid addresses per coin and network (published examples, or made with each coin's version bytes).
struct Sample {
    const char* coin;
    const char* network;
    const char* address;
};
const Sample Samples[] = {
    {"btc", "Main", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq"},
    {"btc", "Main", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa"},
    {"ltc", "Main", "LKgmMJ3ggk7uSkbC14tSkJwuTZVP6H9ZgY"},
    {"doge", "Main", "D5budLgVuVn8ix5dZWti243k8UrQH1yh25"},
    {"bch", "Main", "bitcoincash:qpm2qsznhks23z7629mms6s4cwef74vcwvy22gdx6a"},
    {"dash", "Main", "Xb9evLPkZo6SLtVcgpDNKpZw5ghnxofFHi"},
    {"zec", "Main", "t1JLR6R9zaQfSnawvmMiGc6z4W1KBhTArQs"},
    {"xmr", "Main", "44AFFq5kSiGBoZ4NMDwYtN18obc8AemS33DBLWs3H7otXft3XjrpDtQGv7SqSsaBYBb98uNbr2VBBEt7f2wfn3RVGQBEP3A"},
    {"eth", "Main", "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed"},
    {"usdt", "ERC-20 (Ethereum)", "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed"},
    {"usdt", "TRC-20 (Tron)", "TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t"},
};

// Another character of the same alphabet (so only the checksum can tell).
QChar Other(QChar c)
{
    static const QString base58 = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
    static const QString bech32 = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";
    if (bech32.contains(c) && !base58.contains(c)) return bech32.at((bech32.indexOf(c) + 1) % bech32.size());
    if (c.isDigit() && c != '9') return QChar(c.unicode() + 1);
    if (c == '9') return '8';
    const qsizetype i = base58.indexOf(c);
    if (i >= 0) return base58.at((i + 1) % base58.size());
    return c == 'a' ? 'b' : 'a';
}

} // namespace

class SafetyWithdrawAddressTest : public ScreenTest {
    Q_OBJECT

    TFormWithdraw* screen() const { return Get<TFormWithdraw>("withdraw"); }

    void open(const QString& coin, const QString& network)
    {
        LogIn();
        Activate(Get<TFormDashboard>("dashboard"));
        SelectCoin(coin);
        Click(Get<TFormDashboard>("dashboard"), "ButtonWithdraw");
        QTRY_VERIFY(screen()->isVisible());
        Activate(screen());
        Child<QComboBox>(screen(), "ComboBox1")->setCurrentText(network);
        QCOMPARE(Child<QComboBox>(screen(), "ComboBox1")->currentText(), network);
        Type(screen(), "val_withdraw_coin", "0.25");
        if (PanelShown(screen())) Click(screen(), "Button2");
    }

    // Withdraw pressed with address: whether the confirmation opened, and the message shown.
    std::pair<bool, QString> press(const QString& address)
    {
        Type(screen(), "Edit1", address);
        Click(screen(), "Button1");
        const bool opened = Child(screen(), "panel_confirm_pass")->isVisible();
        const QString message = PanelShown(screen()) ? PanelText(screen()) : QString();
        if (opened) Click(screen(), "Text5");
        if (PanelShown(screen())) Click(screen(), "Button2");
        return {opened, message};
    }

    void Ready() override
    {
        QFile::remove(AddressBook::DefaultPath());
        QFile::remove(AddressBook::DefaultPath() + ".unreadable");
    }

private slots:
    void oneWrongCharacterIsStoppedBeforeTheConfirmation_data()
    {
        QTest::addColumn<QString>("coin");
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("address");
        for (const Sample& s : Samples) {
            const QString a = s.address;
            // The first character after any prefix, one in the middle, the last.
            const qsizetype start = a.startsWith("bitcoincash:") ? 12 : a.startsWith("0x") ? 2 : a.startsWith("bc1") ? 4 : 1;
            for (qsizetype at : {start, a.size() / 2, a.size() - 1}) {
                QString wrong = a;
                wrong[at] = Other(a.at(at));
                QTest::addRow("%s %s @%d", s.coin, s.address, int(at)) << s.coin << s.network << wrong;
            }
        }
    }
    void oneWrongCharacterIsStoppedBeforeTheConfirmation()
    {
        QFETCH(QString, coin);
        QFETCH(QString, network);
        QFETCH(QString, address);
        open(coin, network);
        const auto [opened, message] = press(address);
        QVERIFY2(!opened, qPrintable(address));
        // Mostly the checksum; a changed type character of a CashAddr reads as no BCH address at all.
        QVERIFY2(message.contains("checksum") || message.contains("characters") || message.startsWith("This is not an address for"),
                 qPrintable(message));
        QVERIFY(Requests("withdraw").isEmpty());
    }

    void goodAddressesOpenTheConfirmation()
    {
        for (const Sample& s : Samples) {
            open(s.coin, s.network);
            const auto [opened, message] = press(s.address);
            QVERIFY2(opened, qPrintable(QString("%1 %2: %3").arg(s.coin, s.address, message)));
            QVERIFY2(message.isEmpty(), qPrintable(message));
            DestroyScreens();
            FreshScreens(fake.get());
        }
    }

    void wrongNetworkOrLengthIsNamed_data()
    {
        QTest::addColumn<QString>("coin");
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::newRow("tron address on ERC-20")
            << "usdt" << "ERC-20 (Ethereum)" << "TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t"
            << "This is a TRON (TRC-20) address, not one for USDT on ERC-20.";
        QTest::newRow("litecoin address for doge")
            << "doge" << "Main" << "LKgmMJ3ggk7uSkbC14tSkJwuTZVP6H9ZgY"
            << "This is a Litecoin address, not one for DOGE on its main network.";
        QTest::newRow("doge address cut short")
            << "doge" << "Main" << "D5budLgVuVn8ix5dZWti243k8UrQH1y"
            << "The address is too short or too long for DOGE on its main network.";
        QTest::newRow("empty") << "btc" << "Main" << "" << "Type or paste the address to send to.";
    }
    void wrongNetworkOrLengthIsNamed()
    {
        QFETCH(QString, coin);
        QFETCH(QString, network);
        QFETCH(QString, address);
        QFETCH(QString, message);
        open(coin, network);
        const auto [opened, shown] = press(address);
        QVERIFY(!opened);
        QCOMPARE(shown, message);
        QVERIFY(Requests("withdraw").isEmpty());
    }

    void bookSavesPicksAndKeepsPerNetwork()
    {
        open("usdt", "TRC-20 (Tron)");
        auto* book = Child<QComboBox>(screen(), "AddressBookList");
        QCOMPARE(book->count(), 0);
        // A wrong address is not saved.
        Type(screen(), "Edit1", "TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6u");
        Type(screen(), "AddressLabel", "exchange");
        Click(screen(), "SaveAddress");
        QVERIFY(PanelText(screen()).contains("checksum"));
        QCOMPARE(book->count(), 0);
        Click(screen(), "Button2");

        Type(screen(), "Edit1", "TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t");
        Type(screen(), "AddressLabel", "exchange");
        Click(screen(), "SaveAddress");
        QCOMPARE(book->count(), 1);
        QCOMPARE(book->itemText(0), QString("exchange: TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t"));

        // Another network of the coin has its own addresses; back on TRC-20 it is offered again.
        Child<QComboBox>(screen(), "ComboBox1")->setCurrentText("ERC-20 (Ethereum)");
        QCOMPARE(book->count(), 0);
        Child<QComboBox>(screen(), "ComboBox1")->setCurrentText("TRC-20 (Tron)");
        QCOMPARE(book->count(), 1);

        // After a fresh start the pick fills the address.
        DestroyScreens();
        FreshScreens(fake.get());
        open("usdt", "TRC-20 (Tron)");
        book = Child<QComboBox>(screen(), "AddressBookList");
        QCOMPARE(book->count(), 1);
        Type(screen(), "Edit1", "");
        book->setCurrentIndex(-1);
        book->setCurrentIndex(0);
        QCOMPARE(Child<QLineEdit>(screen(), "Edit1")->text(), QString("TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t"));
        Click(screen(), "Button1");
        QVERIFY(Child(screen(), "panel_confirm_pass")->isVisible());
    }

    void damagedBookIsReported()
    {
        QDir().mkpath(QFileInfo(AddressBook::DefaultPath()).absolutePath());
        QFile f(AddressBook::DefaultPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"addresses\": [");
        f.close();
        LogIn();
        Activate(Get<TFormDashboard>("dashboard"));
        SelectCoin("btc");
        Click(Get<TFormDashboard>("dashboard"), "ButtonWithdraw");
        QTRY_VERIFY(screen()->isVisible());
        QCOMPARE(PanelText(screen()), QString("The address book could not be read (it is not an address book), so it "
                                              "starts empty. The old file is kept as addresses.json.unreadable."));
        QCOMPARE(Child<QComboBox>(screen(), "AddressBookList")->count(), 0);
    }
};

AMBERVALE_GUI_TEST_MAIN(SafetyWithdrawAddressTest)
#include "tst_safety_withdraw_address.moc"
