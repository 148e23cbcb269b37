#pragma once
// Locks the client after the user has left it alone for the chosen time: every
// screen is covered and nothing under the covers takes input until the
// password is typed again. The password is checked against the remembered
// digest on this computer; nothing is sent.
#include <QElapsedTimer>
#include <QFrame>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QLabel;
class QLineEdit;
class QPushButton;

// The cover laid over one screen while the client is locked.
class LockCover : public QFrame {
    Q_OBJECT
public:
    explicit LockCover(QWidget* screen);
    QLineEdit* password() const { return m_password; }
    QPushButton* unlockButton() const { return m_unlock; }
    QLabel* message() const { return m_message; }
    void Fit();

signals:
    void UnlockWanted(const QString& password);

protected:
    // Keys and clicks the cover's controls leave go no further: the screen
    // under it must not act on them (Escape closing its panels, Enter sending).
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QLineEdit* m_password;
    QPushButton* m_unlock;
    QLabel* m_message;
};

// Password fields in Password mode already keep their text from the clipboard,
// drags and accessibility, but still answer an input method's question for the
// selected text with the real characters: this answers it with the masked text.
class PasswordFieldGuard : public QObject {
    Q_OBJECT
public:
    explicit PasswordFieldGuard(QObject* parent = nullptr);
    ~PasswordFieldGuard() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class AutoLock : public QObject {
    Q_OBJECT
public:
    explicit AutoLock(QObject* parent = nullptr);
    ~AutoLock() override;

    // The one alive, or null.
    static AutoLock* Instance();

    // Idle time before locking, in milliseconds; 0 turns locking off. Set from
    // the remembered choice (minutes) and whenever it changes.
    void SetIdleMs(qint64 ms);
    qint64 IdleMs() const { return m_idleMs; }

    bool Locked() const { return m_locked; }
    // Covers every screen, when someone is logged in (there is a password to ask for).
    void Lock();
    // True (and the covers gone) when password's digest is the remembered one.
    bool Unlock(const QString& password);

signals:
    void LockedChanged(bool locked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Restart();
    void IdleCheck();
    bool InsideCover(QObject* object) const;
    void Cover(QWidget* screen);
    void FocusCover();

    QTimer m_timer;
    QElapsedTimer m_sinceInput;
    qint64 m_idleMs = 0;
    bool m_locked = false;
    QList<QPointer<LockCover>> m_covers;
};
