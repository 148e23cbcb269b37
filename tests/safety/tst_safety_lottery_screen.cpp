// The lottery screen checks each listed draw: with the files the real service
// published (several draws, the open draw's commitment read while each was
// open) every draw is marked verified; served again with one seed changed, or
// with a seed and a commitment rewritten together after the draw, that draw is
// marked and named as not verified; a damaged file shows nothing verified and
// no crash.
#include "ScreenTestSupport.h"
#include "ServiceHarness.h"
#include "Lotto.h"

#include <QComboBox>

using namespace support;

class SafetyLotteryScreenTest : public ScreenTest {
    Q_OBJECT

    // The service's files, as served while each draw was open and after the draws.
    QList<QByteArray> m_openDrawFiles;
    QByteArray m_winners;
    // What the fake serves now.
    QByteArray m_servedWinners;
    QByteArray m_servedDraw;

    void Script() override
    {
        fake->setHandler([this](const RecordedRequest& r) {
            const QByteArray path = r.pathWithoutQuery();
            if (path == "/lotto/winner_trx.json") return Reply(m_servedWinners);
            if (path == "/lotto/draw_trx.json") return Reply(m_servedDraw);
            if (path == "/lotto/trx.json") return Reply("[]");
            return Reply(Json(AccountReply()));
        });
    }

    QListWidget* list() const { return Child<QListWidget>(Get<TFormLotto>("lottery"), "ListBox1"); }
    QLabel* check() const { return Child<QLabel>(Get<TFormLotto>("lottery"), "LottoCheck"); }

    void openLottery()
    {
        LogIn();
        Activate(Get<TFormDashboard>("dashboard"));
        auto* coins = Child<QComboBox>(Get<TFormLotto>("lottery"), "ComboBox1");
        Click(Get<TFormDashboard>("dashboard"), "Image4");
        QTRY_VERIFY(Get<TFormLotto>("lottery")->isVisible());
        coins->setCurrentText("TRX");
        QCOMPARE(coins->currentText(), QString("TRX"));
    }

    // Shows the lottery once per open draw file, so the client notes each draw's commitment.
    void readOpenDraws()
    {
        for (const QByteArray& open : m_openDrawFiles) {
            m_servedDraw = open;
            fake->clearRequests();
            Get<TFormLotto>("lottery")->Timer2Timer();
            QTRY_VERIFY(!fake->requests().isEmpty());
            QTRY_VERIFY([&] {
                for (const RecordedRequest& r : fake->requests())
                    if (r.pathWithoutQuery() == "/lotto/draw_trx.json") return true;
                return false;
            }());
        }
        m_servedDraw = R"({"coin":"trx","draw":0,"opened":"","commitment":""})";
    }

    void showWinners(const QByteArray& winners)
    {
        m_servedWinners = winners;
        Get<TFormLotto>("lottery")->Timer2Timer();
        QTRY_VERIFY_WITH_TIMEOUT(!check()->text().isEmpty() || winners.startsWith("{"), 10000);
    }

private slots:
    void initTestCase()
    {
        SVC_REQUIRE_STORE();
        svc::Service service;
        svc::Client c = service.client();
        QList<svc::User> players;
        for (int i = 0; i < 3; ++i) {
            players << svc::NewUser(c, "scr");
            QCOMPARE(service.command({"credit", players.last().login, "trx", "1000"}).exitCode, 0);
        }
        for (int d = 0; d < 5; ++d) {
            for (int p = 0; p < players.size(); ++p)
                QVERIFY(c.post(api::BuyLotto(players[p].login, players[p].digest(), "trx", QString::number(p + d + 1),
                                             svc::FreshToken()))
                            .text()
                            .contains("is in the draw"));
            m_openDrawFiles << QByteArray::fromStdString(c.get("/lotto/draw_trx.json").body);
            service.advance(86400);
        }
        m_winners = QByteArray::fromStdString(c.get("/lotto/winner_trx.json").body);
        QCOMPARE(QJsonDocument::fromJson(m_winners).array().size(), 5);
    }

    void publishedDrawsAreVerified()
    {
        openLottery();
        readOpenDraws();
        showWinners(m_winners);
        QTRY_COMPARE(list()->count(), 15);
        QTRY_COMPARE(check()->text(), QString("All 5 draws shown are verified: each seed matches the commitment "
                                              "published before the draw and picks the winner shown."));
        for (int row = 0; row < 5; ++row) {
            QListWidgetItem* name = list()->item(row * 3);
            QVERIFY(name->data(Qt::UserRole).toBool());
            QVERIFY2(name->toolTip().endsWith(" - verified"), qPrintable(name->toolTip()));
            QVERIFY(!name->icon().isNull());
        }
    }

    void changedDrawsAreNotVerified_data()
    {
        QTest::addColumn<int>("change");
        QTest::newRow("seed changed") << 0;
        QTest::newRow("seed and commitment rewritten together") << 1;
    }
    void changedDrawsAreNotVerified()
    {
        QFETCH(int, change);
        // Changed in the file's own bytes: its members keep the service's order.
        const QJsonArray all = QJsonDocument::fromJson(m_winners).array();
        // The second newest draw: the list's second row.
        const QJsonObject e = all.at(all.size() - 2).toObject();
        const QString seed = e.value("seed").toString();
        QString changedSeed = seed;
        changedSeed[3] = changedSeed[3] == '0' ? '1' : '0';
        QByteArray body = m_winners;
        QCOMPARE(body.count(seed.toLatin1()), 1);
        body.replace(seed.toLatin1(), changedSeed.toLatin1());
        if (change == 1) {
            const QByteArray commitment = e.value("commitment").toString().toLatin1();
            QCOMPARE(body.count(commitment), 1);
            body.replace(commitment, QCryptographicHash::hash(QByteArray::fromHex(changedSeed.toLatin1()),
                                                              QCryptographicHash::Sha256)
                                         .toHex());
        }

        openLottery();
        readOpenDraws();
        showWinners(body);
        QTRY_COMPARE(list()->count(), 15);
        const QString winner = list()->item(3)->text();
        QTRY_COMPARE(check()->text(), QString("Draw %1 (%2) is not verified: the seed does not match the published "
                                              "commitment.")
                                          .arg(e.value("draw").toInteger())
                                          .arg(winner));
        QVERIFY(list()->item(0)->data(Qt::UserRole).toBool());
        QVERIFY(!list()->item(3)->data(Qt::UserRole).toBool());
        QVERIFY2(list()->item(3)->toolTip().contains(" - not verified: "), qPrintable(list()->item(3)->toolTip()));
    }

    void damagedFilesShowNothingVerified_data()
    {
        QTest::addColumn<QByteArray>("winners");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("text");
        QTest::newRow("not JSON") << QByteArray("<html>Not found</html>") << 0 << QString();
        QTest::newRow("object") << QByteArray("{}") << 0 << QString();
        QTest::newRow("cut") << m_winners.left(m_winners.size() / 2) << 0 << QString();
        QTest::newRow("seed a number")
            << QByteArray(R"([{"name":"a","amount":"1","date":"2026-12-11 00:00","draw":1,"seed":5,"commitment":"x","players":[]}])")
            << 3 << QString("Draw 1 (a) is not verified: the seed is not 64 hexadecimal digits.");
        QTest::newRow("no seed published")
            << QByteArray(R"([{"name":"b","amount":"1","date":"2026-12-11 00:00"}])") << 3
            << QString("A draw (b) is not verified: this draw published no seed.");
    }
    void damagedFilesShowNothingVerified()
    {
        QFETCH(QByteArray, winners);
        QFETCH(int, rows);
        QFETCH(QString, text);
        // First the good file, so the change to the damaged one is seen arriving.
        openLottery();
        readOpenDraws();
        showWinners(m_winners);
        QTRY_VERIFY(check()->text().startsWith("All 5 draws"));
        m_servedWinners = winners;
        Get<TFormLotto>("lottery")->Timer2Timer();
        QTRY_COMPARE(check()->text(), text);
        QTRY_COMPARE(list()->count(), rows);
        for (int i = 0; i < list()->count(); ++i) QVERIFY(!list()->item(i)->data(Qt::UserRole).toBool());
    }
};

AMBERVALE_GUI_TEST_MAIN(SafetyLotteryScreenTest)
#include "tst_safety_lottery_screen.moc"
