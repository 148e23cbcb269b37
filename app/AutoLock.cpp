#include "AutoLock.h"

#include "AppState.h"
#include "Digest.h"
#include "SafetyPrefs.h"
#include "common/Screen.h"

#include <QApplication>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
AutoLock* g_lock = nullptr;

bool IsInput(QEvent::Type t)
{
    switch (t) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// What counts as the user being there: keys, clicks, wheel and pointer moves.
bool IsActivity(QEvent::Type t)
{
    return t == QEvent::KeyPress || t == QEvent::MouseButtonPress || t == QEvent::MouseMove || t == QEvent::Wheel ||
           t == QEvent::TouchBegin;
}

bool SameDigest(const QString& a, const QString& b)
{
    // Compared in full whatever differs, as a password check should be.
    if (a.size() != b.size() || a.isEmpty()) return false;
    ushort diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) diff |= a.at(i).unicode() ^ b.at(i).unicode();
    return diff == 0;
}
} // namespace

LockCover::LockCover(QWidget* screen) : QFrame(screen)
{
    setObjectName(QStringLiteral("LockCover"));
    setAccessibleName(QStringLiteral("Locked"));
    // Opaque: the figures under it must not show through.
    setAttribute(Qt::WA_StyledBackground);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("QFrame#LockCover { background-color: palette(window); }"));

    auto* title = new QLabel(QStringLiteral("Ambervale is locked"), this);
    title->setObjectName(QStringLiteral("lock_title"));
    title->setAlignment(Qt::AlignCenter);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* hint = new QLabel(QStringLiteral("Type your password to go on."), this);
    hint->setObjectName(QStringLiteral("lock_hint"));
    hint->setAlignment(Qt::AlignCenter);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("lock_pass"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setAccessibleName(QStringLiteral("Password"));
    m_unlock = new QPushButton(QStringLiteral("Unlock"), this);
    m_unlock->setObjectName(QStringLiteral("lock_unlock"));
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("lock_message"));
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(2);
    layout->addWidget(title);
    layout->addWidget(hint);
    layout->addWidget(m_password);
    layout->addWidget(m_unlock);
    layout->addWidget(m_message);
    layout->addStretch(3);
    layout->setContentsMargins(40, 20, 40, 20);

    connect(m_unlock, &QPushButton::clicked, this, [this] { emit UnlockWanted(m_password->text()); });
    connect(m_password, &QLineEdit::returnPressed, this, [this] { emit UnlockWanted(m_password->text()); });
    Fit();
}

void LockCover::Fit()
{
    if (parentWidget()) setGeometry(parentWidget()->rect());
    raise();
}

void LockCover::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}
void LockCover::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}
void LockCover::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}
void LockCover::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}
void LockCover::wheelEvent(QWheelEvent* event)
{
    event->accept();
}

PasswordFieldGuard::PasswordFieldGuard(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

PasswordFieldGuard::~PasswordFieldGuard()
{
    qApp->removeEventFilter(this);
}

bool PasswordFieldGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::InputMethodQuery) return QObject::eventFilter(watched, event);
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit || edit->echoMode() == QLineEdit::Normal) return QObject::eventFilter(watched, event);
    auto* query = static_cast<QInputMethodQueryEvent*>(event);
    const QString shown = edit->displayText();
    const int cursor = std::min<int>(edit->cursorPosition(), int(shown.size()));
    for (int bit = 0; bit < 32; ++bit) {
        const auto q = static_cast<Qt::InputMethodQuery>(1u << bit);
        if (!(query->queries() & q)) continue;
        switch (q) {
        case Qt::ImSurroundingText: query->setValue(q, shown); break;
        case Qt::ImTextBeforeCursor: query->setValue(q, shown.left(cursor)); break;
        case Qt::ImTextAfterCursor: query->setValue(q, shown.mid(cursor)); break;
        case Qt::ImCurrentSelection: query->setValue(q, QString()); break;
        default: query->setValue(q, edit->inputMethodQuery(q)); break;
        }
    }
    query->accept();
    return true;
}

AutoLock::AutoLock(QObject* parent) : QObject(parent)
{
    new PasswordFieldGuard(this);
    setObjectName(QStringLiteral("AutoLock"));
    g_lock = this;
    // A coarse tick compared with the time since the last input, rather than a
    // timer restarted on every mouse move.
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &AutoLock::IdleCheck);
    m_sinceInput.start();
    qApp->installEventFilter(this);
    if (SafetyPrefs* prefs = SafetyPrefs::Instance()) {
        SetIdleMs(qint64(prefs->LockMinutes()) * 60 * 1000);
        connect(prefs, &SafetyPrefs::LockMinutesChanged, this,
                [this](int minutes) { SetIdleMs(qint64(minutes) * 60 * 1000); });
    }
}

AutoLock::~AutoLock()
{
    qApp->removeEventFilter(this);
    for (const QPointer<LockCover>& c : m_covers) delete c.data();
    if (g_lock == this) g_lock = nullptr;
}

AutoLock* AutoLock::Instance()
{
    return g_lock;
}

void AutoLock::SetIdleMs(qint64 ms)
{
    m_idleMs = std::max<qint64>(ms, 0);
    m_timer.setInterval(int(std::clamp<qint64>(m_idleMs / 4, 50, 1000)));
    m_sinceInput.restart();
    if (m_idleMs > 0)
        m_timer.start();
    else
        m_timer.stop();
}

void AutoLock::Restart()
{
    m_sinceInput.restart();
}

void AutoLock::IdleCheck()
{
    if (m_locked || m_idleMs <= 0) return;
    if (m_sinceInput.elapsed() >= m_idleMs) Lock();
}

void AutoLock::Lock()
{
    const AppState& st = State();
    if (m_locked || !st.LoggedIn || st.PassHash.isEmpty()) return;
    ScreenHost* host = Host();
    if (!host) return;
    m_locked = true;
    const QList<Screen*> screens = host->Screens();
    for (Screen* s : screens) Cover(s);
    // A box open over a screen (a confirmation) is covered too: it would hold
    // the input the covers need.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !screens.contains(w)) Cover(w);
    FocusCover();
    emit LockedChanged(true);
}

void AutoLock::Cover(QWidget* screen)
{
    auto* cover = new LockCover(screen);
    connect(cover, &LockCover::UnlockWanted, this, [this, cover](const QString& password) {
        if (Unlock(password)) return;
        cover->password()->clear();
        cover->message()->setText(QStringLiteral("Wrong password. Type the password of this account."));
    });
    screen->installEventFilter(this);
    cover->show();
    m_covers.append(cover);
}

void AutoLock::FocusCover()
{
    // The password field of the screen in front takes what is typed.
    ScreenHost* host = Host();
    QWidget* front = host ? host->LastFront() : nullptr;
    if (QWidget* modal = QApplication::activeModalWidget()) front = modal;
    for (const QPointer<LockCover>& c : m_covers)
        if (c && c->parentWidget() == front) c->password()->setFocus(Qt::OtherFocusReason);
}

bool AutoLock::Unlock(const QString& password)
{
    if (!m_locked) return true;
    if (!SameDigest(digest::MD5(password), State().PassHash)) return false;
    m_locked = false;
    for (const QPointer<LockCover>& c : m_covers) {
        if (!c) continue;
        c->parentWidget()->removeEventFilter(this);
        c->password()->clear();
        c->hide();
        c->deleteLater();
    }
    m_covers.clear();
    Restart();
    emit LockedChanged(false);
    return true;
}

bool AutoLock::InsideCover(QObject* object) const
{
    for (QObject* o = object; o; o = o->parent())
        if (qobject_cast<LockCover*>(o)) return true;
    return false;
}

bool AutoLock::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (!m_locked) {
        if (IsActivity(type)) Restart();
        return QObject::eventFilter(watched, event);
    }
    // Locked: a screen resized keeps its cover whole.
    if (type == QEvent::Resize || type == QEvent::Show || type == QEvent::LayoutRequest) {
        for (const QPointer<LockCover>& c : m_covers)
            if (c && c->parentWidget() == watched) c->Fit();
    }
    if (watched->isWidgetType() && IsInput(type)) {
        // Only the covers take input; whatever else would receive it, a screen,
        // a control under a cover or a window of its own, gets nothing.
        if (!InsideCover(watched)) return true;
        // Tab and Shift+Tab go round the cover's own two controls.
        if (type == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
                for (const QPointer<LockCover>& c : m_covers)
                    if (c && (c->password() == watched || c->unlockButton() == watched)) {
                        (c->password() == watched ? static_cast<QWidget*>(c->unlockButton()) : c->password())
                            ->setFocus(key->key() == Qt::Key_Tab ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                        return true;
                    }
            }
        }
    }
    return QObject::eventFilter(watched, event);
}
