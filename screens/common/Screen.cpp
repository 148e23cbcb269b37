#include "Screen.h"
#include "AppState.h"
#include "ClickableLabel.h"
#include "Login.h"
#include "Screens.h"
#include "dashboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QShowEvent>

Screen::Screen(QWidget* parent) : QWidget(parent, Qt::Window) {}

void Screen::InitScreen(int clientWidth, int clientHeight, const char* closeButtonName)
{
    resize(clientWidth, clientHeight);
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(clientWidth / 2, clientHeight / 2));
    }
    if (auto* panel = findChild<QWidget*>(QStringLiteral("PanelErrorMessage"))) {
        panel->hide();
        if (auto* close = panel->findChild<QAbstractButton*>(QString::fromLatin1(closeButtonName)))
            connect(close, &QAbstractButton::clicked, this, &Screen::HideMessagePanel);
    }
    if (auto* back = findChild<ClickableLabel*>(QStringLiteral("btn_back")))
        connect(back, &ClickableLabel::clicked, this, &Screen::btn_backClick);
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

void Screen::HideMessagePanel()
{
    if (auto* panel = findChild<QWidget*>(QStringLiteral("PanelErrorMessage"))) panel->hide();
}

void PresentMessagePanel(QWidget* panel)
{
    QWidget* container = panel->parentWidget();
    if (!container) return;
    const int width = std::max(40, container->width() - 20);
    int height = panel->sizeHint().height();
    if (QLayout* layout = panel->layout(); layout && layout->hasHeightForWidth())
        height = layout->totalHeightForWidth(width);
    height = std::min(height, std::max(60, container->height() - 10));
    panel->setGeometry(10, 5, width, height);
    panel->show();
    panel->raise();
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
