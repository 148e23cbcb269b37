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
