// The lottery's winners as a screen reader reads them: one item per winner
// with name, amount and date, not each cell on its own. (The bus test starts
// on a fresh service that has no winners yet.)
#include "Lotto.h"
#include "ScreenTestSupport.h"
#include "ServiceClient.h"
#include "dashboard.h"

#include <QAccessible>
#include <QComboBox>
#include <QListWidget>
#include <QMutex>

using namespace support;

class RowsTest : public ScreenTest {
    Q_OBJECT
    QMutex m_lock;
    QByteArray m_winners;

    void Script() override
    {
        fake->setHandler([this](const RecordedRequest& r) {
            QMutexLocker lock(&m_lock);
            ScriptedReply reply;
            const QByteArray path = r.pathWithoutQuery();
            if (path == "/lotto/winner_trx.json")
                reply.body = m_winners;
            else if (path.startsWith("/lotto/"))
                reply.body = "[]";
            else
                reply.body = Json(AccountReply("2.5"));
            return reply;
        });
    }
    void Ready() override
    {
        LogIn(SettingsReply(), AccountReply("2.5"));
        QStringList upper;
        for (const QString& c : Catalogue()) upper << c.toUpper();
        Get<TFormLotto>("lottery")->FillCoinList(upper);
        Child<QComboBox>(Get<TFormLotto>("lottery"), "ComboBox1")->setCurrentText("TRX");
        Activate(Get<TFormDashboard>("dashboard"));
    }

private slots:
    void winnersAreReadAsRows_data()
    {
        QTest::addColumn<QByteArray>("winners");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("two") << QByteArray(R"([{"name":"ann","val":"1.5","date":"d1"},{"name":"bo","val":"2","date":"d2"}])")
                             << QStringList{"bo, +2,00000000, d2", "ann, +1,50000000, d1"};
        QTest::newRow("none") << QByteArray("[]") << QStringList{};
    }
    void winnersAreReadAsRows()
    {
        QFETCH(QByteArray, winners);
        QFETCH(QStringList, rows);
        {
            QMutexLocker lock(&m_lock);
            m_winners = winners;
        }
        Click(Get<TFormDashboard>("dashboard"), "Image4");
        QTRY_VERIFY(Get<TFormLotto>("lottery")->isVisible());
        QTRY_VERIFY(!Service().Busy("lottery_players") && !Service().Busy("lottery_winners"));
        auto* list = Child<QListWidget>(Get<TFormLotto>("lottery"), "ListBox1");
        QTRY_COMPARE(list->count(), int(rows.size() * 3));

        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list);
        QVERIFY(iface);
        QCOMPARE(iface->role(), QAccessible::List);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Previous winnings"));
        QCOMPARE(iface->childCount(), rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            QAccessibleInterface* row = iface->child(i);
            QVERIFY(row && row->isValid());
            QCOMPARE(row->role(), QAccessible::ListItem);
            QCOMPARE(row->text(QAccessible::Name), rows.at(i));
            QCOMPARE(row->parent(), iface);
            QCOMPARE(iface->indexOfChild(row), i);
            QVERIFY(!row->rect().isEmpty());
        }
        QVERIFY(!iface->child(int(rows.size())));
    }
};

AMBERVALE_GUI_TEST_MAIN(RowsTest)
#include "tst_a11y_rows.moc"
