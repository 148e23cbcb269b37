// The client against a hostile or broken service: credentials never go over
// plain HTTP, big or trickling replies do not freeze the GUI, server texts are
// never markup, absurd amounts keep the windows in shape, "T" replies back off,
// the guest password is not guessable, and failures name their real cause.
#include "ScreenTestSupport.h"

#include "Credentials.h"
#include "Digest.h"
#include "HttpClient.h"
#include "Login.h"
#include "dashboard.h"
#include "deposit.h"
#include "invest.h"
#include "withdraw.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListWidget>
#include <QMutex>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <functional>
#include <random>

using namespace support;

namespace {

const QString kDigest = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");

// How late the GUI thread gets: the longest gap between ticks of a 10 ms timer.
class GuiProbe {
public:
    GuiProbe()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_since.restart()); });
        m_since.start();
        m_timer.start();
    }
    qint64 longestGapMs() const { return std::max(m_longest, m_since.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

// Answers by action; what each action gets can change while the test runs.
class Script {
public:
    using Answer = std::function<ScriptedReply(const RecordedRequest&)>;
    void Install(FakeService& fake)
    {
        fake.setHandler([this](const RecordedRequest& r) {
            QMutexLocker lock(&m_mutex);
            const QString a = r.field(QStringLiteral("a"));
            m_arrivals.append({a, m_clock.elapsed()});
            const auto it = m_answers.constFind(a);
            return it == m_answers.constEnd() ? Reply("unexpected") : it.value()(r);
        });
        m_clock.start();
    }
    void Set(const QString& action, const QByteArray& body)
    {
        Set(action, [body](const RecordedRequest&) { return Reply(body); });
    }
    void Set(const QString& action, Answer answer)
    {
        QMutexLocker lock(&m_mutex);
        m_answers.insert(action, std::move(answer));
    }
    // Milliseconds since Install at which requests with this action arrived.
    QList<qint64> Arrivals(const QString& action)
    {
        QMutexLocker lock(&m_mutex);
        QList<qint64> out;
        for (const auto& [a, at] : m_arrivals)
            if (a == action) out << at;
        return out;
    }

private:
    QMutex m_mutex;
    QHash<QString, Answer> m_answers;
    QList<QPair<QString, qint64>> m_arrivals;
    QElapsedTimer m_clock;
};

QList<RecordedRequest> WithAction(const FakeService& fake, const QString& action)
{
    QList<RecordedRequest> out;
    for (const RecordedRequest& r : fake.requests())
        if (r.field(QStringLiteral("a")) == action) out << r;
    return out;
}

} // namespace

class SecurityTest : public ScreenTest {
    Q_OBJECT

    std::unique_ptr<::Script> script; // the file's Script class, not the base's hook

    // Each case picks its own transport: the base's service is replaced.
    void Start(FakeService::Transport transport = FakeService::Transport::Http)
    {
        DestroyScreens();
        fake = std::make_unique<FakeService>(transport);
        QVERIFY2(fake->isListening(), qPrintable(fake->errorString()));
        script = std::make_unique<::Script>();
        script->Set("all_json_setting", Json(SettingsReply()));
        script->Set("useraccount", Json(AccountReply()));
        script->Install(*fake);
        FreshScreens(fake.get());
    }

    // The settings are in and the user is logged in, without the network.
    void LoggedIn(const QJsonObject& settings = SettingsReply(), const QJsonObject& account = AccountReply())
    {
        Account().ApplySettings(settings);
        AppState& st = State();
        st.ServerLoadPercent = 100;
        st.UserLogin = QStringLiteral("alice");
        st.PassHash = kDigest;
        st.LoggedIn = true;
        Get<TFormLogin>("login")->ParseJsonUserAcc(account);
    }

    void TypeAndLogIn(const QString& login, const QString& password)
    {
        Child<QLineEdit>(Get<TFormLogin>("login"), "LoginEdit")->setText(login);
        Child<QLineEdit>(Get<TFormLogin>("login"), "PassEdit")->setText(password);
        Child<QPushButton>(Get<TFormLogin>("login"), "BtnLogin")->click();
    }

private slots:
    void cleanup()
    {
        DestroyScreens();
        fake.reset();
        script.reset();
    }

    // A TLS failure switches the settings request to plain HTTP; the login and
    // the deposit address request stay on HTTPS and fail with the TLS reason.
    void secretsNeverFollowTheFallbackToPlainHttp()
    {
        Start(FakeService::Transport::Both); // its certificate is signed by a CA nobody trusts
        script->Set("get_deposit_address", QByteArray("attacker-address"));
        State().ServerScheme = QStringLiteral("https");
        QVERIFY(credentials::Save(credentials::FilePath(), "alice", kDigest));

        Get<TFormLogin>("login")->show(); // reads the file, then asks for the settings over HTTPS
        QTRY_COMPARE(State().ServerScheme, QStringLiteral("http"));
        QTRY_VERIFY(PanelShown(Get<TFormLogin>("login")));
        QTRY_VERIFY2(PanelText(Get<TFormLogin>("login")).startsWith("c_coin_name:"), qPrintable(PanelText(Get<TFormLogin>("login"))));
        QCOMPARE(State().PassHash, kDigest);

        // The settings come over HTTP, and the automatic login starts...
        Child<QWidget>(Get<TFormLogin>("login"), "PanelErrorMessage")->hide();
        Get<TFormLogin>("login")->c_name_coin();
        QTRY_COMPARE(State().ServerLoadPercent, 100);
        QCOMPARE(State().AutoLoginPending, 0);
        // ...over HTTPS, where it fails with a message that names TLS.
        QTRY_VERIFY(PanelText(Get<TFormLogin>("login")).startsWith("Error:"));
        QVERIFY2(PanelText(Get<TFormLogin>("login")).contains("TLS"), qPrintable(PanelText(Get<TFormLogin>("login"))));
        QVERIFY(!State().LoggedIn);

        // The deposit address is not asked for over HTTP either.
        LoggedIn();
        Get<TFormDashboard>("dashboard")->show();
        Get<TFormDashboard>("dashboard")->Get_Deposit_Address();
        QTRY_VERIFY(PanelShown(Get<TFormDeposit>("deposit")));
        QTRY_VERIFY2(PanelText(Get<TFormDeposit>("deposit")).startsWith("Error:") && PanelText(Get<TFormDeposit>("deposit")).contains("TLS"),
                 qPrintable(PanelText(Get<TFormDeposit>("deposit"))));
        QTest::qWait(200);
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address")->text().contains("attacker"), false);

        // Only the settings request reached the service, and no secret travelled in the clear.
        const QList<RecordedRequest> seen = fake->requests();
        QVERIFY(!seen.isEmpty());
        for (const RecordedRequest& r : seen) {
            QCOMPARE(r.field("a"), QStringLiteral("all_json_setting"));
            QVERIFY(!r.hasField("s") && !r.hasField("pass"));
        }
    }

    // A reply of megabytes is refused before it reaches a label; the GUI keeps ticking.
    void bigAccountReplyIsRefusedWithoutFreezing()
    {
        Start();
        script->Set("useraccount", QByteArray(4 * 1024 * 1024, 'x'));
        Get<TFormLogin>("login")->show();
        QTRY_COMPARE(State().ServerLoadPercent, 100);

        GuiProbe probe;
        TypeAndLogIn("alice", "secret");
        QTRY_VERIFY_WITH_TIMEOUT(PanelText(Get<TFormLogin>("login")).startsWith("Error:"), 20000);
        QTest::qWait(100);
        qInfo("longest GUI gap during a 4 MiB account reply: %lld ms", probe.longestGapMs());
        QVERIFY2(PanelText(Get<TFormLogin>("login")).contains(QString::number(HttpClient::MaxBodyBytes)),
                 qPrintable(PanelText(Get<TFormLogin>("login")).left(200)));
        QVERIFY2(probe.longestGapMs() < 500, qPrintable(QString::number(probe.longestGapMs())));
        QVERIFY(!State().LoggedIn);
    }

    // An "address" just under the cap is shown elided and copied whole, without a freeze.
    void hugeDepositAddressIsElided()
    {
        Start();
        const QByteArray address = QByteArray(900 * 1024, 'A');
        script->Set("get_deposit_address", address);
        LoggedIn();
        Get<TFormDashboard>("dashboard")->show();

        GuiProbe probe;
        Get<TFormDashboard>("dashboard")->Get_Deposit_Address();
        const QSize designed = Get<TFormDeposit>("deposit")->size();
        auto* label = Child<QLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address");
        QTRY_VERIFY_WITH_TIMEOUT(!label->text().isEmpty(), 20000);
        QTest::qWait(100);
        qInfo("longest GUI gap during a 900 KiB deposit address: %lld ms", probe.longestGapMs());
        QVERIFY2(probe.longestGapMs() < 1000, qPrintable(QString::number(probe.longestGapMs())));
        QVERIFY2(label->text().size() <= 4000, qPrintable(QString::number(label->text().size())));
        QVERIFY(label->text().endsWith(QChar(0x2026)));
        QVERIFY(label->text().startsWith(QStringLiteral("AAAA")));
        QCOMPARE(Get<TFormDeposit>("deposit")->size(), designed);

        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(address));
    }

    // Full names with markup are shown as the characters they are, wherever they go.
    void serverTextIsNeverMarkup()
    {
        Start();
        const QString name = QStringLiteral("<b>Bold</b> <a href=\"x\">link</a> <img src=\"/etc/hostname\">");
        QJsonObject settings = SettingsReply();
        QJsonArray names;
        for (int i = 0; i < Catalogue().size(); ++i) names.append(name);
        settings["arr_fullname_coin"] = names;
        script->Set("get_deposit_address", QByteArray("addr"));
        LoggedIn(settings);
        Get<TFormDashboard>("dashboard")->show();
        Get<TFormDashboard>("dashboard")->show_full_balance();

        Child<QPushButton>(Get<TFormDashboard>("dashboard"), "Button1")->click(); // invest
        QTRY_VERIFY(Get<TFormInvest>("invest")->isVisible());
        Get<TFormInvest>("invest")->hide();
        Get<TFormDashboard>("dashboard")->show();
        Child<QPushButton>(Get<TFormDashboard>("dashboard"), "ButtonWithdraw")->click();
        QTRY_VERIFY(Get<TFormWithdraw>("withdraw")->isVisible());
        Get<TFormWithdraw>("withdraw")->hide();
        Get<TFormDashboard>("dashboard")->show();
        Get<TFormDashboard>("dashboard")->Get_Deposit_Address();

        int shown = 0;
        for (QWidget* screen : AllScreens())
            for (QLabel* label : screen->findChildren<QLabel*>())
                if (label->text().contains(name)) {
                    ++shown;
                    QVERIFY2(label->textFormat() == Qt::PlainText,
                             qPrintable(screen->objectName() + "." + label->objectName()));
                }
        // The dashboard's name, the invest and withdraw titles, the deposit's coin line.
        QVERIFY2(shown >= 4, qPrintable(QString::number(shown)));
        QCOMPARE(Child<QLabel>(Get<TFormInvest>("invest"), "Label1")->text(), QStringLiteral("Invest ") + name);
        QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), "Label1")->text(), QStringLiteral("Withdraw ") + name);
    }

    // 1e308 of every coin: short texts, and the dashboard keeps its size with every button inside it.
    void absurdAmountsKeepTheDashboardInShape()
    {
        Start();
        LoggedIn();
        Get<TFormDashboard>("dashboard")->show();
        QTest::qWait(50);
        const QSize designed = Get<TFormDashboard>("dashboard")->size();

        LoggedIn(SettingsReply(), AccountReply("1e308"));
        Get<TFormDashboard>("dashboard")->show_full_balance();
        QTest::qWait(50);
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_wall_coin")->text(), QStringLiteral("1E308"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "wall_btc")->text(), QStringLiteral("1E308"));

        // The longest fixed-point texts: 18 digits before the separator.
        LoggedIn(SettingsReply(), AccountReply("987654321987654321"));
        Get<TFormDashboard>("dashboard")->show_full_balance();
        QTest::qWait(50);
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_wall_coin")->text(), QStringLiteral("987654321987654272,00000000"));
        QCOMPARE(Get<TFormDashboard>("dashboard")->size(), designed);
        for (QPushButton* button : Get<TFormDashboard>("dashboard")->findChildren<QPushButton*>()) {
            if (!button->isVisibleTo(Get<TFormDashboard>("dashboard"))) continue;
            const QRect where(button->mapTo(Get<TFormDashboard>("dashboard"), QPoint(0, 0)), button->size());
            QVERIFY2(Get<TFormDashboard>("dashboard")->rect().contains(where), qPrintable(button->objectName()));
        }
    }

    // A service stuck on "T" replies gets re-logins 1, 2, 4 s apart, and the
    // credentials file is not rewritten for them.
    void tRepliesBackOff()
    {
        Start();
        script->Set("useraccount", QByteArray("Try again later"));
        Get<TFormLogin>("login")->show();
        QTRY_COMPARE(State().ServerLoadPercent, 100);
        // Credentials remembered from an earlier accepted login: a "T" is no acceptance.
        const QString file = credentials::FilePath();
        credentials::Save(file, QStringLiteral("alice"), digest::MD5(QStringLiteral("secret")));
        QVERIFY(QFileInfo::exists(file));
        const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-3);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(past, QFileDevice::FileModificationTime));
        }
        TypeAndLogIn("alice", "secret");
        QTRY_COMPARE(script->Arrivals("useraccount").size(), 1);

        QTRY_VERIFY_WITH_TIMEOUT(script->Arrivals("useraccount").size() >= 4, 15000);
        const QList<qint64> at = script->Arrivals("useraccount");
        qInfo("re-logins after the first request: %lld, %lld, %lld ms", at[1] - at[0], at[2] - at[0], at[3] - at[0]);
        QVERIFY2(at[1] - at[0] >= 900, qPrintable(QString::number(at[1] - at[0])));
        QVERIFY2(at[2] - at[1] >= 1900, qPrintable(QString::number(at[2] - at[1])));
        QVERIFY2(at[3] - at[2] >= 3900, qPrintable(QString::number(at[3] - at[2])));
        QTRY_COMPARE(PanelText(Get<TFormLogin>("login")), QStringLiteral("Try again later"));
        QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch(),
                 past.toSecsSinceEpoch());
        QCOMPARE(credentials::Open(file).login.value_or(QString()), QStringLiteral("alice"));

        // A real answer ends the streak; the next "T" waits a second again.
        QCOMPARE(TFormLogin::ReloginDelayMs(0), 1000);
        QCOMPARE(TFormLogin::ReloginDelayMs(5), 32000);
        QCOMPARE(TFormLogin::ReloginDelayMs(6), 60000);
        QCOMPARE(TFormLogin::ReloginDelayMs(40), 60000);
    }

    // The guest's numbers cannot be recovered from the time of the click.
    void guestPasswordIsNotClockSeeded()
    {
        Start();
        script->Set("tg_new_user", Json(AccountReply()));
        Get<TFormLogin>("login")->show();
        QTRY_COMPARE(State().ServerLoadPercent, 100);

        using Clock = std::chrono::high_resolution_clock;
        const auto t0 = Clock::now().time_since_epoch().count();
        Get<TFormLogin>("login")->BtnGuestClick();
        const auto t1 = Clock::now().time_since_epoch().count();
        QTRY_COMPARE(WithAction(*fake, "tg_new_user").size(), 1);
        const RecordedRequest r = WithAction(*fake, "tg_new_user").first();
        const quint32 login = r.field("s").mid(5).toUInt();
        const QString pass = r.field("pass");

        // Every generator a clock reading of the click's first 2 ms could have
        // seeded (the numbers are drawn first thing in the click).
        const auto last = std::min(t1, t0 + 2'000'000);
        std::uniform_int_distribution<quint32> draw(0, 999999999);
        for (auto seed = t0; seed <= last; ++seed) {
            std::mt19937 g(static_cast<std::mt19937::result_type>(seed));
            if (draw(g) != login) continue;
            // The digest of the password field's text, which is what goes out as pass.
            const QString guessed = digest::MD5(QStringLiteral("pass") + digest::MD5(QString::number(draw(g))));
            QVERIFY2(guessed != pass, "the guest password follows from the clock");
        }
    }

    // An amount that is not a number is reported as such, not as a missing member later.
    void brokenAmountIsReportedAsItself()
    {
        Start();
        QJsonObject account = AccountReply();
        account["wall_doge"] = QJsonValue(QJsonValue::Null);
        script->Set("useraccount", Json(account));
        Get<TFormLogin>("login")->show();
        QTRY_COMPARE(State().ServerLoadPercent, 100);
        TypeAndLogIn("alice", "secret");
        QTRY_VERIFY(PanelText(Get<TFormLogin>("login")).startsWith("Error ParseJsonUserAcc: "));
        QTest::qWait(200);
        const QString shown = QApplication::activeWindow() ? PanelText(QApplication::activeWindow()) : QString();
        QVERIFY2(shown.contains("\"wall_doge\"") && shown.contains("not an amount"), qPrintable(shown));
        QVERIFY2(!shown.contains("not found"), qPrintable(shown));
    }

    // A full-name list shorter than the codes is a failure with a message.
    void shortFullNameListIsReported()
    {
        Start();
        QJsonObject settings = SettingsReply();
        QJsonArray names = settings["arr_fullname_coin"].toArray();
        names.removeLast();
        settings["arr_fullname_coin"] = names;
        script->Set("all_json_setting", Json(settings));
        Get<TFormLogin>("login")->show();
        QTRY_VERIFY(PanelShown(Get<TFormLogin>("login")));
        QTRY_COMPARE(PanelText(Get<TFormLogin>("login")),
                 QStringLiteral("Error Client_c_coin_nameRequest: JSON member \"arr_fullname_coin\" has 14 names for "
                                "15 coins"));
        QCOMPARE(State().ServerLoadPercent, 0);
    }
};

AMBERVALE_GUI_TEST_MAIN(SecurityTest)
#include "tst_security.moc"
