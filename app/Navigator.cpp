#include "Navigator.h"
#include "Screens.h"

#include "AccountModel.h"
#include "AutoLock.h"
#include "AppState.h"
#include "Login.h"
#include "Lotto.h"
#include "SafetyPrefs.h"
#include "ServiceClient.h"
#include "dashboard.h"
#include "deposit.h"
#include "free_coin.h"
#include "info.h"
#include "invest.h"
#include "refferal.h"
#include "settings.h"
#include "swapcoin.h"
#include "withdraw.h"
#include "activity.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <optional>
#include <QTimer>

namespace {
Navigator* g_navigator = nullptr;

// Opened from either the login screen or the dashboard, and returning there.
bool ReturnsToOpener(const QString& name)
{
    return name == QLatin1String("settings") || name == QLatin1String("info");
}
struct BaseFontSize {
    double value = 0;
    bool pixels = false; // else points
};

// The font size of the style sheet's "QWidget { ... }" rule (one starting a
// line), read by hand: a regular expression here costs the start-up its
// compilation.
std::optional<BaseFontSize> StyleBaseFontSize(const QString& sheet)
{
    static const QLatin1String selector("QWidget"), property("font-size:");
    for (qsizetype at = sheet.indexOf(selector); at >= 0; at = sheet.indexOf(selector, at + 1)) {
        if (at > 0 && sheet.at(at - 1) != QLatin1Char('\n')) continue;
        qsizetype i = at + selector.size();
        while (i < sheet.size() && sheet.at(i).isSpace()) ++i;
        if (i >= sheet.size() || sheet.at(i) != QLatin1Char('{')) continue;
        const qsizetype end = sheet.indexOf(QLatin1Char('}'), i);
        const QStringView rule = QStringView(sheet).mid(i, end < 0 ? -1 : end - i);
        std::optional<BaseFontSize> found;
        for (qsizetype p = rule.indexOf(property); p >= 0; p = rule.indexOf(property, p + 1)) {
            qsizetype k = p + property.size();
            while (k < rule.size() && rule.at(k).isSpace()) ++k;
            const qsizetype digits = k;
            while (k < rule.size() && (rule.at(k).isDigit() || rule.at(k) == QLatin1Char('.'))) ++k;
            if (k == digits) continue;
            const QStringView unit = rule.mid(k, 2);
            if (unit != QLatin1String("px") && unit != QLatin1String("pt")) continue;
            found = BaseFontSize{rule.mid(digits, k - digits).toDouble(), unit == QLatin1String("px")};
        }
        if (found) return found;
    }
    return std::nullopt;
}
} // namespace

Navigator::Navigator()
{
    setObjectName(QStringLiteral("Navigator"));
    m_service = new ServiceClient(this);
    new AccountModel(this);
    // The user's safety choices first: the lock reads its idle time from them.
    new SafetyPrefs(SafetyPrefs::DefaultPath(), this);
    new AutoLock(this);
    // Hidden figures are the model's: it masks what the screens show.
    if (SafetyPrefs* prefs = SafetyPrefs::Instance()) {
        Account().SetFiguresHidden(prefs->HideBalances());
        connect(prefs, &SafetyPrefs::HideBalancesChanged, &Account(), &AccountModel::SetFiguresHidden);
    }
    g_navigator = this;
    SetHost(this);
}

Navigator::~Navigator()
{
    SetHost(nullptr);
    // Last created first: later screens may refer to earlier ones by name while they go.
    for (auto it = m_screens.rbegin(); it != m_screens.rend(); ++it) delete it->data();
    m_screens.clear();
    if (g_navigator == this) g_navigator = nullptr;
}

Navigator* Navigator::Instance()
{
    return g_navigator;
}

void Navigator::Add(const QString& name, Screen* screen)
{
    screen->setProperty("screenName", name);
    screen->installEventFilter(this);
    m_screens.append(screen);
}

void Navigator::CreateLogin()
{
    if (Find(QStringLiteral("login"))) return;
    Q_INIT_RESOURCE(screens);
    QFile style(QStringLiteral(":/style.qss"));
    if (style.open(QIODevice::ReadOnly)) {
        const QString sheet = QString::fromUtf8(style.readAll());
        // The application font takes the style sheet's size for every widget,
        // so that texts measured before the style applies use the same font
        // engine as the drawing after it (a second size costs a font engine).
        if (const std::optional<BaseFontSize> size = StyleBaseFontSize(sheet)) {
            QFont font = QApplication::font();
            if (size->pixels)
                font.setPixelSize(int(size->value));
            else
                font.setPointSizeF(size->value);
            QApplication::setFont(font);
        }
        qApp->setStyleSheet(sheet);
    }
    Add(QStringLiteral("login"), new TFormLogin);
}

void Navigator::CreateOthers()
{
    if (Find(QStringLiteral("dashboard"))) return;
    Add(QStringLiteral("dashboard"), new TFormDashboard);
    Add(QStringLiteral("deposit"), new TFormDeposit);
    Add(QStringLiteral("invest"), new TFormInvest);
    Add(QStringLiteral("withdraw"), new TFormWithdraw);
    Add(QStringLiteral("settings"), new TFormSetting);
    Add(QStringLiteral("referral"), new TFormRefferal);
    Add(QStringLiteral("info"), new TFormInfo);
    Add(QStringLiteral("swap"), new TFormSwap);
    Add(QStringLiteral("faucet"), new TFormFaucet);
    Add(QStringLiteral("lottery"), new TFormLotto);
    Add(QStringLiteral("activity"), new FormActivity);
}

Screen* Navigator::Find(const QString& name) const
{
    for (const QPointer<QWidget>& w : m_screens)
        if (auto* s = qobject_cast<Screen*>(w.data()); s && (s->Name() == name || s->objectName() == name)) return s;
    return nullptr;
}

QList<Screen*> Navigator::Screens() const
{
    QList<Screen*> all;
    for (const QPointer<QWidget>& w : m_screens)
        if (auto* s = qobject_cast<Screen*>(w.data())) all.append(s);
    return all;
}

Screen* Navigator::LastFront() const
{
    return qobject_cast<Screen*>(m_lastFront.data());
}

QString Navigator::NameOf(const QString& nameOrObjectName) const
{
    const Screen* s = Find(nameOrObjectName);
    return s ? s->Name() : QString();
}

QString Navigator::ReturnTarget(const QString& name) const
{
    const QString n = NameOf(name);
    if (n.isEmpty() || n == QLatin1String("login")) return {};
    if (n == QLatin1String("dashboard")) return QStringLiteral("login");
    if (ReturnsToOpener(n) && State().SettingsReturnTo == QLatin1String("login")) return QStringLiteral("login");
    return QStringLiteral("dashboard");
}

void Navigator::Open(const QString& name, const QString& from)
{
    Screen* target = Find(name);
    if (!target) return;
    const QString fromName = NameOf(from);
    // Settings and information go back where they came from.
    if (ReturnsToOpener(target->Name()) && !fromName.isEmpty())
        State().SettingsReturnTo = fromName == QLatin1String("login") ? QStringLiteral("login")
                                                                       : QStringLiteral("dashboard");
    Screen* source = fromName.isEmpty() ? nullptr : Find(fromName);
    if (source && source != target) source->hide();
    target->setProperty("openedFrom", fromName);
    target->show();
    target->setProperty("openedFrom", QVariant());
}

void Navigator::Return(const QString& from)
{
    const QString back = ReturnTarget(from);
    if (Screen* target = back.isEmpty() ? nullptr : Find(back)) target->show();
}

bool Navigator::eventFilter(QObject* watched, QEvent* event)
{
    // The screen in front is the one shown or activated last; it stays so while
    // the program is in the background (no active window), so that what is
    // meant for the user still reaches a screen they can see.
    if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
        if (auto* screen = qobject_cast<Screen*>(watched); screen && screen->isVisible()) m_lastFront = screen;
    } else if (event->type() == QEvent::Hide && watched == m_lastFront.data()) {
        // Hidden: the front passes to a screen still on view, if any.
        for (Screen* s : Screens())
            if (s != watched && s->isVisible()) m_lastFront = s;
    }
    return QObject::eventFilter(watched, event);
}

// ---- the program's screens ----

namespace {

Navigator& Nav()
{
    if (!g_navigator) new Navigator; // owned by DestroyScreens
    return *g_navigator;
}

// Creates the other screens once the login window has been painted: the user
// sees the window sooner, and nothing reaches another screen before that.
class AfterFirstPaint : public QObject {
public:
    explicit AfterFirstPaint(QWidget* window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued, so the painted frame reaches the screen first.
            QMetaObject::invokeMethod(qApp, &CreateOtherScreens, Qt::QueuedConnection);
            deleteLater();
        }
        return false;
    }
};

} // namespace

void CreateLoginScreen()
{
    Nav().CreateLogin();
}

void CreateOtherScreens()
{
    if (g_navigator) g_navigator->CreateOthers();
}

void CreateScreens()
{
    CreateLoginScreen();
    CreateOtherScreens();
}

void StartScreens()
{
    CreateLoginScreen();
    Screen* login = Nav().Find(QStringLiteral("login"));
    new AfterFirstPaint(login);
    // Should no paint come (a window system that never exposes the window),
    // the screens still exist before the login screen's own start-up timer runs.
    QTimer::singleShot(300, qApp, &CreateOtherScreens);
    login->show();
}

QList<QWidget*> AllScreens()
{
    QList<QWidget*> all;
    if (g_navigator)
        for (Screen* s : g_navigator->Screens()) all.append(s);
    return all;
}

Screen* ScreenNamed(const QString& name)
{
    return g_navigator ? g_navigator->Find(name) : nullptr;
}

void DestroyScreens()
{
    delete g_navigator;
}
