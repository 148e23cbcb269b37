#pragma once
// Process-wide state of the client that is not account data: where the
// service is, who is logged in, and the flags of the login flow. The account,
// the platform settings and the user's picks live in AccountModel. Touched
// only on the GUI thread, so no locks.
#include <QString>
#include <QUrl>

struct AppState {
    QString ServerScheme = QStringLiteral("https");
    QString ServerAddress; // "://" + host + "/", constant
    QString UserLogin;
    QString PassHash;
    bool LoggedIn = false;
    int ServerLoadPercent = 0; // 0 = settings not loaded, 100 = loaded
    int AutoLoginPending = 1;  // the one automatic login of the run is still due
    QString SettingsReturnTo; // "login" or "dashboard"
    int FaucetAnswer = 0; // the answer to the faucet's last question
    // Settings failures alternate ServerScheme, so that the public settings still
    // arrive where only one scheme gets through. Set while ServerScheme differs
    // from the scheme the program started with.
    bool SchemeFallback = false;

    // ServerScheme + ServerAddress + path, composed when a request is built.
    QUrl Url(const QString& path) const;
    QUrl ApiUrl() const { return Url(QStringLiteral("api.php")); }
    // For requests that carry the login, the password digest or a deposit
    // address: they keep the starting scheme ("https") and never follow the
    // settings request's fallback to plain HTTP, which anyone able to break a
    // TLS connection could bring about and then read or rewrite them.
    QString SecureScheme() const;
    QUrl SecureApiUrl() const;
    // The settings request failed: alternate the scheme for the next one.
    void SwitchSchemeAfterSettingsFailure();
    // A reply came back over the starting scheme: the service is reachable
    // there again, so the settings go back to it too.
    void ReturnToStartingScheme();
};

// The one instance.
AppState& State();

// Back to the start-up values (the host stays); for a fresh run in tests.
void ResetState();
