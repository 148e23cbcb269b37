// The lottery's winner function on the service's own code: stake-weighted
// (chi-square over deterministic seeds), without the bias a plain remainder
// would give when the total does not divide 2^64, and tied to its seed.
#include "LotteryDraw.h"

#include <QCryptographicHash>
#include <QTest>

namespace {

// Seed number i of a fixed series, so every run draws the same.
std::string SeriesSeed(int i)
{
    return QCryptographicHash::hash("draw-test-" + QByteArray::number(i), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// Chi-square of counts against weights.
double ChiSquare(const std::vector<int>& counts, const std::vector<std::int64_t>& weights)
{
    double total = 0, n = 0;
    for (auto w : weights) total += double(w);
    for (int c : counts) n += c;
    double chi = 0;
    for (std::size_t k = 0; k < counts.size(); ++k) {
        const double expected = n * double(weights[k]) / total;
        chi += (counts[k] - expected) * (counts[k] - expected) / expected;
    }
    return chi;
}

std::vector<int> Tally(const std::vector<std::int64_t>& stakes, int draws)
{
    std::vector<int> counts(stakes.size());
    for (int i = 0; i < draws; ++i) {
        const auto w = lottery::PickWinner(SeriesSeed(i), stakes);
        if (!w) return {};
        ++counts[*w];
    }
    return counts;
}

} // namespace

class DrawTest : public QObject {
    Q_OBJECT
private slots:
    // Chi-square with (players - 1) degrees of freedom against its 0.1 % critical value.
    void stakeWeighted_data()
    {
        QTest::addColumn<std::vector<std::int64_t>>("stakes");
        QTest::addColumn<double>("critical");
        QTest::newRow("1:2:3:4") << std::vector<std::int64_t>{100000000, 200000000, 300000000, 400000000} << 16.27;
        QTest::newRow("equal") << std::vector<std::int64_t>{5, 5, 5, 5, 5} << 18.47;
        QTest::newRow("one small") << std::vector<std::int64_t>{1000, 9000} << 10.83;
        // 2^64 mod 3*2^61 = 2^61: a plain remainder gives the first player 6/16 instead of 1/3.
        QTest::newRow("total not dividing 2^64") << std::vector<std::int64_t>{std::int64_t(1) << 61, std::int64_t(1) << 62}
                                                 << 10.83;
    }
    void stakeWeighted()
    {
        QFETCH(std::vector<std::int64_t>, stakes);
        QFETCH(double, critical);
        const std::vector<int> counts = Tally(stakes, 20000);
        QCOMPARE(counts.size(), stakes.size());
        const double chi = ChiSquare(counts, stakes);
        QVERIFY2(chi < critical, qPrintable(QString("chi-square %1 >= %2").arg(chi).arg(critical)));
    }

    void edges()
    {
        const std::string seed = SeriesSeed(1);
        QCOMPARE(lottery::PickWinner(seed, {7}), std::optional<std::size_t>(0));
        // A player without stake never wins, wherever it stands.
        for (int i = 0; i < 200; ++i) {
            const auto w = lottery::PickWinner(SeriesSeed(i), {0, 3, 0, 1, 0});
            QVERIFY(w && (*w == 1 || *w == 3));
        }
        QVERIFY(!lottery::PickWinner(seed, {}));
        QVERIFY(!lottery::PickWinner(seed, {0, 0}));
        QVERIFY(!lottery::PickWinner(seed, {5, -1}));
        QVERIFY(!lottery::PickWinner(seed.substr(2), {1, 2}));           // not 32 bytes
        QVERIFY(!lottery::PickWinner(std::string(64, 'g'), {1, 2}));     // not hex
        QVERIFY(!lottery::PickWinner(QString::fromStdString(seed).toUpper().toStdString(), {1, 2})); // one spelling
        // The same seed and list give the same winner; the order of the list is part of the draw.
        QCOMPARE(lottery::PickWinner(seed, {1, 2, 3}), lottery::PickWinner(seed, {1, 2, 3}));
    }

    // The commitment is SHA-256 of the seed's bytes: any change to the seed shows.
    void commitment()
    {
        const std::string seed = lottery::NewSeedHex();
        QCOMPARE(seed.size(), std::size_t(64));
        QVERIFY(lottery::NewSeedHex() != seed);
        const QByteArray expected =
            QCryptographicHash::hash(QByteArray::fromHex(QByteArray::fromStdString(seed)), QCryptographicHash::Sha256)
                .toHex();
        QCOMPARE(QByteArray::fromStdString(lottery::CommitmentHex(seed)), expected);
        for (std::size_t i : {std::size_t(0), std::size_t(31), std::size_t(63)}) {
            std::string altered = seed;
            altered[i] = altered[i] == '0' ? '1' : '0';
            QVERIFY(lottery::CommitmentHex(altered) != lottery::CommitmentHex(seed));
        }
        QCOMPARE(lottery::CommitmentHex("abc"), std::string());
    }
};

QTEST_APPLESS_MAIN(DrawTest)
#include "tst_service_draw.moc"
