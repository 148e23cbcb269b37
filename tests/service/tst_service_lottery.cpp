// Draws anyone can check, against the real service on both engines: each draw's
// commitment is published while it is open, the winners file reveals a seed that
// hashes to it and the final players list, and the winner recomputed here (SHA-256
// in counter mode with rejection sampling over the total stake, in this file's own
// code) is the one the service paid, draw after draw. A seed that does not match
// its commitment shows.
#include "ServiceHarness.h"

#include <QCryptographicHash>

using namespace svc;

namespace {

// The documented rule, written independently of the service: counter i = 0, 1, ...; r = the first 8 bytes of
// SHA-256(seed || i as 4 bytes big-endian), big-endian; r in the top slice 2^64 - (2^64 mod total) and above is
// skipped; x = r mod total; the first player whose running sum of stakes exceeds x wins.
int Recompute(const QByteArray& seed, const QList<qint64>& stakes)
{
    quint64 total = 0;
    for (qint64 s : stakes) total += quint64(s);
    if (total == 0 || seed.size() != 32) return -1;
    const quint64 rest = (~quint64(0) % total + 1) % total; // 2^64 mod total
    for (quint32 i = 0; i < 1000; ++i) {
        QByteArray block = seed;
        block.append(char(i >> 24)).append(char(i >> 16)).append(char(i >> 8)).append(char(i));
        const QByteArray h = QCryptographicHash::hash(block, QCryptographicHash::Sha256);
        quint64 r = 0;
        for (int b = 0; b < 8; ++b) r = (r << 8) | uchar(h[b]);
        if (rest != 0 && r > ~quint64(0) - rest) continue; // r >= 2^64 - rest
        quint64 x = r % total;
        for (int k = 0; k < stakes.size(); ++k) {
            if (x < quint64(stakes[k])) return k;
            x -= quint64(stakes[k]);
        }
    }
    return -1;
}

QByteArray Sha256Hex(const QByteArray& seedHex)
{
    return QCryptographicHash::hash(QByteArray::fromHex(seedHex), QCryptographicHash::Sha256).toHex();
}

QJsonObject Object(const Response& r)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
}

QJsonArray Array(const Response& r)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).array();
}

} // namespace

class ServiceLotteryTest : public QObject {
    Q_OBJECT
private slots:
    void everyDrawRecomputes()
    {
        Service service;
        Client c = service.client();
        QList<User> players;
        for (int i = 0; i < 4; ++i) {
            players << NewUser(c, "lot");
            QCOMPARE(service.command({"credit", players.last().login, "trx", "100000"}).exitCode, 0);
        }
        // Stakes 1 : 2 : 3 : 4 TRX, and one odd amount, so the list's order and exact units matter.
        const QStringList stakes{"1", "2", "3", "4.00000007"};
        const int draws = 40;
        QMap<QString, int> wins;
        QByteArray lastSeed;
        for (int d = 0; d < draws; ++d) {
            // Players join in a rotating order.
            QStringList committed;
            for (int k = 0; k < players.size(); ++k) {
                const int p = (k + d) % players.size();
                const Response r =
                    c.post(api::BuyLotto(players[p].login, players[p].digest(), "trx", stakes[p], FreshToken()));
                QVERIFY2(r.text().contains("is in the draw"), r.body.c_str());
                // The commitment is public from the first stake on and does not change while the draw is open.
                const QJsonObject open = Object(c.get("/lotto/draw_trx.json"));
                QCOMPARE(open.value("coin").toString(), QString("trx"));
                QVERIFY(open.value("draw").toInteger() > 0);
                committed << open.value("commitment").toString();
                QCOMPARE(committed.last().size(), 64);
                QCOMPARE(committed.last(), committed.first());
            }
            service.advance(86400); // the draw is due at the next UTC day
            const QJsonArray winners = Array(c.get("/lotto/winner_trx.json"));
            QVERIFY(!winners.isEmpty());
            const QJsonObject w = winners.last().toObject();
            // The fields the client reads today are still there.
            for (const char* field : {"name", "amount", "date"}) QVERIFY2(w.contains(field), field);
            const QByteArray seed = w.value("seed").toString().toLatin1();
            QCOMPARE(seed.size(), 64);
            QVERIFY(seed != lastSeed); // a fresh seed per draw
            lastSeed = seed;
            QCOMPARE(QString::fromLatin1(Sha256Hex(seed)), committed.first());
            QCOMPARE(w.value("commitment").toString(), committed.first());

            QList<qint64> units;
            QStringList names;
            for (const QJsonValue& v : w.value("players").toArray()) {
                names << v.toObject().value("nickname").toString();
                units << UnitsOf(v.toObject().value("stake").toString());
            }
            QCOMPARE(names.size(), players.size());
            qint64 total = 0;
            for (int k = 0; k < players.size(); ++k) {
                const int p = (k + d) % players.size();
                QCOMPARE(names[k], players[p].login.toLower()); // the final list in the order of joining
                QCOMPARE(units[k], UnitsOf(stakes[p]));
                total += units[k];
            }
            const int index = Recompute(QByteArray::fromHex(seed), units);
            QVERIFY(index >= 0);
            QCOMPARE(w.value("name").toString(), names[index]);
            QCOMPARE(UnitsOf(w.value("amount").toString()), total - total * 3 / 100);
            ++wins[names[index]];
        }
        QCOMPARE(Array(c.get("/lotto/winner_trx.json")).size(), draws);
        // Between draws no draw is open: nothing committed.
        const QJsonObject none = Object(c.get("/lotto/draw_trx.json"));
        QCOMPARE(none.value("draw").toInteger(), qint64(0));
        QCOMPARE(none.value("commitment").toString(), QString());
        QVERIFY(service.verify());
        qInfo() << "wins per player over" << draws << "draws:" << wins;
    }

    // What a checker does with a seed that does not hash to its commitment: it shows, whichever character
    // changed.
    void alteredSeedDoesNotMatch()
    {
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "alt");
        const User v = NewUser(c, "alt");
        for (const User& p : {u, v}) {
            QCOMPARE(service.command({"credit", p.login, "trx", "1000"}).exitCode, 0);
            QVERIFY(c.post(api::BuyLotto(p.login, p.digest(), "trx", "5", FreshToken())).text().contains("draw"));
        }
        const QString commitment = Object(c.get("/lotto/draw_trx.json")).value("commitment").toString();
        service.advance(86400);
        const QJsonObject w = Array(c.get("/lotto/winner_trx.json")).last().toObject();
        const QByteArray seed = w.value("seed").toString().toLatin1();
        QCOMPARE(QString::fromLatin1(Sha256Hex(seed)), commitment);
        for (int i = 0; i < seed.size(); ++i) {
            QByteArray altered = seed;
            altered[i] = altered[i] == '0' ? '1' : '0';
            QVERIFY(QString::fromLatin1(Sha256Hex(altered)) != commitment);
        }
    }
};

QTEST_GUILESS_MAIN(ServiceLotteryTest)
#include "tst_service_lottery.moc"
