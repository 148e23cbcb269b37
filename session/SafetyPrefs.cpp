#include "SafetyPrefs.h"
#include "PrivateFile.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
SafetyPrefs* g_prefs = nullptr;
}

const QList<int>& SafetyPrefs::LockChoices()
{
    static const QList<int> choices{0, 1, 5, 10, 15, 30, 60};
    return choices;
}

QString SafetyPrefs::DefaultPath()
{
    return privatefile::PathOf(QStringLiteral("safety.json"));
}

SafetyPrefs::SafetyPrefs(QString path, QObject* parent) : QObject(parent), m_path(std::move(path))
{
    setObjectName(QStringLiteral("SafetyPrefs"));
    Load();
    g_prefs = this;
}

SafetyPrefs::~SafetyPrefs()
{
    if (g_prefs == this) g_prefs = nullptr;
}

SafetyPrefs* SafetyPrefs::Instance()
{
    return g_prefs;
}

void SafetyPrefs::Load()
{
    // Anything unreadable keeps the defaults: locking after 10 minutes, figures shown.
    const privatefile::ReadResult file = privatefile::Read(m_path, 64 * 1024);
    if (!file.data) return;
    const QJsonObject o = QJsonDocument::fromJson(*file.data).object();
    const QJsonValue minutes = o.value(QStringLiteral("lock_minutes"));
    if (minutes.isDouble() && LockChoices().contains(minutes.toInt(-1))) m_lockMinutes = minutes.toInt();
    const QJsonValue hide = o.value(QStringLiteral("hide_balances"));
    if (hide.isBool()) m_hideBalances = hide.toBool();
}

void SafetyPrefs::Store() const
{
    const QJsonObject o{{QStringLiteral("lock_minutes"), m_lockMinutes},
                        {QStringLiteral("hide_balances"), m_hideBalances}};
    privatefile::Write(m_path, QJsonDocument(o).toJson(QJsonDocument::Compact));
}

bool SafetyPrefs::SetLockMinutes(int minutes)
{
    if (!LockChoices().contains(minutes)) return false;
    if (minutes == m_lockMinutes) return true;
    m_lockMinutes = minutes;
    Store();
    emit LockMinutesChanged(minutes);
    return true;
}

void SafetyPrefs::SetHideBalances(bool hide)
{
    if (hide == m_hideBalances) return;
    m_hideBalances = hide;
    Store();
    emit HideBalancesChanged(hide);
}
