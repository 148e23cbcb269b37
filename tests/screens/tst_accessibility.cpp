// Every screen for a screen-reader and keyboard user: every control has a name,
// Tab goes from top to bottom, Enter and Escape answer the panels, and the way
// from logging in to copying a deposit address needs no mouse.
#include "ScreenTestSupport.h"

#include "Lotto.h"
#include "common/FocusRing.h"
#include "common/WebView.h"
#include "dashboard.h"
#include "deposit.h"
#include "free_coin.h"
#include "info.h"
#include "invest.h"
#include "refferal.h"
#include "settings.h"
#include "swapcoin.h"
#include "withdraw.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QTableView>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

using namespace support;

namespace {
const QString Address = QStringLiteral("0x52908400098527886e0f7030069857d2e4169ee7");

QString AccessibleName(QObject* object)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(QAccessible::Name).trimmed() : QString();
}

bool InsideWebView(const QWidget* w)
{
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const WebView*>(p)) return true;
    return false;
}

bool InsideComboBox(const QWidget* w)
{
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QComboBox*>(p)) return true;
    return false;
}

// Something the user can act on: it takes the keyboard focus or reacts to a click.
bool IsControl(QWidget* w)
{
    if (qobject_cast<FocusRing*>(w)) return false;
    if (qobject_cast<ClickableLabel*>(w) || qobject_cast<ClickableFrame*>(w) || qobject_cast<QAbstractButton*>(w) ||
        qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w) ||
        qobject_cast<QTabBar*>(w) || qobject_cast<WebView*>(w))
        return true;
    return w->focusPolicy() & Qt::TabFocus;
}

QString Describe(QWidget* w)
{
    return QStringLiteral("%1 (%2)").arg(w->objectName(), QString::fromLatin1(w->metaObject()->className()));
}

// The controls of a screen, shown or not, that a screen reader has no name for;
// the rows of its lists count as controls too.
QStringList Unnamed(QWidget* screen)
{
    QStringList missing;
    const auto widgets = screen->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        // A page's content speaks for itself; a combo box's popup is read through the box.
        if (InsideWebView(w) || InsideComboBox(w) || !IsControl(w)) continue;
        if (AccessibleName(w).isEmpty()) missing << Describe(w);
        // A table's headings are read through the table's own heading cells,
        // which carry the column names; the header widgets only draw them.
        if (qobject_cast<QHeaderView*>(w)) continue;
        if (auto* list = qobject_cast<QAbstractItemView*>(w)) {
            auto* table = qobject_cast<QTableView*>(list);
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(list);
            for (int i = 0; face && i < face->childCount(); ++i) {
                QAccessibleInterface* row = face->child(i);
                // Without row headings the corner cell is neither drawn nor reached.
                if (row && table && !table->verticalHeader()->isVisible() && row->role() == QAccessible::Pane) continue;
                if (row && row->text(QAccessible::Name).trimmed().isEmpty())
                    missing << QStringLiteral("%1 row %2").arg(Describe(w)).arg(i);
            }
        }
    }
    return missing;
}

QRect InWindow(const QWidget* w)
{
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}

// Whether a Tab walk over these controls reads the screen from top to bottom:
// down the column, left to right along a row, and back up only into a column
// to the right of the one before, never to the left of it again.
QString ReadingOrderFault(const QList<QWidget*>& walk)
{
    constexpr int Slack = 6;
    int columnLeft = std::numeric_limits<int>::min();
    for (qsizetype i = 1; i < walk.size(); ++i) {
        const QRect a = InWindow(walk[i - 1]), b = InWindow(walk[i]);
        bool fine;
        if (std::abs(a.center().y() - b.center().y()) <= Slack)
            fine = b.left() > a.left();
        else if (b.center().y() > a.center().y())
            fine = true;
        else {
            fine = b.left() >= a.right() - Slack;
            if (fine) columnLeft = b.left();
        }
        if (b.right() < columnLeft) fine = false;
        if (!fine)
            return QStringLiteral("%1 at (%2,%3) follows %4 at (%5,%6)")
                .arg(Describe(walk[i]))
                .arg(b.x())
                .arg(b.y())
                .arg(Describe(walk[i - 1]))
                .arg(a.x())
                .arg(a.y());
    }
    return {};
}

QWidget* Focused()
{
    return QApplication::focusWidget();
}

// One key, sent where the keyboard's keys go now.
void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget* target = Focused() ? Focused() : QApplication::activeWindow();
    QVERIFY2(target, "no window takes keys");
    QTest::keyClick(target, key, modifiers);
}

// The controls Tab visits from the focused one until it comes back to it.
QList<QWidget*> TabCycle()
{
    QList<QWidget*> walk;
    QWidget* start = Focused();
    if (!start) return walk;
    walk << start;
    for (int i = 0; i < 60; ++i) {
        Key(Qt::Key_Tab);
        QWidget* now = Focused();
        if (!now || now == start) break;
        walk << now;
    }
    return walk;
}

// Why a Tab cycle does not read the screen from top to bottom, whichever of
// its controls the reading starts at; empty when it does.
QString CycleFault(const QList<QWidget*>& cycle)
{
    QString first;
    for (qsizetype start = 0; start < cycle.size(); ++start) {
        const QString fault = ReadingOrderFault(cycle.mid(start) + cycle.mid(0, start));
        if (fault.isEmpty()) return {};
        if (first.isEmpty()) first = fault;
    }
    return first;
}

QStringList Names(const QList<QWidget*>& widgets)
{
    QStringList names;
    for (QWidget* w : widgets) names << w->objectName();
    return names;
}
} // namespace

class AccessibilityTest : public ScreenTest {
    Q_OBJECT

    QMutex m_lock;
    QByteArray m_amount = "0.5";

    void Script() override
    {
        {
            QMutexLocker lock(&m_lock);
            m_amount = "0.5";
        }
        fake->setHandler([this](const RecordedRequest& r) {
            QMutexLocker lock(&m_lock);
            ScriptedReply reply;
            const QString action = r.field(QStringLiteral("a"));
            if (r.pathWithoutQuery().startsWith("/lotto/"))
                reply.body = "[]";
            else if (action == QLatin1String("all_json_setting"))
                reply.body = Json(SettingsReply());
            else if (action == QLatin1String("useraccount") || action == QLatin1String("tg_new_user"))
                reply.body = Json(AccountReply(QString::fromLatin1(m_amount)));
            else if (action == QLatin1String("get_deposit_address"))
                reply.body = Address.toUtf8();
            else
                reply.body = "Done";
            return reply;
        });
    }

    void SetAmount(const QByteArray& amount)
    {
        QMutexLocker lock(&m_lock);
        m_amount = amount;
    }

    // The login screen as the program shows it at start, its settings loaded.
    void StartAtLogin()
    {
        Get<TFormLogin>("login")->show();
        Activate(Get<TFormLogin>("login"));
        QTRY_COMPARE_WITH_TIMEOUT(State().ServerLoadPercent, 100, 20000);
    }

    // Logs in through the login screen against the fake service.
    void LogInThroughService()
    {
        StartAtLogin();
        Type(Get<TFormLogin>("login"), "LoginEdit", "user@example.com");
        Type(Get<TFormLogin>("login"), "PassEdit", "secret");
        Click(Get<TFormLogin>("login"), "BtnLogin");
        QTRY_VERIFY_WITH_TIMEOUT(Get<TFormDashboard>("dashboard")->isVisible(), 20000);
        Activate(Get<TFormDashboard>("dashboard"));
    }

    static void ShowOnly(QWidget* screen)
    {
        for (QWidget* w : AllScreens())
            if (w != screen) w->hide();
        Activate(screen);
    }

    // Every panel and field a screen can show, so that their controls are on view too.
    static void RevealEverything()
    {
        for (const char* name : {"RePassEdit", "InvCode", "CheckBox1", "Text1", "PanelPrivacyPolicy"})
            Child(Get<TFormLogin>("login"), name)->show();
        Child(Get<TFormDashboard>("dashboard"), "get_network_deposit")->show();
        Child(Get<TFormDashboard>("dashboard"), "o_right_panel")->show();
        Child(Get<TFormInvest>("invest"), "panel_confirm_pass")->show();
        Child(Get<TFormWithdraw>("withdraw"), "panel_confirm_pass")->show();
        Child(Get<TFormFaucet>("faucet"), "panel_captha")->show();
        for (QWidget* screen : AllScreens()) qobject_cast<Screen*>(screen)->ShowMessage(QStringLiteral("A message"));
    }

    // The row of a coin list for code, as a screen reader reads it.
    static QString RowName(QWidget* screen, const QString& code)
    {
        auto* list = Child<QListWidget>(screen, "ListBox1");
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(list);
        for (int i = 0; face && i < face->childCount(); ++i) {
            const QString name = face->child(i)->text(QAccessible::Name);
            if (name.startsWith(code.toUpper() + QLatin1Char(':'))) return name;
        }
        return {};
    }

    // Presses Tab until the named control has the focus.
    static void TabTo(const QString& name)
    {
        for (int i = 0; i < 60 && !(Focused() && Focused()->objectName() == name); ++i) Key(Qt::Key_Tab);
        QVERIFY2(Focused() && Focused()->objectName() == name,
                 qPrintable(QStringLiteral("Tab never reaches %1").arg(name)));
    }

private slots:
    // Every control of the twelve screens, its hidden panels and fields
    // included, and every row of their lists, has a name a screen reader can say.
    void everyControlHasAName()
    {
        LogInThroughService();
        QStringList upper;
        for (const QString& c : Catalogue()) upper << c.toUpper();
        Get<TFormLotto>("lottery")->FillCoinList(upper);
        const QList<QWidget*> screens = AllScreens();
        QCOMPARE(screens.size(), 12);
        for (QWidget* screen : screens) {
            ShowOnly(screen);
            RevealEverything();
            const QStringList missing = Unnamed(screen);
            QVERIFY2(missing.isEmpty(), qPrintable(screen->objectName() + QStringLiteral(": no accessible name for ") +
                                                   missing.join(QStringLiteral(", "))));
        }
    }

    // The coin lists say each coin with its figure, and say the new figure
    // after an account refresh brings one.
    void coinRowsSayCoinAndBalance()
    {
        LogInThroughService();
        QCOMPARE(RowName(Get<TFormDashboard>("dashboard"), "btc"), QStringLiteral("BTC: balance 0,50000000"));
        QCOMPARE(RowName(Get<TFormDashboard>("dashboard"), "matic"), QStringLiteral("MATIC: balance 0,50000000"));
        SetAmount("7.25");
        Get<TFormDashboard>("dashboard")->TimeCheckBalanceTimer();
        QTRY_COMPARE_WITH_TIMEOUT(RowName(Get<TFormDashboard>("dashboard"), "btc"), QStringLiteral("BTC: balance 7,25000000"), 20000);

        ShowOnly(Get<TFormRefferal>("referral"));
        QCOMPARE(RowName(Get<TFormRefferal>("referral"), "doge"), QStringLiteral("DOGE: earned on referrals 7,25000000"));
        Get<TFormInfo>("info")->SelectTab(QStringLiteral("TabStatistic"));
        ShowOnly(Get<TFormInfo>("info"));
        QCOMPARE(RowName(Get<TFormInfo>("info"), "eth"), QStringLiteral("ETH: earned on investments 7,25000000"));
    }

    // The dashboard's figures have room for their text: a label drawn 0 wide
    // says nothing to anyone who reads the screen.
    void dashboardFiguresAreDrawnWhole()
    {
        LogInThroughService();
        SelectCoin("btc");
        for (const char* name :
             {"fullname_coin", "lab_wall_coin", "lab_inv_coin", "lab_APR_coin", "lab_rental_coin", "lab_dohod_coin"}) {
            auto* label = Child<QLabel>(Get<TFormDashboard>("dashboard"), name);
            QVERIFY2(!label->text().isEmpty(), name);
            QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(label->text()),
                     qPrintable(QStringLiteral("%1 is %2 px wide for \"%3\"")
                                    .arg(QLatin1String(name))
                                    .arg(label->width())
                                    .arg(label->text())));
        }
    }

    // Tab visits every control on view of each screen, top to bottom, and
    // Shift+Tab goes the same way back; the dashboard's navigation images are
    // among the stops.
    void tabGoesFromTopToBottom()
    {
        LogInThroughService();
        Get<TFormInfo>("info")->SelectTab(QStringLiteral("TabStatistic"));
        for (QWidget* screen : AllScreens()) {
            ShowOnly(screen);
            const QList<QWidget*> cycle = TabCycle();
            QVERIFY2(!cycle.isEmpty(), qPrintable(screen->objectName() + QStringLiteral(": nothing takes the focus")));
            const QString fault = CycleFault(cycle);
            QVERIFY2(fault.isEmpty(), qPrintable(screen->objectName() + QStringLiteral(": ") + fault + " in " +
                                                 Names(cycle).join(QStringLiteral(", "))));
            // Nothing the user can act on is left out.
            const auto widgets = screen->findChildren<QWidget*>();
            for (QWidget* w : widgets) {
                // Pages in web views (adverts, the guide) are left to the mouse and the engine's own reader.
                if (!w->isVisible() || !w->isEnabled() || qobject_cast<WebView*>(w) || InsideWebView(w) ||
                    InsideComboBox(w) || !IsControl(w))
                    continue;
                if (w->focusPolicy() == Qt::NoFocus && qobject_cast<ClickableFrame*>(w->parentWidget())) continue;
                const bool reached =
                    cycle.contains(w) || (w->focusProxy() && cycle.contains(w->focusProxy())) ||
                    (qobject_cast<QAbstractScrollArea*>(w->parentWidget()) && cycle.contains(w->parentWidget()));
                QVERIFY2(reached,
                         qPrintable(screen->objectName() + QStringLiteral(": Tab never reaches ") + Describe(w) +
                                    QStringLiteral(" in ") + Names(cycle).join(QStringLiteral(", "))));
            }
            // Backwards, the same stops in the opposite order.
            QWidget* start = Focused();
            QList<QWidget*> back{start};
            for (int i = 0; i < 60; ++i) {
                Key(Qt::Key_Backtab, Qt::ShiftModifier);
                if (Focused() == start) break;
                back.prepend(Focused());
            }
            back.prepend(back.takeLast());
            QCOMPARE(Names(back), Names(cycle));
        }
        QVERIFY(Names(TabCycleOn(Get<TFormDashboard>("dashboard")))
                    .join(' ')
                    .contains(QStringLiteral("Image4 freecoin_btn Image3 swap_btn ref_btn setting_btn")));
    }

    // A panel over the screen keeps Tab inside it, from top to bottom.
    void tabStaysInsideAnOpenPanel_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::newRow("invest confirmation") << "invest";
        QTest::newRow("withdraw confirmation") << "withdraw";
        QTest::newRow("faucet question") << "faucet";
        QTest::newRow("deposit network") << "network";
        QTest::newRow("privacy policy") << "privacy";
    }
    void tabStaysInsideAnOpenPanel()
    {
        QFETCH(QString, panel);
        QWidget* opened = OpenPanel(panel);
        QVERIFY(opened);
        QVERIFY2(opened->isAncestorOf(Focused()), "the focus did not move into the panel");
        const QList<QWidget*> cycle = TabCycle();
        QVERIFY(cycle.size() >= 2);
        for (QWidget* w : cycle)
            QVERIFY2(opened->isAncestorOf(w), qPrintable(Describe(w) + QStringLiteral(" is outside the panel")));
        const QString fault = CycleFault(cycle);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // Escape closes the message panel and every panel over a screen without
    // doing anything else; Enter closes the message and confirms the panels.
    void enterAndEscapeAnswerThePanels_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("sentAction"); // the request the key sends, or empty

        QTest::newRow("message, Escape") << "message" << int(Qt::Key_Escape) << "";
        QTest::newRow("message, Enter") << "message" << int(Qt::Key_Return) << "";
        QTest::newRow("message over a panel, Escape") << "message over invest" << int(Qt::Key_Escape) << "";
        QTest::newRow("invest confirmation, Escape") << "invest" << int(Qt::Key_Escape) << "";
        QTest::newRow("invest confirmation, Enter") << "invest" << int(Qt::Key_Return) << "invest_coin";
        QTest::newRow("invest confirmation, keypad Enter") << "invest" << int(Qt::Key_Enter) << "invest_coin";
        QTest::newRow("withdraw confirmation, Escape") << "withdraw" << int(Qt::Key_Escape) << "";
        QTest::newRow("withdraw confirmation, Enter") << "withdraw" << int(Qt::Key_Return) << "withdraw";
        QTest::newRow("faucet question, Escape") << "faucet" << int(Qt::Key_Escape) << "";
        QTest::newRow("faucet question, Enter") << "faucet" << int(Qt::Key_Return) << "free_coin";
        QTest::newRow("deposit network, Escape") << "network" << int(Qt::Key_Escape) << "";
        QTest::newRow("privacy policy, Escape") << "privacy" << int(Qt::Key_Escape) << "";
        QTest::newRow("privacy policy, Enter") << "privacy" << int(Qt::Key_Return) << "";
    }
    void enterAndEscapeAnswerThePanels()
    {
        QFETCH(QString, panel);
        QFETCH(int, key);
        QFETCH(QString, sentAction);

        QWidget* opened = nullptr;
        QWidget* under = nullptr; // a panel that must outlive the message over it
        if (panel.startsWith(QLatin1String("message"))) {
            if (panel == QLatin1String("message over invest")) {
                under = OpenPanel(QStringLiteral("invest"));
                QVERIFY(under);
            } else {
                LogIn();
                Activate(Get<TFormDashboard>("dashboard"));
                Child(Get<TFormDashboard>("dashboard"), "SearchBox1")->setFocus();
            }
            ::ShowMessage(QStringLiteral("Something to read"));
            opened = Child(QApplication::activeWindow(), "PanelErrorMessage");
        } else {
            opened = OpenPanel(panel);
        }
        QVERIFY(opened && opened->isVisible());
        QWidget* screen = opened->window();
        const qsizetype before = fake->requests().size();
        const QStringList actionsBefore = Actions();

        Key(Qt::Key(key));

        QTRY_VERIFY(opened->isHidden());
        if (under) QVERIFY2(under->isVisible(), "Escape closed the panel under the message too");
        if (sentAction.isEmpty()) {
            QTest::qWait(50); // a request would have been posted synchronously; give a stray one a moment
            QCOMPARE(Actions(), actionsBefore);
        } else {
            QTRY_VERIFY(Actions().size() > actionsBefore.size());
            QCOMPARE(Actions().mid(actionsBefore.size()).first(), sentAction);
            RecordedRequest sent = fake->requests().at(before);
            for (qsizetype i = before; i < fake->requests().size() && FromSnapshot(sent); ++i) sent = fake->requests().at(i);
            if (sent.hasField(QStringLiteral("pass")) && panel != QLatin1String("faucet"))
                QCOMPARE(sent.field(QStringLiteral("pass")), Get<TFormLogin>("login")->MD5(QStringLiteral("secret")));
        }
        // The keyboard goes back to the screen, not nowhere.
        QVERIFY(Focused());
        QCOMPARE(Focused()->window(), screen);
        QVERIFY(!opened->isAncestorOf(Focused()));
    }

    // The whole way by keyboard: log in, ask for a deposit address, copy it and
    // go back to the dashboard, with Tab, Enter, Space and Escape only.
    void keyboardOnlyDeposit()
    {
        StartAtLogin();
        TabTo(QStringLiteral("LoginEdit"));
        QTest::keyClicks(Focused(), QStringLiteral("user@example.com"));
        TabTo(QStringLiteral("PassEdit"));
        QTest::keyClicks(Focused(), QStringLiteral("secret"));
        TabTo(QStringLiteral("BtnLogin"));
        QVERIFY(FocusRing::ShownAround(Focused())); // the keyboard user sees where the focus is
        Key(Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(Get<TFormDashboard>("dashboard")->isVisible(), 20000);
        QTRY_COMPARE(QApplication::activeWindow(), Get<TFormDashboard>("dashboard"));
        QCOMPARE(Requests("useraccount").last().field("s"), QStringLiteral("user@example.com"));

        // The coin is chosen in the list with the arrow keys and Space.
        TabTo(QStringLiteral("ListBox1"));
        auto* list = Child<QListWidget>(Get<TFormDashboard>("dashboard"), "ListBox1");
        while (list->currentItem()->text() != QLatin1String("BTC")) Key(Qt::Key_Up);
        Key(Qt::Key_Space);
        QCOMPARE(Account().CurrentCoin(), QStringLiteral("btc"));

        TabTo(QStringLiteral("ButtonDeposit"));
        Key(Qt::Key_Return);
        QTRY_VERIFY(Get<TFormDeposit>("deposit")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), Get<TFormDeposit>("deposit"));
        auto* address = Child<QLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address");
        QTRY_COMPARE_WITH_TIMEOUT(address->text(), Address, 20000);
        QCOMPARE(AccessibleName(address), QStringLiteral("Deposit address ") + Address);

        QGuiApplication::clipboard()->clear();
        TabTo(QStringLiteral("lab_dep_address"));
        Key(Qt::Key_Space);
        QCOMPARE(QGuiApplication::clipboard()->text(), address->text());
        QVERIFY(PanelShown(Get<TFormDeposit>("deposit")));
        Key(Qt::Key_Escape);
        QVERIFY(!PanelShown(Get<TFormDeposit>("deposit")));

        TabTo(QStringLiteral("btn_back"));
        Key(Qt::Key_Return);
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormDeposit>("deposit")->isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), Get<TFormDashboard>("dashboard"));

        // The navigation strip's images open their screens from the keyboard too.
        TabTo(QStringLiteral("Image4"));
        Key(Qt::Key_Space);
        QTRY_VERIFY(Get<TFormLotto>("lottery")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
    }

    // A mouse user sees no focus mark: clicking hides it, and a click gives
    // the clickable images no focus.
    void focusMarkOnlyForTheKeyboard()
    {
        // The screens open with the focus where it always was: the first field, not an image.
        StartAtLogin();
        QCOMPARE(Focused(), Child(Get<TFormLogin>("login"), "LoginEdit"));
        LogInThroughService();
        TabTo(QStringLiteral("Image4"));
        QVERIFY(FocusRing::ShownAround(Focused()));
        auto* search = Child(Get<TFormDashboard>("dashboard"), "SearchBox1");
        QTest::mouseClick(search, Qt::LeftButton, {}, search->rect().center());
        QCOMPARE(Focused(), search);
        QVERIFY(!FocusRing::ShownAround(search));
        auto* hide = Child(Get<TFormDashboard>("dashboard"), "c_right_panel");
        QTest::mouseClick(hide, Qt::LeftButton, {}, hide->rect().center());
        QCOMPARE(Focused(), search); // the strip closed, the focus stayed where it was
        QVERIFY(!FocusRing::ShownAround(Focused()));

        // A confirmation opened with the mouse takes the typing into its password
        // field, still without a focus mark.
        SelectCoin("btc");
        Click(Get<TFormDashboard>("dashboard"), "Button1");
        Activate(Get<TFormInvest>("invest"));
        QCOMPARE(Focused(), Child(Get<TFormInvest>("invest"), "val_invest_coin"));
        auto* invest = Child(Get<TFormInvest>("invest"), "Button1");
        QTest::mouseClick(invest, Qt::LeftButton, {}, invest->rect().center());
        QVERIFY(Child(Get<TFormInvest>("invest"), "panel_confirm_pass")->isVisible());
        QCOMPARE(Focused(), Child(Get<TFormInvest>("invest"), "conf_pass"));
        QVERIFY(!FocusRing::ShownAround(Focused()));
    }

private:
    QList<QWidget*> TabCycleOn(QWidget* screen)
    {
        ShowOnly(screen);
        return TabCycle();
    }

    // A new account snapshot brings its own look at the prices and the history, whenever it comes: not a key's doing.
    static bool FromSnapshot(const RecordedRequest& r)
    {
        return r.field(QStringLiteral("a")) == QLatin1String("prices") ||
               r.field(QStringLiteral("a")) == QLatin1String("history");
    }

    QStringList Actions() const
    {
        QStringList actions;
        for (const RecordedRequest& r : fake->requests())
            if (r.hasField(QStringLiteral("a")) && !FromSnapshot(r)) actions << r.field(QStringLiteral("a"));
        return actions;
    }

    // Presses the named control of the active screen with the keyboard.
    static void PressByKeyboard(QWidget* screen, const QString& name, Qt::Key key = Qt::Key_Return)
    {
        Activate(screen);
        Child(screen, name)->setFocus(Qt::TabFocusReason);
        Key(key);
    }

    // Opens the named panel as a keyboard user does and returns it, the
    // password or answer typed in where it asks for one.
    QWidget* OpenPanel(const QString& which)
    {
        if (which == QLatin1String("privacy")) {
            StartAtLogin();
            PressByKeyboard(Get<TFormLogin>("login"), "BtnReg"); // shows the registration fields with the link
            PressByKeyboard(Get<TFormLogin>("login"), "Text1", Qt::Key_Space);
            return Child(Get<TFormLogin>("login"), "PanelPrivacyPolicy");
        }
        LogIn();
        Activate(Get<TFormDashboard>("dashboard"));
        if (which == QLatin1String("network")) {
            SelectCoin("usdt");
            PressByKeyboard(Get<TFormDashboard>("dashboard"), "ButtonDeposit");
            return Child(Get<TFormDashboard>("dashboard"), "get_network_deposit");
        }
        if (which == QLatin1String("invest")) {
            SelectCoin("btc");
            Click(Get<TFormDashboard>("dashboard"), "Button1");
            PressByKeyboard(Get<TFormInvest>("invest"), "Button1");
            QTest::keyClicks(Focused(), QStringLiteral("secret"));
            return Child(Get<TFormInvest>("invest"), "panel_confirm_pass");
        }
        if (which == QLatin1String("withdraw")) {
            SelectCoin("btc");
            Click(Get<TFormDashboard>("dashboard"), "ButtonWithdraw");
            Activate(Get<TFormWithdraw>("withdraw"));
            Type(Get<TFormWithdraw>("withdraw"), "Edit1", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq");
            Type(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin", "0.25");
            // Clearing the amount to type it reported the empty amount; read and closed.
            if (PanelShown(Get<TFormWithdraw>("withdraw"))) Click(Get<TFormWithdraw>("withdraw"), "Button2");
            PressByKeyboard(Get<TFormWithdraw>("withdraw"), "Button1");
            QTest::keyClicks(Focused(), QStringLiteral("secret"));
            return Child(Get<TFormWithdraw>("withdraw"), "panel_confirm_pass");
        }
        if (which == QLatin1String("faucet")) {
            Click(Get<TFormDashboard>("dashboard"), "freecoin_btn");
            PressByKeyboard(Get<TFormFaucet>("faucet"), "Button1");
            QTest::keyClicks(Focused(), QString::number(State().FaucetAnswer));
            return Child(Get<TFormFaucet>("faucet"), "panel_captha");
        }
        return nullptr;
    }
};

AMBERVALE_GUI_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
