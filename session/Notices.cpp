#include "Notices.h"

#include "AppState.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

namespace notices {

namespace {

QString Amount(const history::Item& item, qint64 units)
{
    return history::ShownAmount(units) + QLatin1Char(' ') + item.coin.toUpper();
}

QSettings Store()
{
    return QSettings(SettingsFile(), QSettings::IniFormat);
}

} // namespace

std::optional<QString> For(const history::Item& item)
{
    const QString& k = item.kind;
    if (k == QLatin1String("deposit") && item.status == QLatin1String("done"))
        return QStringLiteral("Deposit credited: ") + Amount(item, item.amount);
    if (k == QLatin1String("withdraw")) {
        // A failed withdrawal is told by the line that returns its amount and
        // fee; the withdrawal's own line, failed too, would tell it twice.
        if (item.status == QLatin1String("failed") && item.amount > 0)
            return QStringLiteral("Withdrawal failed, returned: ") + Amount(item, item.amount);
        if (item.status == QLatin1String("sent")) return ForSettled(item);
        return std::nullopt;
    }
    if (k == QLatin1String("return")) return QStringLiteral("Rental ended, returned: ") + Amount(item, item.amount);
    if (k == QLatin1String("lottery_win")) return QStringLiteral("Lottery won: ") + Amount(item, item.amount);
    return std::nullopt;
}

std::optional<QString> ForSettled(const history::Item& item)
{
    if (item.kind != QLatin1String("withdraw") || item.status != QLatin1String("sent")) return std::nullopt;
    return QStringLiteral("Withdrawal sent: ") + Amount(item, -item.amount);
}

QString SettingsFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("ambervale/notifications.ini"));
}

QString AccountKey(const QString& login, const char* name)
{
    const QByteArray id = QCryptographicHash::hash(login.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return QStringLiteral("account_%1/%2").arg(QString::fromLatin1(id), QLatin1String(name));
}

bool Enabled()
{
    return Store().value(QStringLiteral("enabled"), true).toBool();
}

void SetEnabled(bool on)
{
    QSettings s = Store();
    s.setValue(QStringLiteral("enabled"), on);
}

} // namespace notices

NoticeWatcher::NoticeWatcher(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("NoticeWatcher"));
}

QString NoticeWatcher::Key(const char* name) const
{
    return notices::AccountKey(m_login, name);
}

void NoticeWatcher::Check()
{
    const AppState& st = State();
    if (m_busy) {
        m_again = true; // what the newer refresh brought is looked at once this check is done
        return;
    }
    if (!st.LoggedIn || st.UserLogin.isEmpty()) return;
    m_login = st.UserLogin;
    QSettings s(notices::SettingsFile(), QSettings::IniFormat);
    const QVariant seen = s.value(Key("last_seen"));
    m_lastSeen = seen.isValid() ? std::optional<qint64>(seen.toLongLong()) : std::nullopt;
    m_pending.clear();
    for (const QString& id : s.value(Key("pending")).toString().split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (const qint64 v = id.toLongLong(); v > 0) m_pending.append(v);
    m_busy = true;
    m_new.clear();
    m_pages = 0;
    m_newest = m_lastSeen.value_or(0);
    ReadNewer(0);
}

void NoticeWatcher::ReadNewer(qint64 before)
{
    // The first check of a login needs only the newest line.
    const int limit = m_lastSeen ? PageSize : 1;
    const bool sent = history::Fetch(
        QStringLiteral("notices"), {}, before, limit, this, [this](const history::Page* page, const QString& error) {
            if (State().UserLogin != m_login) {
                Done(); // another login meanwhile: its own check starts afresh
                return;
            }
            if (!page) {
                Done();
                emit Failed(error);
                return;
            }
            bool reachedSeen = !m_lastSeen;
            for (const history::Item& it : page->items) {
                m_newest = std::max(m_newest, it.id);
                if (m_lastSeen && it.id > *m_lastSeen)
                    m_new.append(it);
                else
                    reachedSeen = true;
            }
            if (!reachedSeen && page->next && ++m_pages < MaxPages) {
                ReadNewer(*page->next);
                return;
            }
            Finish();
        });
    if (!sent) Done();
}

void NoticeWatcher::Done()
{
    m_busy = false;
    if (!m_again) return;
    m_again = false;
    // Later, not inside the answer that ended this check.
    QMetaObject::invokeMethod(this, &NoticeWatcher::Check, Qt::QueuedConnection);
}

void NoticeWatcher::Finish()
{
    const bool announce = m_lastSeen.has_value() && notices::Enabled();
    std::sort(m_new.begin(), m_new.end(), [](const history::Item& a, const history::Item& b) { return a.id < b.id; });
    for (const history::Item& it : m_new) {
        if (it.kind == QLatin1String("withdraw") && it.status == QLatin1String("pending") &&
            !m_pending.contains(it.id))
            m_pending.append(it.id);
        if (!announce) continue;
        if (const std::optional<QString> text = notices::For(it)) emit Notice(*text);
    }
    while (m_pending.size() > MaxPending) m_pending.removeFirst();
    m_lastSeen = m_newest;
    QSettings s(notices::SettingsFile(), QSettings::IniFormat);
    s.setValue(Key("last_seen"), m_newest);
    m_new.clear();
    m_pendingIndex = 0;
    ReadPending();
}

void NoticeWatcher::ReadPending()
{
    auto save = [this] {
        QStringList ids;
        for (qint64 id : m_pending) ids << QString::number(id);
        QSettings s(notices::SettingsFile(), QSettings::IniFormat);
        s.setValue(Key("pending"), ids.join(QLatin1Char(',')));
        Done();
    };
    if (m_pendingIndex >= m_pending.size()) {
        save();
        return;
    }
    const qint64 id = m_pending.at(m_pendingIndex);
    const bool sent = history::Fetch(
        QStringLiteral("notices"), {}, id + 1, 1, this, [this, id, save](const history::Page* page, const QString& error) {
            if (State().UserLogin != m_login) {
                Done();
                return;
            }
            if (!page) {
                save();
                emit Failed(error);
                return;
            }
            const history::Item* line = page->items.isEmpty() || page->items[0].id != id ? nullptr : &page->items[0];
            if (!line || line->status != QLatin1String("pending")) {
                m_pending.removeAll(id);
                if (line && notices::Enabled())
                    if (const std::optional<QString> text = notices::ForSettled(*line)) emit Notice(*text);
            } else {
                ++m_pendingIndex;
            }
            ReadPending();
        });
    if (!sent) save();
}
