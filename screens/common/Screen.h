#pragma once
// Base of the eleven screens: top-level, created once, only shown and hidden.
#include "FormEncoding.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <exception>
#include <functional>

class QLineEdit;

class FrameAnimation;
class MessagePanel;
class Screen;

// What the screens ask of the one who holds them (the navigator): screens
// know each other only by name. Names are the short ones ("login",
// "dashboard", "invest", ...) or the screens' object names.
class ScreenHost {
public:
    virtual ~ScreenHost() = default;
    virtual Screen* Find(const QString& name) const = 0;
    virtual QList<Screen*> Screens() const = 0;
    // The screen the user last had in front, also while the program is in the
    // background and no window is active.
    virtual Screen* LastFront() const = 0;
    // Shows the screen name in place of the screen from (may be empty).
    virtual void Open(const QString& name, const QString& from) = 0;
    // The screen from is being closed: shows where it returns to.
    virtual void Return(const QString& from) = 0;
};

// The host of the screens; null while there are none.
ScreenHost* Host();
void SetHost(ScreenHost* host);

class Screen : public QWidget {
    Q_OBJECT
public:
    explicit Screen(QWidget* parent = nullptr);

    // Closes the screen the way its close box does, also when it is already
    // hidden (a late reply closing a screen the user has left).
    void CloseScreen();

    // Shows text in this screen's message panel.
    void ShowMessage(const QString& text);

    // Sends fields as action over the money actions' client and returns at
    // once. While it is out the loading animation shows and sender is
    // disabled; a second request of the action sends nothing. The answer, or
    // "MessageResult:" and why none came, is shown on this screen; answered
    // runs with a reply. Nothing runs once the screen has gone.
    // Returns whether it was sent.
    bool SendMessage(const QString& action, const FormFields& fields, QWidget* sender,
                     const std::function<void(const QString&)>& answered = {});

    // The navigator's name for this screen ("login", "dashboard", ...).
    QString Name() const { return property("screenName").toString(); }
    // While the navigator shows this screen in place of another (its show
    // handler runs then): that one's name; else empty.
    QString OpenedFrom() const { return property("openedFrom").toString(); }

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
    // built with the password's digest, go out as action (see SendMessage) and
    // the panel closes at once with the password cleared.
    void OpenConfirmPanel(QWidget* panel);
    void SendConfirmed(QWidget* panel, QLineEdit* password, QWidget* sender, const QString& action,
                       const std::function<FormFields(const QString&)>& fields,
                       const std::function<void(const QString&)>& answered = {});


    // A panel shown over the screen that holds the keyboard while it is open:
    // when a keyboard user opens it the focus moves to first, and back where it
    // was when it closes; Tab and Shift+Tab stay inside it, Enter (on a control
    // that is not a button) acts as confirm and Escape as cancel. confirm may be null.
    void AddModalPanel(QWidget* panel, QWidget* first, QWidget* confirm, QWidget* cancel);

    // The LoadingAnim picture with its gifload animation, where the form has one.
    void ShowLoading();
    void HideLoading();
    FrameAnimation* gifload = nullptr;

    // Shows the named screen in place of this one.
    void Open(const QString& name);
    // Whether the named screen is on view.
    static bool IsShown(const QString& name);

    // Runs every time the hidden screen becomes visible.
    virtual void FormShow() {}
    // Runs when the screen is closed (its back control or the window's close box).
    virtual void FormCloseQuery(bool& CanClose) { CanClose = true; }

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the message panel, else the open modal panel; Enter presses
    // the focused button, else confirms the panel holding the focus, else closes
    // the message panel. Keys the focused control uses never get here.
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

protected slots:
    // Keeps the animation running exactly while its picture is visible.
    void gifloadProcess();
    // The back control closes its own screen; the close query picks the way back.
    void btn_backClick();

private:
    MessagePanel* Panel() const;

    struct ModalPanel {
        QPointer<QWidget> panel, first, confirm, cancel;
        QPointer<QWidget> returnFocus; // where the focus was when the panel opened
        quint64 shownAt = 0;
    };
    QList<ModalPanel> m_panels;
    quint64 m_showCount = 0;
    ModalPanel* OpenPanel();                         // the visible one shown last
    ModalPanel* PanelHolding(const QWidget* widget); // the visible one around widget
    // The control that had the focus first before the clickable labels and
    // frames took part in it: the screens keep the focus they opened with.
    QWidget* FirstFocusControl() const;
};

// Acts on a button, a clickable label or a clickable frame as a click does.
void Press(QWidget* control);
// The control takes part in Tab now.
bool TakesTabFocus(const QWidget* widget);

// A screen opened from another; closing it shows the screen it returns to
// (the navigator keeps the rules).
class SecondaryScreen : public Screen {
    Q_OBJECT
public:
    explicit SecondaryScreen(QWidget* parent = nullptr);

protected:
    void FormCloseQuery(bool& CanClose) override;
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
