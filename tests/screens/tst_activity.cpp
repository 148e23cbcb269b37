// The activity screen driven headless against a scripted service that pages
// a history as the real one does: rows load as the user scrolls, the coin
// filter asks for that coin, a bad page or no service keeps the rows shown,
// the export writes every row of the filter, and new events raise one notice.
#include "AccountModel.h"
#include "History.h"
#include "Notices.h"
#include "ScreenTestSupport.h"
#include "activity.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFile>
#include <QFileDialog>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTableView>

using support::Child;

namespace {

struct Line {
    qint64 id;
    QString kind, coin, amount, status, detail;
};

// The history the fake pages from, newest last; shared with the server thread.
struct FakeHistory {
    QMutex lock;
    QList<Line> lines;
    QByteArray override; // when set, every history request gets this body
    int delayMs = 0;

    void Add(const QString& kind, const QString& coin, const QString& amount, const QString& status = "done",
             const QString& detail = {})
    {
        QMutexLocker l(&lock);
        lines.append({lines.isEmpty() ? 1 : lines.last().id + 1, kind, coin, amount, status, detail});
    }
    void SetStatus(qint64 id, const QString& status)
    {
        QMutexLocker l(&lock);
        for (Line& line : lines)
            if (line.id == id) line.status = status;
    }

    ScriptedReply Answer(const RecordedRequest& r)
    {
        QMutexLocker l(&lock);
        ScriptedReply reply;
        reply.delayMs = delayMs;
        if (!override.isEmpty()) {
            reply.body = override;
            return reply;
        }
        const QString coin = r.field("coin");
        const qint64 before = r.hasField("before") ? r.field("before").toLongLong() : 0;
        const int limit = r.hasField("limit") ? r.field("limit").toInt() : 50;
        QJsonArray items;
        qint64 next = 0;
        for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
            if (before > 0 && it->id >= before) continue;
            if (!coin.isEmpty() && it->coin != coin) continue;
            if (items.size() == limit) {
                next = items.last().toObject()["id"].toInteger();
                break;
            }
            items.append(QJsonObject{{"id", it->id},
                                     {"time", QStringLiteral("2026-12-%1 10:00:00").arg(1 + it->id % 28, 2, 10, QChar('0'))},
                                     {"kind", it->kind},
                                     {"coin", it->coin},
                                     {"amount", it->amount},
                                     {"fee", "0.00000000"},
                                     {"status", it->status},
                                     {"detail", it->detail}});
        }
        reply.body = support::Json({{"items", items}, {"next", next ? QJsonValue(next) : QJsonValue::Null}});
        return reply;
    }
};

} // namespace

class ActivityTest : public support::ScreenTest {
    Q_OBJECT

    std::shared_ptr<FakeHistory> m_history;

    void Script() override
    {
        m_history = std::make_shared<FakeHistory>();
        std::shared_ptr<FakeHistory> h = m_history;
        fake->setHandler([h](const RecordedRequest& r) {
            if (r.field("a") == QLatin1String("history")) return h->Answer(r);
            if (r.field("a") == QLatin1String("prices"))
                return support::Reply(R"({"usd":{"btc":"60000.00"},"time":"2026-12-11 10:00:00"})");
            if (r.field("a") == QLatin1String("investments"))
                return support::Reply(R"({"investments":[],"time":"2026-12-11 10:00:00"})");
            return support::Reply(support::Json(support::AccountReply()));
        });
        // Every case starts with no memory of earlier notices.
        QFile::remove(notices::SettingsFile());
    }

    FormActivity* Open()
    {
        LogIn();
        auto* dashboard = support::Get<TFormDashboard>("dashboard");
        support::Activate(dashboard);
        Host()->Open("activity", "dashboard");
        auto* screen = support::Get<FormActivity>("activity");
        [&] { QTRY_VERIFY(screen->isVisible()); }();
        return screen;
    }

    static QTableView* Table(FormActivity* s) { return Child<QTableView>(s, "table_history"); }

    QList<RecordedRequest> HistoryRequests() const { return Requests("history"); }

private slots:
    // A hundred rows first; scrolling to the end asks for the page below the
    // last row shown, and the rows keep their order without repeats.
    void rowsLoadAsTheUserScrolls()
    {
        for (int i = 0; i < 450; ++i) m_history->Add("earning", i % 2 ? "btc" : "eth", "0.00000100");
        FormActivity* s = Open();
        QTableView* table = Table(s);
        QTRY_COMPARE(table->model()->rowCount(), FormActivity::PageRows);
        QCOMPARE(table->model()->index(0, HistoryModel::Date).data().toString().isEmpty(), false);
        QCOMPARE(HistoryRequests().first().field("before"), QString());

        m_history->delayMs = 600;
        QTRY_VERIFY(table->verticalScrollBar()->maximum() > 0);
        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        // While the page is out the loading animation shows.
        QTRY_VERIFY(Child<QLabel>(s, "LoadingAnim")->isVisible());
        QTRY_COMPARE(table->model()->rowCount(), 2 * FormActivity::PageRows);
        QTRY_VERIFY(!Child<QLabel>(s, "LoadingAnim")->isVisible());
        QCOMPARE(HistoryRequests().last().field("before"), QStringLiteral("351"));
        m_history->delayMs = 0;
        // The user keeps scrolling to the end until every page is in (a bounded number of tries).
        for (int tries = 0; tries < 200 && table->model()->rowCount() < 450; ++tries) {
            table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
            QTest::qWait(50);
        }
        QCOMPARE(table->model()->rowCount(), 450);
        const auto* model = s->Model();
        for (int i = 0; i < model->Items().size(); ++i) QCOMPARE(model->Items()[i].id, qint64(450 - i));
        QCOMPARE(model->HasMore(), false);
    }

    void coinFilterAsksForThatCoin()
    {
        for (int i = 0; i < 30; ++i) m_history->Add("deposit", i % 3 ? "btc" : "eth", "1.00000000");
        FormActivity* s = Open();
        QTRY_COMPARE(Table(s)->model()->rowCount(), 30);
        auto* combo = Child<QComboBox>(s, "combo_coin");
        QCOMPARE(combo->itemText(0), QStringLiteral("All coins"));
        combo->setCurrentIndex(combo->findText("ETH"));
        QTRY_COMPARE(Table(s)->model()->rowCount(), 10);
        QCOMPARE(HistoryRequests().last().field("coin"), QStringLiteral("eth"));
        for (int r = 0; r < 10; ++r)
            QCOMPARE(Table(s)->model()->index(r, HistoryModel::Coin).data().toString(), QStringLiteral("ETH"));
    }

    // A reply that is no page (hostile or broken) and an unreachable service:
    // a message, and the rows shown stay as they were.
    void badPagesKeepTheRows_data()
    {
        QTest::addColumn<QByteArray>("body"); // empty: the service is unreachable
        QTest::addColumn<QString>("message");
        QTest::newRow("markup kind") << QByteArray(R"({"items":[{"id":1,"time":"2026-12-01 10:00:00","kind":"<b>x</b>",)"
                                                   R"("coin":"btc","amount":"1.00000000","fee":"0.00000000",)"
                                                   R"("status":"done","detail":""}],"next":null})")
                                     << "unknown kind";
        QTest::newRow("wrong types") << QByteArray(R"({"items":{"id":1},"next":null})") << "no item list";
        QTest::newRow("html") << QByteArray("<html><h1>Bad gateway</h1></html>") << "<html><h1>Bad gateway</h1></html>";
        QTest::newRow("unreachable") << QByteArray() << "The history could not be loaded:";
    }
    void badPagesKeepTheRows()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        for (int i = 0; i < 250; ++i) m_history->Add("deposit", "btc", "1.00000000");
        FormActivity* s = Open();
        QTableView* table = Table(s);
        QTRY_COMPARE(table->model()->rowCount(), FormActivity::PageRows);
        const QString firstRow = table->model()->index(0, HistoryModel::Amount).data().toString();
        if (body.isEmpty())
            State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(support::ClosedPort());
        else
            m_history->override = body;
        QTRY_VERIFY(table->verticalScrollBar()->maximum() > 0); // laid out: there is an end to scroll to
        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        QTRY_VERIFY(support::PanelShown(s));
        QVERIFY2(support::PanelText(s).contains(message), qPrintable(support::PanelText(s)));
        // The panel shows it as text, markup and all.
        QCOMPARE(Child<QLabel>(s, "message_label")->textFormat(), Qt::PlainText);
        QCOMPARE(table->model()->rowCount(), FormActivity::PageRows);
        QCOMPARE(table->model()->index(0, HistoryModel::Amount).data().toString(), firstRow);
        QVERIFY(!Child<QLabel>(s, "LoadingAnim")->isVisible());
    }

    // The service's detail text reaches the view as it is: no delegate that
    // would take it as markup.
    void detailShownAsText()
    {
        m_history->Add("withdraw", "btc", "-0.10000000", "failed", "<b>no</b> <a href='x'>route</a>");
        FormActivity* s = Open();
        QTRY_COMPARE(Table(s)->model()->rowCount(), 1);
        QCOMPARE(Table(s)->model()->index(0, HistoryModel::Detail).data().toString(),
                 QStringLiteral("<b>no</b> <a href='x'>route</a>"));
        QCOMPARE(Table(s)->itemDelegate()->metaObject(), &QStyledItemDelegate::staticMetaObject);
        for (int c = 0; c < HistoryModel::ColumnCount; ++c)
            QCOMPARE(Table(s)->itemDelegateForColumn(c), nullptr);
    }

    // The file holds every row of the filter, also those not scrolled to yet.
    void exportWritesTheWholeFilter()
    {
        for (int i = 0; i < 330; ++i) m_history->Add("swap_in", i % 2 ? "btc" : "eth", "0.12345678", "done", "a,\"b\"");
        FormActivity* s = Open();
        auto* combo = Child<QComboBox>(s, "combo_coin");
        combo->setCurrentIndex(combo->findText("BTC"));
        QTRY_COMPARE(Table(s)->model()->rowCount(), FormActivity::PageRows);
        QVERIFY(s->Model()->HasMore());

        QTemporaryDir dir;
        const QString path = dir.filePath("out.csv");
        Click(s, "btn_export");
        auto* dialog = s->findChild<QFileDialog*>("dialog_export");
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        // Typed into the dialog's name field and saved, as the user does.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setText(path);
        auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
        QVERIFY(buttons && buttons->button(QDialogButtonBox::Save));
        buttons->button(QDialogButtonBox::Save)->click();
        QTRY_VERIFY2(support::PanelText(s).startsWith("Exported 165 rows"), qPrintable(support::PanelText(s)));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray csv = f.readAll();
        QCOMPARE(csv, history::Csv(s->Model()->Items()));
        QCOMPARE(csv.count("\r\n"), 166);
        QVERIFY(csv.contains(",BTC,0.12345678,0.00000000,done,\"a,\"\"b\"\"\"\r\n"));
        QVERIFY(!csv.contains(",ETH,"));
    }

    // One notice per event: the first look only remembers where the history
    // stands, a new deposit then tells once, and not again on the next refresh
    // nor after the screens are made anew (a restart); a pending withdrawal
    // tells when it is sent; with the switch off nothing is told.
    void newEventsNotifyOnce()
    {
        m_history->Add("deposit", "btc", "5.00000000");
        FormActivity* s = Open();
        QSignalSpy notices(s->Watcher(), &NoticeWatcher::Notice);
        Account().TakeSnapshot(support::AccountReply());
        QTRY_VERIFY(QSettings(notices::SettingsFile(), QSettings::IniFormat).contains(notices::AccountKey(State().UserLogin)));
        QTest::qWait(200);
        QCOMPARE(notices.size(), 0); // what was there before is not news

        m_history->Add("deposit", "btc", "1.50000000");
        m_history->Add("withdraw", "btc", "-0.20000000", "pending");
        Account().TakeSnapshot(support::AccountReply());
        QTRY_COMPARE(notices.size(), 1);
        QCOMPARE(notices[0][0].toString(), QStringLiteral("Deposit credited: 1,50000000 BTC"));
        // No tray offscreen: the panel of the screen in front says it.
        QVERIFY(!s->HasTray());
        QTRY_COMPARE(support::PanelText(s), QStringLiteral("Deposit credited: 1,50000000 BTC"));

        const int asked = HistoryRequests().size();
        Account().TakeSnapshot(support::AccountReply());
        QTRY_VERIFY(HistoryRequests().size() >= asked + 2); // the newest lines and the pending withdrawal
        QTest::qWait(200);
        QCOMPARE(notices.size(), 1);

        m_history->SetStatus(3, "sent");
        Account().TakeSnapshot(support::AccountReply());
        QTRY_COMPARE(notices.size(), 2);
        QCOMPARE(notices[1][0].toString(), QStringLiteral("Withdrawal sent: 0,20000000 BTC"));

        // A restart: fresh screens, the memory stays.
        support::FreshScreens(fake.get());
        s = Open();
        QSignalSpy again(s->Watcher(), &NoticeWatcher::Notice);
        const int before = HistoryRequests().size();
        Account().TakeSnapshot(support::AccountReply());
        QTRY_VERIFY(HistoryRequests().size() > before + 0);
        QTest::qWait(300);
        QCOMPARE(again.size(), 0);

        // Switched off: the event is passed over, and not told later either.
        Child<QCheckBox>(s, "chk_notifications")->click();
        QVERIFY(!notices::Enabled());
        m_history->Add("lottery_win", "btc", "0.01000000");
        Account().TakeSnapshot(support::AccountReply());
        QTest::qWait(500);
        Child<QCheckBox>(s, "chk_notifications")->click();
        QVERIFY(notices::Enabled());
        Account().TakeSnapshot(support::AccountReply());
        QTest::qWait(500);
        QCOMPARE(again.size(), 0);
        m_history->Add("lottery_win", "btc", "0.02000000");
        Account().TakeSnapshot(support::AccountReply());
        QTRY_COMPARE(again.size(), 1);
        QCOMPARE(again[0][0].toString(), QStringLiteral("Lottery won: 0,02000000 BTC"));
    }

    // The controls a screen reader meets have names.
    void controlsNamed()
    {
        FormActivity* s = Open();
        for (const char* name : {"btn_back", "chk_notifications", "combo_coin", "btn_export", "table_history",
                                 "radio_30", "radio_90", "tabs_activity"})
            QVERIFY2(!Child(s, name)->accessibleName().isEmpty(), name);
    }
};

AMBERVALE_GUI_TEST_MAIN(ActivityTest)
#include "tst_activity.moc"
