#pragma once
// Which history lines the user is told about, and the watcher that finds
// them: after each account refresh it reads the lines above the newest one
// seen (remembered per login across runs) and re-reads withdrawals still
// pending, and emits one notice per event. No widgets: the tray or the
// message panel shows what it emits.
#include "History.h"

#include <QObject>
#include <QSet>
#include <optional>

namespace notices {

// The notice a new line gives, or none: a deposit credited, a withdrawal sent
// (first seen as sent) or failed (its refund line), a rental's return, a
// lottery win.
std::optional<QString> For(const history::Item& item);
// The notice of a pending withdrawal re-read as sent, or none.
std::optional<QString> ForSettled(const history::Item& item);

// Where the memory lives (an INI file in the user's configuration folder).
QString SettingsFile();
// The entry that holds a login's newest line seen (the login itself stays out of the file).
QString AccountKey(const QString& login, const char* name = "last_seen");
bool Enabled();
void SetEnabled(bool on);

} // namespace notices

class NoticeWatcher : public QObject {
    Q_OBJECT
public:
    explicit NoticeWatcher(QObject* parent = nullptr);

    // Reads what is new for the logged-in account; does nothing while a check
    // is out. The first check of a login only remembers the newest line, so a
    // new installation does not announce the past.
    void Check();

    // The most pages read above the last line seen; beyond, the rest counts as seen.
    static constexpr int MaxPages = 10;
    static constexpr int PageSize = 50;
    static constexpr int MaxPending = 20;

signals:
    void Notice(const QString& text);
    // A check could not be made (no reply, a malformed page): said once per failure.
    void Failed(const QString& text);

private:
    void ReadNewer(qint64 before);
    void ReadPending();
    void Finish();
    void Done();
    QString Key(const char* name) const;

    bool m_busy = false;
    bool m_again = false; // a check was asked for while one was out: one more follows it
    QString m_login;
    std::optional<qint64> m_lastSeen;
    qint64 m_newest = 0;
    int m_pages = 0;
    QList<history::Item> m_new;
    QList<qint64> m_pending;
    int m_pendingIndex = 0;
};
