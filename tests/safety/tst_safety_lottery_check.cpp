// The client's check of lottery draws against the real service's files, draw
// after draw: every published draw verifies with the commitment seen while it
// was open, and any change to a revealed draw (seed, commitment, players, stakes,
// winner) turns it into "not verified" with the reason, never a failure.
#include "LotteryCheck.h"
#include "ServiceHarness.h"

using namespace svc;

namespace {

QJsonObject Object(const Response& r)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
}

QString FlipHex(const QString& hex, int at)
{
    QString out = hex;
    out[at] = out[at] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    return out;
}

} // namespace

class SafetyLotteryCheckTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Service> m_service;
    QString m_winnersBody;
    QJsonArray m_winners;              // the winners file after the draws
    QHash<qint64, QString> m_committed; // draw -> commitment published while it was open

private slots:
    void initTestCase()
    {
        SVC_REQUIRE_STORE();
        m_service = std::make_unique<Service>();
        Client c = m_service->client();
        QList<User> players;
        for (int i = 0; i < 3; ++i) {
            players << NewUser(c, "chk");
            QCOMPARE(m_service->command({"credit", players.last().login, "trx", "100000"}).exitCode, 0);
        }
        const QStringList stakes{"1", "2.5", "3.00000011"};
        for (int d = 0; d < 8; ++d) {
            // Not every player joins every draw, and the order of joining turns.
            for (int k = 0; k < players.size(); ++k) {
                const int p = (k + d) % players.size();
                if ((d + p) % 4 == 3) continue;
                const Response r =
                    c.post(api::BuyLotto(players[p].login, players[p].digest(), "trx", stakes[p], FreshToken()));
                QVERIFY2(r.text().contains("is in the draw"), r.body.c_str());
            }
            const Response drawFile = c.get("/lotto/draw_trx.json");
            const QJsonObject open = Object(drawFile);
            m_committed.insert(open.value("draw").toInteger(), open.value("commitment").toString());
            lotto::NoteOpenDraw("trx", QString::fromStdString(drawFile.body));
            m_service->advance(86400);
        }
        m_winnersBody = QString::fromStdString(c.get("/lotto/winner_trx.json").body);
        m_winners = QJsonDocument::fromJson(m_winnersBody.toUtf8()).array();
        QCOMPARE(m_winners.size(), 8);
    }
    void cleanupTestCase() { m_service.reset(); }

    void everyPublishedDrawVerifies()
    {
        QSet<QString> winners;
        for (const QJsonValue& v : m_winners) {
            const QJsonObject entry = v.toObject();
            const qint64 draw = entry.value("draw").toInteger();
            QVERIFY(m_committed.contains(draw));
            const lotto::DrawCheck check = lotto::CheckDraw(entry, m_committed.value(draw));
            QVERIFY2(check.verified, qPrintable(lotto::CheckText(check)));
            QCOMPARE(check.draw, draw);
            QCOMPARE(lotto::CheckText(check), QString("verified"));
            winners.insert(entry.value("name").toString());
        }
        qInfo() << "winners over the draws:" << winners;
    }

    // What the screen uses: the shown draws (last first) checked against the
    // commitments noted from the open draws' file, and one summary.
    void shownDrawsAgainstTheCommitmentsSeen()
    {
        const QHash<qint64, QString> seen = lotto::SeenCommitments("trx");
        QCOMPARE(seen, m_committed);
        const QList<lotto::DrawCheck> checks = lotto::CheckShownDraws(m_winnersBody, seen);
        QCOMPARE(checks.size(), m_winners.size());
        for (qsizetype i = 0; i < checks.size(); ++i) {
            QVERIFY2(checks[i].verified, qPrintable(checks[i].reason));
            QCOMPARE(checks[i].draw, m_winners.at(m_winners.size() - 1 - i).toObject().value("draw").toInteger());
        }
        QCOMPARE(lotto::ChecksSummary(checks, {}), QString("All 8 draws shown are verified: each seed matches the "
                                                           "commitment published before the draw and picks the winner shown."));

        // The file rewritten after the draw with another seed and its own matching commitment.
        QJsonArray changed = m_winners;
        QJsonObject second = changed.at(changed.size() - 2).toObject();
        const QString other = FlipHex(second.value("seed").toString(), 7);
        second["seed"] = other;
        second["commitment"] = lotto::Commitment(other);
        changed[changed.size() - 2] = second;
        const QString body = QString::fromUtf8(QJsonDocument(changed).toJson());
        const QList<lotto::DrawCheck> after = lotto::CheckShownDraws(body, seen);
        QVERIFY(after[0].verified);
        QVERIFY(!after[1].verified);
        QCOMPARE(lotto::ChecksSummary(after, {"a", "bob"}),
                 QString("Draw %1 (bob) is not verified: the seed does not match the published commitment.")
                     .arg(second.value("draw").toInteger()));
        // Without having seen the draw open, only the file's own commitment is there to compare: it
        // matches, and what is left is whether the new seed happens to pick the same winner.
        const lotto::DrawCheck unseen = lotto::CheckShownDraws(body, {})[1];
        QVERIFY2(unseen.verified || unseen.reason.endsWith(", not the winner shown"), qPrintable(unseen.reason));

        // A later, different commitment for a draw does not replace the first one seen.
        const qint64 draw = second.value("draw").toInteger();
        lotto::NoteOpenDraw("trx", QString(R"({"coin":"trx","draw":%1,"commitment":"%2"})")
                                       .arg(draw)
                                       .arg(lotto::Commitment(other)));
        QCOMPARE(lotto::SeenCommitments("trx").value(draw), m_committed.value(draw));
        // Not a file of draws: nothing to check, nothing claimed.
        for (const char* hostile : {"", "{}", "Not found.", "[1,2"}) {
            QVERIFY(lotto::CheckShownDraws(hostile).isEmpty());
            QVERIFY(lotto::ChecksSummary(lotto::CheckShownDraws(hostile), {}).isEmpty());
        }
        const QList<lotto::DrawCheck> odd = lotto::CheckShownDraws("[5, \"x\"]");
        QCOMPARE(odd.size(), 2);
        QVERIFY(!odd[0].verified && !odd[1].verified);
    }

    void changedDrawDoesNotVerify_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("reason");
        QTest::newRow("seed, first digit") << 0 << "the seed does not match the published commitment";
        QTest::newRow("seed, last digit") << 1 << "the seed does not match the published commitment";
        QTest::newRow("commitment") << 2 << "the seed does not match the published commitment";
        QTest::newRow("seed and file's commitment, against the one seen open")
            << 3 << "the seed does not match the published commitment";
        QTest::newRow("seed upper case") << 4 << "the seed is not 64 hexadecimal digits";
        QTest::newRow("seed cut") << 5 << "the seed is not 64 hexadecimal digits";
        QTest::newRow("no seed") << 6 << "this draw published no seed";
        QTest::newRow("players missing") << 7 << "the players list is missing";
        QTest::newRow("stake not a decimal") << 8 << "the players list is damaged";
        QTest::newRow("stake negative") << 9 << "the players list is damaged";
        QTest::newRow("stake with exponent") << 10 << "the players list is damaged";
        QTest::newRow("all stakes zero") << 11 << "the players list holds no stake";
        QTest::newRow("winner renamed") << 12 << "__picks";
        QTest::newRow("winner's stake removed") << 13 << "__other";
        QTest::newRow("players a text") << 14 << "the players list is missing";
    }
    void changedDrawDoesNotVerify()
    {
        QFETCH(int, change);
        QFETCH(QString, reason);
        QVERIFY(!m_winners.isEmpty());
        // Every draw of the file, each changed the same way.
        for (const QJsonValue& v : m_winners) {
            QJsonObject e = v.toObject();
            const qint64 draw = e.value("draw").toInteger();
            QString known = m_committed.value(draw);
            const QString seed = e.value("seed").toString();
            QJsonArray players = e.value("players").toArray();
            auto setStakes = [&](const QString& text) {
                for (qsizetype i = 0; i < players.size(); ++i) {
                    QJsonObject p = players[i].toObject();
                    p["stake"] = text;
                    players[i] = p;
                }
                e["players"] = players;
            };
            switch (change) {
            case 0: e["seed"] = FlipHex(seed, 0); break;
            case 1: e["seed"] = FlipHex(seed, 63); break;
            case 2: e["commitment"] = FlipHex(e.value("commitment").toString(), 10); break;
            case 3: {
                // A file rewritten whole after the draw: seed and its own commitment agree,
                // but not with what was published while the draw was open.
                const QString other = FlipHex(seed, 5);
                e["seed"] = other;
                e["commitment"] = lotto::Commitment(other);
                break;
            }
            case 4: e["seed"] = seed.toUpper().replace(QLatin1Char('0'), QLatin1Char('A')); known.clear(); break;
            case 5: e["seed"] = seed.left(62); break;
            case 6: e["seed"] = ""; e["commitment"] = ""; known.clear(); break;
            case 7: e.remove("players"); break;
            case 8: setStakes("1,5"); break;
            case 9: setStakes("-1.00000000"); break;
            case 10: setStakes("1E3"); break;
            case 11: setStakes("0.00000000"); break;
            case 12: e["name"] = e.value("name").toString() + "x"; break;
            case 13: {
                // Without the winner's stake the seed picks someone else (or nobody is left).
                for (qsizetype i = 0; i < players.size(); ++i)
                    if (players[i].toObject().value("nickname") == e.value("name")) {
                        players.removeAt(i);
                        break;
                    }
                e["players"] = players;
                break;
            }
            case 14: e["players"] = "[]"; break;
            }
            const lotto::DrawCheck check = lotto::CheckDraw(e, known);
            QVERIFY2(!check.verified, qPrintable(QString::number(draw)));
            QVERIFY(lotto::CheckText(check).startsWith("not verified: "));
            if (reason == "__picks")
                QVERIFY2(check.reason.startsWith("the seed picks ") && check.reason.endsWith(", not the winner shown"),
                         qPrintable(check.reason));
            else if (reason == "__other")
                QVERIFY2(check.reason.endsWith(", not the winner shown") ||
                             check.reason == "the players list is missing",
                         qPrintable(check.reason));
            else
                QCOMPARE(check.reason, reason);
        }
    }

    // The rule itself on lists that make the remainder's bias and the running sum
    // matter: each stake wins its share of many seeds, and a one-unit stake at
    // either end is reachable.
    void pickFollowsTheStakes()
    {
        QList<qint64> stakes{qint64(1) << 61, qint64(1) << 62}; // 2^64 mod total = 2^61
        int counts[2] = {0, 0};
        for (int i = 0; i < 3000; ++i) {
            const QString seed = QString::fromLatin1(
                QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha256).toHex());
            const auto w = lotto::PickWinner(seed, stakes);
            QVERIFY(w);
            ++counts[*w];
        }
        // 1/3 expected; a plain remainder would give 6/16. Chi-square, 1 degree of freedom, 0.1 %: 10.83.
        const double e0 = 1000, e1 = 2000;
        const double chi = (counts[0] - e0) * (counts[0] - e0) / e0 + (counts[1] - e1) * (counts[1] - e1) / e1;
        QVERIFY2(chi < 10.83, qPrintable(QString("%1 / %2").arg(counts[0]).arg(counts[1])));
        QVERIFY(!lotto::PickWinner(QString(64, 'a'), {0, 0}));
        QVERIFY(!lotto::PickWinner(QString(64, 'a'), {}));
        QVERIFY(!lotto::PickWinner(QString(64, 'g'), {1}));
        QCOMPARE(*lotto::PickWinner(QString(64, 'a'), {0, 5, 0}), qsizetype(1));
    }

    void stakeTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("units");
        QTest::newRow("whole") << "3" << qint64(300000000);
        QTest::newRow("eight places") << "3.00000011" << qint64(300000011);
        QTest::newRow("fewer places") << "2.5" << qint64(250000000);
        QTest::newRow("largest") << "9999999999.99999999" << qint64(999999999999999999);
        QTest::newRow("nine places") << "1.000000001" << qint64(-1);
        QTest::newRow("comma") << "1,5" << qint64(-1);
        QTest::newRow("sign") << "+1" << qint64(-1);
        QTest::newRow("empty") << "" << qint64(-1);
        QTest::newRow("dot only") << "." << qint64(-1);
        QTest::newRow("trailing dot") << "1." << qint64(-1);
        QTest::newRow("eleven digits") << "10000000000" << qint64(-1);
        QTest::newRow("Arabic-Indic digit") << QString(QChar(0x0661)) << qint64(-1);
    }
    void stakeTexts()
    {
        QFETCH(QString, text);
        QFETCH(qint64, units);
        const auto got = lotto::StakeUnits(text);
        if (units < 0)
            QVERIFY(!got);
        else
            QCOMPARE(got.value_or(-1), units);
    }
};

QTEST_GUILESS_MAIN(SafetyLotteryCheckTest)
#include "tst_safety_lottery_check.moc"
