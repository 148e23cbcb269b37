#pragma once
// Base of the eleven screens: top-level, created once, only shown and hidden.
#include <QWidget>
#include <exception>

class Screen : public QWidget {
    Q_OBJECT
public:
    explicit Screen(QWidget* parent = nullptr);

    // Closes the screen the way its close box does, also when it is already
    // hidden (a late reply closing a screen the user has left).
    void CloseScreen();

protected:
    // Call after setupUi: caption size, centring, the message panel's close button.
    void InitScreen(int clientWidth, int clientHeight, const char* closeButtonName = "Button2");

    // Runs every time the hidden screen becomes visible.
    virtual void FormShow() {}
    // Runs when the screen is closed (its back control or the window's close box).
    virtual void FormCloseQuery(bool& CanClose) { CanClose = true; }

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

protected slots:
    // Hides this screen's message panel and nothing else.
    void HideMessagePanel();
    // The back control closes its own screen; the close query picks the way back.
    void btn_backClick();
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

// Shows a message panel at the top of its screen (margins 10, 5, 10) over the
// content, sized to its text.
void PresentMessagePanel(QWidget* panel);

// The description a handler's failure guard shows after its prefix.
QString ErrorText(const std::exception& e);

// Centres a child panel over a region of its parent.
void CentreIn(QWidget* panel, const QRect& area);
