#pragma once
// Holds the twelve screens and the rules between them: which screen opens
// which, where closing one returns to, and which screen the user last had in
// front (where messages for "the active screen" go). Screens know each other
// only by name through it; no screen includes another screen's header.
#include "common/Screen.h"

#include <QObject>
#include <QPointer>

class ServiceClient;

class Navigator : public QObject, public ScreenHost {
    Q_OBJECT
public:
    Navigator();
    ~Navigator() override;

    // The one alive, or null.
    static Navigator* Instance();

    // Applies the style and creates the login screen / the other ten; each does
    // nothing the second time.
    void CreateLogin();
    void CreateOthers();

    // By short name ("login", "dashboard", "deposit", "invest", "withdraw",
    // "settings", "referral", "info", "swap", "faucet", "lottery", "activity") or object name.
    Screen* Find(const QString& name) const override;
    template <class T>
    T* Get(const QString& name) const
    {
        return qobject_cast<T*>(Find(name));
    }
    // In creation order.
    QList<Screen*> Screens() const override;
    Screen* LastFront() const override;

    void Open(const QString& name, const QString& from) override;
    void Return(const QString& from) override;
    // Where the named screen returns to when it is closed ("" for none: the
    // login screen ends the program).
    QString ReturnTarget(const QString& name) const;

    ServiceClient* Service() const { return m_service; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Add(const QString& name, Screen* screen);
    QString NameOf(const QString& nameOrObjectName) const;

    ServiceClient* m_service = nullptr;
    // Held as widgets and cast when read: a screen's last events (its hide while
    // it is destroyed) arrive when it is no longer a Screen, only a QWidget.
    QList<QPointer<QWidget>> m_screens;
    QPointer<QWidget> m_lastFront;
};
