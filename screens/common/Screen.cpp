#include "Screen.h"
#include "AppState.h"
#include "ClickableLabel.h"
#include "FrameAnimation.h"
#include "Login.h"
#include "MessagePanel.h"
#include "Screens.h"
#include "dashboard.h"

#include "HttpClient.h"

#include <QApplication>
#include <QLineEdit>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

Screen::Screen(QWidget* parent) : QWidget(parent, Qt::Window) {}

void Screen::InitScreen()
{
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    if (MessagePanel* panel = Panel()) panel->hide();
    if (auto* back = findChild<ClickableLabel*>(QStringLiteral("btn_back")))
        connect(back, &ClickableLabel::clicked, this, &Screen::btn_backClick);
    if (auto* picture = findChild<QLabel*>(QStringLiteral("LoadingAnim"))) {
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

void Screen::SendConfirmed(QWidget* panel, QLineEdit* password, const std::function<FormFields(const QString&)>& fields)
{
    if (password->text().isEmpty()) {
        ::ShowMessage(QStringLiteral("Enter the password"));
        return;
    }
    Guard(QStringLiteral("MessageResult:"), [&] {
        // Blocking: the answer or the failure has been shown when this returns.
        FormLogin->NetHTTP_MessageResult->Post(State().SecureApiUrl(), fields(FormLogin->MD5(password->text())));
    });
    password->clear();
    panel->hide();
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

SecondaryScreen::SecondaryScreen(ReturnTarget target, QWidget* parent) : Screen(parent), m_target(target) {}

void SecondaryScreen::FormCloseQuery(bool& CanClose)
{
    QWidget* back = FormDashboard;
    if (m_target == ReturnTarget::Opener && State().SettingsReturnTo == QLatin1String("login")) back = FormLogin;
    if (back) back->show();
    CanClose = true;
}

void Screen::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
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
    const QWidget* active = QApplication::activeWindow();
    for (QWidget* widget : AllScreens()) {
        auto* screen = qobject_cast<Screen*>(widget);
        if (screen && (screen == active || (!screenName.isEmpty() && screen->objectName() == screenName)))
            screen->ShowMessage(text);
    }
}

Screen* ScreenByName(const QString& objectName)
{
    for (QWidget* widget : AllScreens())
        if (widget->objectName() == objectName) return qobject_cast<Screen*>(widget);
    return nullptr;
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
