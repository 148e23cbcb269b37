#pragma once
// The settings screen's checks before a password change is sent.
#include <QString>

namespace password {

enum class ChangeCheck {
    Ok,
    Mismatch,     // new and re-typed passwords differ
    MissingProof, // no old password or security code
};

// Two empty new passwords count as equal: the server judges an empty one.
ChangeCheck CheckChange(const QString& newPass, const QString& rePass, const QString& oldPassOrCode);

// What the screen shows for a check that failed; empty for Ok.
QString CheckMessage(ChangeCheck check);

// The service's answer to a change it made; every refusal reads otherwise.
bool ChangeAccepted(const QString& reply);

// Whether a change made for changedLogin concerns the remembered login: the
// service treats logins without regard to letter case.
bool SameLogin(const QString& changedLogin, const QString& remembered);

} // namespace password
