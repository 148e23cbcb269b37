// Withdrawal addresses: published examples of every format are accepted on the
// coins and networks that use them, a single mistyped character is caught, an
// address of another network is named, and hostile text is refused plainly.
#include "Address.h"

#include <QRandomGenerator>
#include <QTest>

using address::Bytes;
using address::Problem;

Q_DECLARE_METATYPE(address::Problem)

namespace {

Bytes Hash160Like(std::uint8_t seed)
{
    Bytes b(20);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(seed * 31 + i * 7);
    return b;
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// Published examples (standards' own examples and widely published addresses).
struct Example {
    const char* coin;
    const char* network;
    const char* text;
    const char* alphabet; // what a mistyped character is drawn from; nullptr: no checksum to test
    int fixedPrefix;      // leading characters not mutated (a prefix the format names)
};
const Example Examples[] = {
    {"btc", "main", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa", "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz", 1},
    {"btc", "main", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq", "qpzry9x8gf2tvdw0s3jn54khce6mua7l", 3},
    {"btc", "main", "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqzk5jj0", "qpzry9x8gf2tvdw0s3jn54khce6mua7l", 3},
    {"usdt", "main", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa", nullptr, 0},
    {"bch", "main", "bitcoincash:qpm2qsznhks23z7629mms6s4cwef74vcwvy22gdx6a", "qpzry9x8gf2tvdw0s3jn54khce6mua7l", 12},
    {"bch", "main", "qpm2qsznhks23z7629mms6s4cwef74vcwvy22gdx6a", nullptr, 0},
    {"bch", "main", "1BpEi6DfDAUFd7GtittLSdBeYJvcoaVggu", "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz", 1},
    {"eth", "main", "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed", "0123456789abcdefABCDEF", 2},
    {"eth", "main", "0xfB6916095ca1df60bB79Ce92cE3Ea74c37c5d359", "0123456789abcdefABCDEF", 2},
    {"etc", "main", "0xdbF03B407c01E7cD3CBea99509d93f8DDDC8C6FB", "0123456789abcdefABCDEF", 2},
    {"matic", "main", "0xD1220A0cf47c7B9Be7A2E6BA89F429762e7b9aDb", "0123456789abcdefABCDEF", 2},
    {"usdt", "erc20", "0x5aaeb6053f3e94c9b9a09f33669435e7ef1beaed", nullptr, 0},
    {"shib", "bep20", "0x5AAEB6053F3E94C9B9A09F33669435E7EF1BEAED", nullptr, 0},
    {"usdt", "prc20", "0xD1220A0cf47c7B9Be7A2E6BA89F429762e7b9aDb", nullptr, 0},
    {"trx", "main", "TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t", "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz", 1},
    {"usdt", "trc20", "TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t", nullptr, 0},
    {"sol", "main", "TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA", nullptr, 0},
    {"usdt", "sol", "11111111111111111111111111111111", nullptr, 0},
    {"xmr", "main",
     "44AFFq5kSiGBoZ4NMDwYtN18obc8AemS33DBLWs3H7otXft3XjrpDtQGv7SqSsaBYBb98uNbr2VBBEt7f2wfn3RVGQBEP3A",
     "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz", 1},
};

} // namespace

class AddressTest : public QObject {
    Q_OBJECT
private slots:
    void publishedExamplesPass()
    {
        for (const Example& e : Examples) {
            const address::Verdict v = address::Check(e.coin, e.network, e.text);
            QVERIFY2(v, qPrintable(QStringLiteral("%1 %2 %3: %4").arg(e.coin, e.network, e.text, Q(v.message))));
            QVERIFY(v.message.empty());
        }
        // The network as the client's list writes it.
        QVERIFY(address::Check("btc", "Main", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa"));
    }

    // Each coin's version bytes give its addresses their documented first characters.
    void versionBytesOfEachCoin_data()
    {
        QTest::addColumn<QString>("coin");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QString>("leading");
        auto row = [](const char* name, const char* coin, QByteArray version, const char* leading) {
            QTest::newRow(name) << coin << version << leading;
        };
        row("btc p2pkh", "btc", QByteArray("\x00", 1), "1");
        row("btc p2sh", "btc", "\x05", "3");
        row("ltc p2pkh", "ltc", "\x30", "L");
        row("ltc p2sh", "ltc", "\x32", "M");
        row("doge p2pkh", "doge", "\x1e", "D");
        row("doge p2sh", "doge", "\x16", "9A");
        row("dash p2pkh", "dash", "\x4c", "X");
        row("dash p2sh", "dash", "\x10", "7");
        row("zec t1", "zec", "\x1c\xb8", "t1");
        row("zec t3", "zec", "\x1c\xbd", "t3");
        row("trx", "trx", "\x41", "T");
    }
    void versionBytesOfEachCoin()
    {
        QFETCH(QString, coin);
        QFETCH(QByteArray, version);
        QFETCH(QString, leading);
        for (std::uint8_t seed = 0; seed < 8; ++seed) {
            const Bytes payload = Concat(Bytes(version.begin(), version.end()), Hash160Like(seed));
            const std::string text = address::Base58CheckEncode(payload);
            if (leading.size() == 2 && coin != "zec") QVERIFY2(leading.contains(text[0]), text.c_str());
            else QVERIFY2(Q(text).startsWith(leading), text.c_str());
            const address::Verdict v = address::Check(coin.toStdString(), "main", text);
            QVERIFY2(v, qPrintable(Q(text) + ": " + Q(v.message)));
            // The same address is another coin's on the main network, and says so.
            const char* other = coin == "doge" ? "dash" : "doge";
            const address::Verdict elsewhere = address::Check(other, "main", text);
            QCOMPARE(elsewhere.problem, Problem::WrongNetwork);
        }
    }

    // A mistyped character anywhere after the format's prefix is caught.
    void everySingleMistypeIsCaught()
    {
        int tried = 0;
        for (const Example& e : Examples) {
            if (!e.alphabet) continue;
            const std::string original = e.text;
            const std::string_view alphabet = e.alphabet;
            for (std::size_t at = static_cast<std::size_t>(e.fixedPrefix); at < original.size(); ++at) {
                for (int k = 0; k < 3; ++k) {
                    std::string typo = original;
                    char c = alphabet[QRandomGenerator::global()->bounded(static_cast<int>(alphabet.size()))];
                    if (c == typo[at]) continue;
                    // A hex digit in the other case is the same digit: only the checksum casing tells.
                    typo[at] = c;
                    const address::Verdict v = address::Check(e.coin, e.network, typo);
                    QVERIFY2(!v, qPrintable(QStringLiteral("%1 accepted for %2").arg(Q(typo), Q(original))));
                    QVERIFY(!v.message.empty());
                    ++tried;
                }
            }
        }
        QVERIFY(tried > 500);
    }

    void faultsAreNamed_data()
    {
        QTest::addColumn<QString>("coin");
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<QString>("says");
        auto row = [](const char* name, const char* coin, const char* network, QString text, Problem p,
                      const char* says) { QTest::newRow(name) << coin << network << text << p << says; };
        row("empty", "btc", "main", "", Problem::Empty, "Type or paste");
        row("tron on erc20", "usdt", "erc20", "TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t", Problem::WrongNetwork, "TRON");
        row("evm on trc20", "usdt", "trc20", "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed", Problem::WrongNetwork,
            "Ethereum-type");
        row("btc for ltc", "ltc", "main", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa", Problem::WrongNetwork, "Bitcoin");
        row("monero for btc", "btc", "main",
            "44AFFq5kSiGBoZ4NMDwYtN18obc8AemS33DBLWs3H7otXft3XjrpDtQGv7SqSsaBYBb98uNbr2VBBEt7f2wfn3RVGQBEP3A",
            Problem::WrongNetwork, "Monero");
        row("evm cut short", "eth", "main", "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAe", Problem::WrongLength,
            "too short or too long");
        row("evm with a letter", "eth", "main", "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAeg", Problem::BadCharacters,
            "characters");
        row("evm bad casing", "eth", "main", "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAeD", Problem::BadChecksum,
            "checksum");
        row("btc with a zero", "btc", "main", "1A1zP1eP5QGefi2DMPTfTL5SLmv7Div0Na", Problem::BadCharacters,
            "characters");
        row("btc cut short", "btc", "main", "1A1zP1eP5QGefi2DMPTfTL5SLmv7Divf", Problem::WrongLength,
            "too short or too long");
        row("bech32 mixed case", "btc", "main", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mDq", Problem::BadChecksum,
            "checksum");
        row("monero cut short", "xmr", "main",
            "44AFFq5kSiGBoZ4NMDwYtN18obc8AemS33DBLWs3H7otXft3XjrpDtQGv7SqSsaBYBb98uNbr2VBBEt7f2wfn3RVGQBE",
            Problem::WrongLength, "too short or too long");
        row("far too long", "sol", "main", QString(300, 'A'), Problem::WrongLength, "too long");
        row("words", "btc", "main", "send it to my wallet please", Problem::UnknownFormat, "not an address");
        row("control bytes", "eth", "main", QStringLiteral("0x\u0000\u0001"), Problem::BadCharacters, "characters");
        row("unknown network", "btc", "lightning", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa", Problem::UnknownFormat,
            "not offered");
        row("unknown coin", "xyz", "main", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa", Problem::UnknownFormat, "not offered");
    }
    void faultsAreNamed()
    {
        QFETCH(QString, coin);
        QFETCH(QString, network);
        QFETCH(QString, text);
        QFETCH(Problem, problem);
        QFETCH(QString, says);
        const QByteArray raw = text.toUtf8();
        const address::Verdict v =
            address::Check(coin.toStdString(), network.toStdString(), std::string_view(raw.constData(), raw.size()));
        QVERIFY(!v);
        QCOMPARE(v.problem, problem);
        QVERIFY2(Q(v.message).contains(says), v.message.c_str());
    }

    // The codecs against themselves over random data, leading zeros included.
    void codecsRoundTrip()
    {
        auto* rng = QRandomGenerator::global();
        for (int i = 0; i < 300; ++i) {
            Bytes data(static_cast<std::size_t>(rng->bounded(1, 70)));
            for (auto& b : data) b = static_cast<std::uint8_t>(rng->bounded(256));
            const int zeros = rng->bounded(4);
            for (int z = 0; z < zeros && z < static_cast<int>(data.size()); ++z) data[static_cast<std::size_t>(z)] = 0;
            QCOMPARE(address::Base58Decode(address::Base58Encode(data)), std::optional<Bytes>(data));
            QCOMPARE(address::Base58CheckDecode(address::Base58CheckEncode(data)), std::optional<Bytes>(data));
            QCOMPARE(address::MoneroBase58Decode(address::MoneroBase58Encode(data)), std::optional<Bytes>(data));
            const Bytes five = *address::ConvertBits(data, 8, 5, true);
            for (auto kind : {address::Bech32::Kind::Bech32, address::Bech32::Kind::Bech32m}) {
                const std::string text = address::Bech32Encode({kind, "tb", five});
                const auto back = address::Bech32Decode(text, 200);
                QVERIFY(back);
                QCOMPARE(back->kind, kind);
                QCOMPARE(back->values, five);
            }
            const Bytes cash = Concat(Bytes{0x00}, Hash160Like(static_cast<std::uint8_t>(i)));
            QCOMPARE(address::CashAddrDecode(address::CashAddrEncode("bitcoincash", cash), "bitcoincash"),
                     std::optional<Bytes>(cash));
        }
        // EIP-55 writes the published casing from the lower-case digits.
        QCOMPARE(Q(address::Eip55("5aaeb6053f3e94c9b9a09f33669435e7ef1beaed")),
                 QStringLiteral("0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed"));
    }
};

QTEST_GUILESS_MAIN(AddressTest)
#include "tst_address_check.moc"
