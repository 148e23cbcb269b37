// The address book in the data folder: what is saved reads back, the file is
// owner-only and replaced whole, and a damaged or hostile file gives an empty
// book with a message (the file kept aside), never a failure. The address
// check module is found and names what is wrong with an address.
#include "AddressBook.h"
#include "AddressCheck.h"
#include "PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <sys/types.h>

class SafetyAddressBookTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath("book/addresses.json"); }

    static void write(const QString& p, const QByteArray& data)
    {
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    }

private slots:
    void init()
    {
        QFile::remove(path());
        QFile::remove(path() + ".unreadable");
    }

    void savedEntriesReadBackPerCoinAndNetwork()
    {
        AddressBook book(path());
        book.Load();
        QVERIFY(book.LoadMessage().isEmpty());
        QVERIFY(book.All().isEmpty());
        const AddressBook::Entry a{"btc", "Main", "cold wallet", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq"};
        const AddressBook::Entry b{"usdt", "TRC-20 (Tron)", "exchange ✓ é", "TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t"};
        const AddressBook::Entry c{"usdt", "ERC-20 (Ethereum)", "exchange", "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed"};
        for (const auto& e : {a, b, c}) QCOMPARE(book.Save(e), QString());
        // Saving the same address again relabels it instead of adding a copy.
        AddressBook::Entry relabelled = a;
        relabelled.label = "  savings  ";
        QCOMPARE(book.Save(relabelled), QString());

        AddressBook again(path());
        again.Load();
        QVERIFY2(again.LoadMessage().isEmpty(), qPrintable(again.LoadMessage()));
        QCOMPARE(again.All().size(), 3);
        QCOMPARE(again.For("btc", "Main").size(), 1);
        QCOMPARE(again.For("btc", "Main").first().label, QString("savings"));
        QCOMPARE(again.For("usdt", "TRC-20 (Tron)"), QList<AddressBook::Entry>{b});
        QCOMPARE(again.For("usdt", "ERC-20 (Ethereum)"), QList<AddressBook::Entry>{c});
        QVERIFY(again.For("usdt", "Main").isEmpty());

        QVERIFY(again.Remove("usdt", "TRC-20 (Tron)", b.address));
        AddressBook third(path());
        third.Load();
        QCOMPARE(third.All().size(), 2);
        QVERIFY(third.For("usdt", "TRC-20 (Tron)").isEmpty());
    }

    void fileIsOwnerOnly()
    {
        ::umask(022); // a usual umask: a plain write would leave the file readable by all
        AddressBook book(path());
        book.Load();
        QCOMPARE(book.Save({"doge", "Main", "x", "D5budLgVuVn8ix5dZWti243k8UrQH1yh25"}), QString());
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
        // Rewritten, it stays so (the new file replaces the old one).
        QCOMPARE(book.Save({"doge", "Main", "y", "D5budLgVuVn8ix5dZWti243k8UrQH1yh25"}), QString());
        QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
    }

    void labelsAndAddressesRefused_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        const QString ok = "D5budLgVuVn8ix5dZWti243k8UrQH1yh25";
        QTest::newRow("empty label") << "   " << ok << "Give the address a label first.";
        QTest::newRow("long label") << QString(65, 'a') << ok << "The label is too long: at most 64 characters.";
        QTest::newRow("control") << "a\x01" "b" << ok << "The label has characters that cannot be shown.";
        QTest::newRow("line break") << QString("a") + QChar(0x2028) + "b" << ok
                                    << "The label has characters that cannot be shown.";
        QTest::newRow("bidi override") << QString("a") + QChar(0x202e) + "b" << ok
                                       << "The label has characters that cannot be shown.";
        QTest::newRow("space in address") << "x" << "D5bud LgVu" << "This address cannot be saved.";
        QTest::newRow("non-ASCII address") << "x" << "D5budé" << "This address cannot be saved.";
        QTest::newRow("long address") << "x" << QString(201, 'a') << "This address cannot be saved.";
    }
    void labelsAndAddressesRefused()
    {
        QFETCH(QString, label);
        QFETCH(QString, address);
        QFETCH(QString, message);
        AddressBook book(path());
        book.Load();
        QCOMPARE(book.Save({"doge", "Main", label, address}), message);
        QVERIFY(book.All().isEmpty());
        QVERIFY(!QFile::exists(path()));
    }

    void damagedFileGivesAnEmptyBook_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("why");
        const QByteArray good = R"({"coin":"btc","network":"Main","label":"a","address":"bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq"})";
        QTest::newRow("garbage") << QByteArray("\x00\xff garbage", 10) << "it is not an address book";
        QTest::newRow("cut short") << QByteArray(R"({"addresses":[)") + good << "it is not an address book";
        QTest::newRow("array") << QByteArray("[]") << "it is not an address book";
        QTest::newRow("list a text") << QByteArray(R"({"addresses":"[]"})") << "it is not an address book";
        QTest::newRow("entry a number") << QByteArray(R"({"addresses":[)") + good + ",5]}" << "entry 2 is damaged";
        QTest::newRow("unknown network")
            << QByteArray(R"({"addresses":[{"coin":"btc","network":"Moon","label":"a","address":"x"}]})")
            << "entry 1 is damaged";
        QTest::newRow("coin with a path")
            << QByteArray(R"({"addresses":[{"coin":"../x","network":"Main","label":"a","address":"x"}]})")
            << "entry 1 is damaged";
        QTest::newRow("label a number")
            << QByteArray(R"({"addresses":[{"coin":"btc","network":"Main","label":7,"address":"x"}]})")
            << "entry 1 is damaged";
        QTest::newRow("control in label")
            << QByteArray("{\"addresses\":[{\"coin\":\"btc\",\"network\":\"Main\",\"label\":\"a\\u0007\",\"address\":\"x\"}]}")
            << "entry 1 is damaged";
        QByteArray many = R"({"addresses":[)";
        for (int i = 0; i <= AddressBook::MaxEntries; ++i) many += (i ? "," : "") + good;
        QTest::newRow("too many") << many + "]}" << "it holds too many addresses";
        QTest::newRow("too large") << QByteArray(AddressBook::MaxFileBytes + 1, ' ') << "it is too large";
        QTest::newRow("deep nesting") << QByteArray(100000, '[') << "it is not an address book";
    }
    void damagedFileGivesAnEmptyBook()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, why);
        write(path(), contents);
        AddressBook book(path());
        book.Load();
        QVERIFY(book.All().isEmpty());
        QCOMPARE(book.LoadMessage(), QString("The address book could not be read (%1), so it starts empty. The old file "
                                             "is kept as addresses.json.unreadable.")
                                         .arg(why));
        // The damaged file is kept aside, not overwritten by the next save.
        QVERIFY(!QFile::exists(path()));
        QFile aside(path() + ".unreadable");
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), contents);
        QCOMPARE(book.Save({"doge", "Main", "x", "D5budLgVuVn8ix5dZWti243k8UrQH1yh25"}), QString());
        AddressBook again(path());
        again.Load();
        QCOMPARE(again.All().size(), 1);
    }

    // A pipe planted under the book's name would hold a plain open forever.
    void pipeIsNotWaitedFor()
    {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QCOMPARE(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
        AddressBook book(path());
        book.Load();
        QVERIFY(book.All().isEmpty());
        QVERIFY(!book.LoadMessage().isEmpty());
        QFile::remove(path() + ".unreadable");
    }

    void defaultBookIsInTheDataFolder()
    {
        QVERIFY(AddressBook::DefaultPath().endsWith("/ambervale/addresses.json"));
        QCOMPARE(QFileInfo(AddressBook::DefaultPath()).absolutePath(), privatefile::Folder());
    }

    void checkModuleNamesWhatIsWrong_data()
    {
        QTest::addColumn<QString>("coin");
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::newRow("good") << "btc" << "Main" << "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq" << QString();
        QTest::newRow("bech32 one wrong") << "btc" << "Main" << "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdr"
                                          << "The address's checksum does not match: a character is mistyped or missing.";
        QTest::newRow("evm on tron") << "usdt" << "TRC-20 (Tron)" << "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed"
                                     << "__network";
        QTest::newRow("short") << "doge" << "Main" << "D5budLgVuVn8ix5dZWti243k8UrQH1y"
                               << "The address is too short or too long for DOGE on its main network.";
        QTest::newRow("litecoin for doge") << "doge" << "Main" << "LKgmMJ3ggk7uSkbC14tSkJwuTZVP6H9ZgY"
                                           << "This is a Litecoin address, not one for DOGE on its main network.";
        QTest::newRow("unknown network") << "btc" << "Moon" << "x" << "Choose the network to send on.";
    }
    void checkModuleNamesWhatIsWrong()
    {
        QFETCH(QString, coin);
        QFETCH(QString, network);
        QFETCH(QString, address);
        QFETCH(QString, message);
        QVERIFY2(addresscheck::LoadError().isEmpty(), qPrintable(addresscheck::LoadError()));
        const addresscheck::Result r = addresscheck::Check(coin, network, address);
        QCOMPARE(r.ok, message.isEmpty());
        if (message == "__network")
            QVERIFY2(r.message.contains("not one for USDT"), qPrintable(r.message));
        else
            QCOMPARE(r.message, message);
    }
};

QTEST_GUILESS_MAIN(SafetyAddressBookTest)
#include "tst_safety_address_book.moc"
