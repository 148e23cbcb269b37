#pragma once
// Base of the eleven screens: top-level, created once, only shown and hidden.
#include "FormEncoding.h"

#include <QString>
#include <QWidget>
#include <exception>
#include <functional>

class QLineEdit;

class FrameAnimation;
class MessagePanel;

class Screen : public QWidget {
    Q_OBJECT
public:
    explicit Screen(QWidget* parent = nullptr);

    // Closes the screen the way its close box does, also when it is already
    // hidden (a late reply closing a screen the user has left).
    void CloseScreen();

    // Shows text in this screen's message panel.
    void ShowMessage(const QString& text);

protected:
    // Call after setupUi. The window keeps the size of its form and is centred;
    // the back control, the message panel and the loading indicator are wired.
    void InitScreen();

    // Runs a handler's body; a failure inside is shown on the active screen as
    // prefix + its description, and the handler ends there.
    template <class Body>
    void Guard(const QString& prefix, Body&& body);

    // A money action's password confirmation: the panel centred over the screen,
    // then "Send" asks for the password while it is empty; otherwise the fields,
    // built with the password's digest, go through the shared message client,
    // and the panel closes with the password cleared whatever the answer.
    void OpenConfirmPanel(QWidget* panel);
    void SendConfirmed(QWidget* panel, QLineEdit* password, const std::function<FormFields(const QString&)>& fields);

    // The LoadingAnim picture with its gifload animation, where the form has one.
    void ShowLoading();
    void HideLoading();
    FrameAnimation* gifload = nullptr;

    // Runs every time the hidden screen becomes visible.
    virtual void FormShow() {}
    // Runs when the screen is closed (its back control or the window's close box).
    virtual void FormCloseQuery(bool& CanClose) { CanClose = true; }

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

protected slots:
    // Keeps the animation running exactly while its picture is visible.
    void gifloadProcess();
    // The back control closes its own screen; the close query picks the way back.
    void btn_backClick();

private:
    MessagePanel* Panel() const;
};

// A screen opened from the dashboard or, for settings and information, from
// the screen named by SettingsReturnTo; closing it shows that screen again.
class SecondaryScreen : public Screen {
    Q_OBJECT
public:
    enum class ReturnTarget { Dashboard, Opener };
    explicit SecondaryScreen(ReturnTarget target, QWidget* parent = nullptr);

protected:
    void FormCloseQuery(bool& CanClose) override;

private:
    ReturnTarget m_target;
};

// Shows text on the active screen and, when screenName names another screen,
// on that one too, even while it is hidden.
void ShowMessage(const QString& text, const QString& screenName = {});

// The screen with that object name, or null.
Screen* ScreenByName(const QString& objectName);

// The description a handler's failure guard shows after its prefix.
QString ErrorText(const std::exception& e);

// Centres a child panel over a region of its parent.
void CentreIn(QWidget* panel, const QRect& area);

template <class Body>
void Screen::Guard(const QString& prefix, Body&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        ::ShowMessage(prefix + ErrorText(e));
    }
}
