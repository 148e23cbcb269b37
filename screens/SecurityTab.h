#pragma once
// The settings screen's security section: how soon the client locks itself,
// whether figures are hidden, and two-factor codes (set up with a QR code drawn
// by our own encoder, confirmed with a code, turned off with password and code).
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Screen;

class SecurityTab : public QWidget {
    Q_OBJECT
public:
    // screen: the settings screen, whose message panel and loading animation the answers use.
    explicit SecurityTab(Screen* screen);

    // Shows the account's state (two-factor codes on or off, logged in or not).
    void Refresh();

private:
    void SetupClick();
    void EnableClick();
    void DisableClick();
    void SetupAnswered(const QString& body);
    void ForgetSetup();

    Screen* m_screen;
    QComboBox* m_lock;
    QCheckBox* m_hide;
    QLabel* m_status;
    QPushButton* m_setup;
    QLabel* m_qr;
    QLabel* m_secret;
    QLineEdit* m_code;
    QPushButton* m_enable;
    QLineEdit* m_offPass;
    QLineEdit* m_offCode;
    QPushButton* m_disable;
};
