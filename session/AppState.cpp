#include "AppState.h"
#include "BuildConfig.h"

namespace {
AppState Initial()
{
    AppState s;
    s.ServerAddress = QStringLiteral("://" AMBERVALE_SERVICE_HOST "/");
    return s;
}
} // namespace

AppState& State()
{
    static AppState state = Initial();
    return state;
}

void ResetState()
{
    const QString address = State().ServerAddress;
    State() = AppState();
    State().ServerAddress = address;
}

QUrl AppState::Url(const QString& path) const
{
    return QUrl(ServerScheme + ServerAddress + path);
}

QString AppState::SecureScheme() const
{
    if (!SchemeFallback) return ServerScheme;
    return ServerScheme == QLatin1String("https") ? QStringLiteral("http") : QStringLiteral("https");
}

QUrl AppState::SecureApiUrl() const
{
    return QUrl(SecureScheme() + ServerAddress + QStringLiteral("api.php"));
}

void AppState::SwitchSchemeAfterSettingsFailure()
{
    ServerScheme = ServerScheme == QLatin1String("https") ? QStringLiteral("http") : QStringLiteral("https");
    SchemeFallback = !SchemeFallback;
}

void AppState::ReturnToStartingScheme()
{
    if (!SchemeFallback) return;
    ServerScheme = SecureScheme();
    SchemeFallback = false;
}

bool AppState::CoinMatchesSearch(const QString& code, const QString& search) const
{
    const QString wanted = search.trimmed();
    if (code.contains(wanted, Qt::CaseInsensitive)) return true;
    if (!CoinNames || !CoinFullNames) return false;
    for (qsizetype i = 0; i < CoinNames->size() && i < CoinFullNames->size(); ++i) {
        if (CoinNames->at(i).toString().compare(code, Qt::CaseInsensitive) == 0)
            return CoinFullNames->at(i).toString().contains(wanted, Qt::CaseInsensitive);
    }
    return false;
}
