#pragma once
// Shared set-up for tests that drive the real screens headless.
#include "AccountModel.h"
#include "AppState.h"
#include "FakeService.h"
#include "Login.h"
#include "Screens.h"
#include "common/ClickableLabel.h"
#include "common/FrameAnimation.h"
#include "common/MessagePanel.h"
#include "dashboard.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMutex>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace support {

// The screen the navigator holds under that name ("login", "dashboard", ...),
// or null while there is none.
template <class T>
T* Get(const QString& name)
{
    return static_cast<T*>(ScreenNamed(name));
}

// A private HOME (and so documents folder) for the whole test process: the
// credentials file of the machine is never touched.
inline void PrepareProcess()
{
    static QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_DOCUMENTS_DIR", (home.path() + "/Documents").toUtf8());
}

inline const QStringList& Catalogue()
{
    static const QStringList codes{"btc",  "ltc", "bnb", "eth",  "doge", "trx", "usdt", "bch",
                                   "dash", "xmr", "etc", "shib", "zec",  "sol", "matic"};
    return codes;
}

inline QString FullName(const QString& code)
{
    return QStringLiteral("Coin %1").arg(code.toUpper());
}

// A settings reply for the given catalogue with every per-coin entry.
inline QJsonObject SettingsReply(const QStringList& codes = Catalogue())
{
    QJsonArray names, fullNames;
    QJsonObject limits{{"perc_withdraw", "3"}, {"bonus_deposit", "3"}};
    for (const QString& c : codes) {
        names.append(c);
        fullNames.append(FullName(c));
        limits.insert(c, "0.0005");
        limits.insert("APR_" + c, "12");
        limits.insert("Mindep_" + c, "0.0005");
    }
    return {{"min_withdraw_coin", limits}, {"arr_name_coin", names}, {"arr_fullname_coin", fullNames}};
}

// An account reply with the five amounts of every coin set to amount.
inline QJsonObject AccountReply(const QString& amount = "0.5", const QStringList& codes = Catalogue())
{
    QJsonObject o{{"refcode", "R1"}, {"refcol", "0"}};
    for (const QString& c : codes) {
        for (const char* p : {"wall_", "inv_", "dep_val_", "earned_inv_", "earned_ref_"}) o.insert(p + c, amount);
        o.insert("rental_days_" + c, "30");
    }
    return o;
}

inline QByteArray Json(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

inline ScriptedReply Reply(const QByteArray& body)
{
    ScriptedReply r;
    r.body = body;
    return r;
}

// Fresh screens and state talking to the fake service over plain HTTP.
inline void FreshScreens(const FakeService* fake)
{
    DestroyScreens();
    ResetState();
    QFile::remove(QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath("jsini.iz"));
    CreateScreens();
    if (fake) {
        State().ServerScheme = QStringLiteral("http");
        State().ServerAddress = QStringLiteral("://") + fake->hostPort() + QStringLiteral("/");
    }
}

// A loopback port where nothing listens: every request to it fails at once.
inline quint16 ClosedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

template <class T = QWidget>
T* Child(QWidget* screen, const QString& name)
{
    T* w = screen->findChild<T*>(name);
    if (!w)
        qFatal("no %s named %s on %s", T::staticMetaObject.className(), qPrintable(name),
               qPrintable(screen->objectName()));
    return w;
}

inline bool PanelShown(QWidget* screen)
{
    return !Child(screen, "PanelErrorMessage")->isHidden();
}

inline QString PanelText(QWidget* screen)
{
    return Child<QLabel>(screen, "message_label")->text();
}

inline void Activate(QWidget* screen)
{
    screen->show();
    screen->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), screen);
}

// Every coin row's value label (prefix + code) of screen's list is on view and
// wide enough for the whole of its text: a figure drawn 0 wide shows nothing.
inline bool RowValuesDrawnWhole(QWidget* screen, const QString& prefix, QString* why)
{
    for (const QString& code : Catalogue()) {
        auto* label = Child<QLabel>(screen, prefix + code);
        const int need = label->fontMetrics().horizontalAdvance(label->text());
        if (label->text().isEmpty() || !label->isVisible() || label->width() < need) {
            *why = QStringLiteral("%1 is %2 px wide for \"%3\" (%4 px), %5")
                       .arg(label->objectName())
                       .arg(label->width())
                       .arg(label->text())
                       .arg(need)
                       .arg(label->isVisible() ? "visible" : "hidden");
            return false;
        }
    }
    return true;
}

// Base of every screen test: a fresh fake service and fresh screens talking to
// it for each case, torn down after it. Derived classes add private slots as
// test cases and may script the service in Script().
class ScreenTest : public QObject {
    Q_OBJECT
protected:
    std::unique_ptr<FakeService> fake;
    QJsonObject m_settingsReply = SettingsReply(); // the last one LogIn or ChangeLimits applied

    // Runs before the screens are created in every case; the fake answers
    // every request with an account reply until scripted otherwise.
    virtual void Script() {}
    // Runs once the fresh screens exist.
    virtual void Ready() {}

    // The state the login flow leaves behind, without the network.
    void LogIn(const QJsonObject& settingsReply = SettingsReply(), const QJsonObject& account = AccountReply())
    {
        m_settingsReply = settingsReply;
        Account().ApplySettings(settingsReply);
        AppState& st = State();
        st.ServerLoadPercent = 100;
        st.UserLogin = QStringLiteral("user@example.com");
        st.PassHash = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");
        st.LoggedIn = true;
        Get<TFormLogin>("login")->ParseJsonUserAcc(account);
    }

    // The service changes its per-coin limits (as a later settings reply
    // brings them): edit receives the last reply's "min_withdraw_coin".
    template <typename Edit>
    void ChangeLimits(Edit edit)
    {
        QJsonObject limits = m_settingsReply["min_withdraw_coin"].toObject();
        edit(limits);
        m_settingsReply["min_withdraw_coin"] = limits;
        Account().ApplySettings(m_settingsReply);
    }

    // A new account reply taken as an accepted refresh brings it.
    void TakeAccount(const QJsonObject& account) { Get<TFormLogin>("login")->ParseJsonUserAcc(account); }

    // Clicks the coin's row on the dashboard, as the user does.
    void SelectCoin(const QString& code)
    {
        auto* list = Child<QListWidget>(Get<TFormDashboard>("dashboard"), "ListBox1");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == code.toUpper()) {
                list->setCurrentRow(i);
                const QRect r = list->visualItemRect(list->item(i));
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
                return;
            }
        QFAIL("coin not in the list");
    }

    // The requests the fake recorded whose action field is action.
    QList<RecordedRequest> Requests(const QString& action) const
    {
        QList<RecordedRequest> found;
        for (const RecordedRequest& r : fake->requests())
            if (r.field(QStringLiteral("a")) == action) found << r;
        return found;
    }

    // A left click on the named control of screen: a button, a clickable label or frame.
    static void Click(QWidget* screen, const QString& name)
    {
        QWidget* w = Child(screen, name);
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            button->click();
        else
            QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
    }

    // Replaces the text of the named edit with text, typed key by key.
    static void Type(QWidget* screen, const QString& name, const QString& text)
    {
        auto* edit = Child<QLineEdit>(screen, name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    static QWidget* ActiveModal() { return QApplication::activeModalWidget(); }

    // Presses the button of the modal message box that is open now; false when none is.
    static bool PressModalButton(QMessageBox::StandardButton which)
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->button(which)) return false;
        box->button(which)->click();
        return true;
    }

private slots:
    void init()
    {
        fake = std::make_unique<FakeService>();
        fake->setDefaultReply(Reply(Json(AccountReply())));
        // A new account snapshot brings its own look at the prices and the
        // history whenever it lands: those must not take a reply a case
        // queued for the action it drives. Script() may clear them.
        fake->setActionReply(QStringLiteral("prices"),
                             Reply(R"({"usd":{"btc":"60000.00","eth":"3000.00"},"time":"2026-12-11 10:00:00"})"));
        fake->setActionReply(QStringLiteral("history"), Reply(R"({"items":[],"next":null})"));
        Script();
        FreshScreens(fake.get());
        Ready();
    }
    void cleanup()
    {
        DestroyScreens();
        fake.reset();
    }
};

} // namespace support

#define AMBERVALE_GUI_TEST_MAIN(TestClass)                                                                             \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        support::PrepareProcess();                                                                                     \
        QApplication app(argc, argv);                                                                                  \
        app.setQuitOnLastWindowClosed(false);                                                                          \
        TestClass tc;                                                                                                  \
        const int rc = QTest::qExec(&tc, argc, argv);                                                                  \
        DestroyScreens();                                                                                              \
        return rc;                                                                                                     \
    }
