#include "Screen.h"
#include "Accessible.h"
#include "AccessiblePictures.h"
#include "AppState.h"
#include "ClickableLabel.h"
#include "FocusRing.h"
#include "FrameAnimation.h"
#include "Digest.h"
#include "MessagePanel.h"
#include "ServiceClient.h"

#include <QApplication>
#include <QLineEdit>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace {
ScreenHost* g_host = nullptr;
} // namespace

ScreenHost* Host()
{
    return g_host;
}

void SetHost(ScreenHost* host)
{
    g_host = host;
}

Screen::Screen(QWidget* parent) : QWidget(parent, Qt::Window)
{
    accessible::Install();
}

void Screen::Open(const QString& name)
{
    if (g_host) g_host->Open(name, Name());
}

bool Screen::IsShown(const QString& name)
{
    const Screen* screen = g_host ? g_host->Find(name) : nullptr;
    return screen && screen->isVisible();
}

void Screen::InitScreen()
{
    FocusRing::Install();
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    if (MessagePanel* panel = Panel()) panel->hide();
    // The clear buttons of the search fields.
    const auto edits = findChildren<QLineEdit*>();
    for (QLineEdit* edit : edits) {
        const auto buttons = edit->findChildren<QAbstractButton*>();
        for (QAbstractButton* button : buttons)
            if (button->accessibleName().isEmpty()) button->setAccessibleName(QStringLiteral("Clear the text"));
    }
    if (auto* back = findChild<ClickableLabel*>(QStringLiteral("btn_back")))
        connect(back, &ClickableLabel::clicked, this, &Screen::btn_backClick);
    auto* picture = findChild<QLabel*>(QStringLiteral("LoadingAnim"));
    if (!picture) {
        // Every screen that sends shows that it waits: a form without its own
        // picture gets one in its centre.
        picture = new QLabel(this);
        picture->setObjectName(QStringLiteral("LoadingAnim"));
        picture->setTextFormat(Qt::PlainText);
        picture->setAlignment(Qt::AlignCenter);
        picture->setGeometry(QRect(QPoint(width() / 2 - 24, height() / 2 - 24), QSize(48, 48)));
    }
    {
        picture->hide();
        gifload = new FrameAnimation(picture, this);
        gifload->setObjectName(QStringLiteral("gifload"));
        connect(gifload, &FrameAnimation::Process, this, &Screen::gifloadProcess);
    }
}

MessagePanel* Screen::Panel() const
{
    return findChild<MessagePanel*>(QStringLiteral("PanelErrorMessage"));
}

void Screen::ShowMessage(const QString& text)
{
    if (MessagePanel* panel = Panel()) panel->Present(text);
}

void Screen::OpenConfirmPanel(QWidget* panel)
{
    CentreIn(panel, rect());
    panel->show();
    panel->raise();
}

void Screen::SendConfirmed(QWidget* panel, QLineEdit* password, QWidget* sender, const QString& action,
                           const std::function<FormFields(const QString&)>& fields,
                           const std::function<void(const QString&)>& answered)
{
    if (password->text().isEmpty()) {
        ::ShowMessage(QStringLiteral("Enter the password"));
        return;
    }
    if (ServiceClient* service = ServiceClient::Instance(); service && service->Busy(action)) return;
    Guard(QStringLiteral("MessageResult:"),
          [&] { SendMessage(action, fields(digest::MD5(password->text())), sender, answered); });
    password->clear();
    panel->hide();
}

bool Screen::SendMessage(const QString& action, const FormFields& fields, QWidget* sender,
                         const std::function<void(const QString&)>& answered)
{
    ServiceClient* service = ServiceClient::Instance();
    if (!service) return false;
    const QPointer<QWidget> control = sender;
    const bool sent = service->Post(
        action, ServiceClient::Channel::Message, State().SecureApiUrl(), fields, this,
        [this, control, answered](const HttpClient::Outcome& outcome) {
            HideLoading();
            if (control) control->setEnabled(true);
            if (!outcome.ok) {
                // No reply: nothing was done that the screens would need to fetch again.
                ShowMessage(QStringLiteral("MessageResult:") + outcome.description);
                return;
            }
            ShowMessage(outcome.body);
            if (answered) answered(outcome.body);
        });
    if (!sent) return false;
    ShowLoading();
    if (control) control->setEnabled(false);
    return true;
}

void Screen::ShowLoading()
{
    if (!gifload) return;
    auto* picture = findChild<QLabel*>(QStringLiteral("LoadingAnim"));
    picture->show();
    picture->raise();
    gifload->SetEnabled(true);
}

void Screen::HideLoading()
{
    if (auto* picture = findChild<QLabel*>(QStringLiteral("LoadingAnim"))) picture->hide();
}

void Screen::gifloadProcess()
{
    auto* picture = findChild<QLabel*>(QStringLiteral("LoadingAnim"));
    gifload->SetEnabled(picture && !picture->isHidden());
}

void Screen::CloseScreen()
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose) hide();
}

void Screen::btn_backClick()
{
    close();
}

SecondaryScreen::SecondaryScreen(QWidget* parent) : Screen(parent) {}

void SecondaryScreen::FormCloseQuery(bool& CanClose)
{
    if (g_host) g_host->Return(Name());
    CanClose = true;
}

void Screen::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    accessible::DrawPicturesAtScale(this); // sharp at the scale this screen shows at
    if (event->spontaneous()) return;
    if (!focusWidget())
        if (QWidget* first = FirstFocusControl()) first->setFocus(Qt::OtherFocusReason);
    // A screen that is shown comes to the front at once, so that what its show
    // handler reports lands on it rather than on the screen it replaces.
    QApplication::setActiveWindow(this);
    FormShow();
}

void Screen::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose)
        event->accept(); // hidden, not destroyed: screens live for the whole run
    else
        event->ignore();
}

void ShowMessage(const QString& text, const QString& screenName)
{
    if (!g_host) return;
    // The active window when it is a screen; else (the program is in the
    // background, or a dialog box is in front) the screen last in front.
    Screen* front = qobject_cast<Screen*>(QApplication::activeWindow());
    if (!front) front = g_host->LastFront();
    Screen* named = screenName.isEmpty() ? nullptr : g_host->Find(screenName);
    for (Screen* screen : g_host->Screens())
        if (screen == front || screen == named) screen->ShowMessage(text);
}

Screen* ScreenByName(const QString& name)
{
    return g_host ? g_host->Find(name) : nullptr;
}

QString ErrorText(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

void CentreIn(QWidget* panel, const QRect& area)
{
    const QSize size = panel->size().expandedTo(panel->sizeHint());
    panel->setGeometry(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
    panel->raise();
}

// ---- keyboard ----

bool TakesTabFocus(const QWidget* widget)
{
    return widget && widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) &&
           !widget->focusProxy();
}

void Press(QWidget* control)
{
    if (!control || !control->isEnabled()) return;
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->click();
    else if (auto* label = qobject_cast<ClickableLabel*>(control))
        label->click();
    else if (auto* frame = qobject_cast<ClickableFrame*>(control))
        frame->click();
}

void Screen::AddModalPanel(QWidget* panel, QWidget* first, QWidget* confirm, QWidget* cancel)
{
    m_panels.append({panel, first, confirm, cancel, nullptr, 0});
    panel->installEventFilter(this);
    accessible::MarkModalPanel(panel);
}

Screen::ModalPanel* Screen::OpenPanel()
{
    ModalPanel* open = nullptr;
    for (ModalPanel& m : m_panels)
        if (m.panel && m.panel->isVisible() && (!open || m.shownAt > open->shownAt)) open = &m;
    return open;
}

Screen::ModalPanel* Screen::PanelHolding(const QWidget* widget)
{
    for (ModalPanel& m : m_panels)
        if (m.panel && m.panel->isVisible() && widget && m.panel->isAncestorOf(widget)) return &m;
    return nullptr;
}

QWidget* Screen::FirstFocusControl() const
{
    const auto widgets = findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (qobject_cast<ClickableLabel*>(w) || qobject_cast<ClickableFrame*>(w)) continue;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(this) && !w->focusProxy() &&
            !w->isWindow())
            return w;
    }
    return nullptr;
}

void Screen::keyPressEvent(QKeyEvent* event)
{
    MessagePanel* message = Panel();
    const bool messageShown = message && message->isVisible();
    if (event->key() == Qt::Key_Escape) {
        if (messageShown) {
            Press(message->closeButton());
        } else if (ModalPanel* open = OpenPanel()) {
            Press(open->cancel);
        } else {
            QWidget::keyPressEvent(event);
            return;
        }
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QWidget* focused = focusWidget();
        ModalPanel* holding = PanelHolding(focused);
        if (auto* button = qobject_cast<QPushButton*>(focused); button && button->isVisible()) {
            Press(button); // buttons outside dialogs take only Space by themselves
        } else if (holding && holding->confirm) {
            Press(holding->confirm);
        } else if (messageShown) {
            Press(message->closeButton());
        } else {
            QWidget::keyPressEvent(event);
            return;
        }
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool Screen::focusNextPrevChild(bool next)
{
    QWidget* focused = focusWidget();
    ModalPanel* holding = PanelHolding(focused);
    if (!holding) return QWidget::focusNextPrevChild(next);
    // Round the panel's own controls only: what lies under it is out of reach.
    QWidget* w = focused;
    for (int steps = 0; steps < 10000; ++steps) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w == focused) break;
        if (holding->panel->isAncestorOf(w) && TakesTabFocus(w)) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            break;
        }
    }
    return true;
}

bool Screen::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
        for (ModalPanel& m : m_panels) {
            if (m.panel != watched) continue;
            // Only the panel's own showing and hiding, not its screen's.
            if (event->type() == QEvent::Show && m.panel->isVisible()) {
                m.shownAt = ++m_showCount;
                QWidget* focused = focusWidget();
                if (!m.panel->isAncestorOf(focused)) m.returnFocus = focused;
                // A mouse user clicks where they want to type: their focus stays put.
                if (FocusRing::KeyboardInUse() && m.first && m.first->isEnabled())
                    m.first->setFocus(Qt::OtherFocusReason);
            } else if (event->type() == QEvent::Hide && m.panel->isHidden()) {
                const QWidget* focused = focusWidget();
                if ((!focused || m.panel->isAncestorOf(focused)) && m.returnFocus && TakesTabFocus(m.returnFocus))
                    m.returnFocus->setFocus(Qt::OtherFocusReason);
                m.returnFocus = nullptr;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
