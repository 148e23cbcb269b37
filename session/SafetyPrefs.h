#pragma once
// The account-safety choices the user makes on this computer, remembered in
// the data folder ("safety.json", owner-only): the idle time before the client
// locks itself and whether figures are hidden. Told through signals.
#include <QObject>

class SafetyPrefs : public QObject {
    Q_OBJECT
public:
    // The idle times offered, in minutes; 0 is "off".
    static const QList<int>& LockChoices();
    static constexpr int DefaultLockMinutes = 10;

    explicit SafetyPrefs(QString path = DefaultPath(), QObject* parent = nullptr);
    ~SafetyPrefs() override;
    static QString DefaultPath();

    // The one alive, or null.
    static SafetyPrefs* Instance();

    int LockMinutes() const { return m_lockMinutes; }
    bool HideBalances() const { return m_hideBalances; }

    // Set, remembered, told; a minute count not offered is refused (false).
    bool SetLockMinutes(int minutes);
    void SetHideBalances(bool hide);

signals:
    void LockMinutesChanged(int minutes);
    void HideBalancesChanged(bool hide);

private:
    void Load();
    void Store() const;

    QString m_path;
    int m_lockMinutes = DefaultLockMinutes;
    bool m_hideBalances = false;
};
