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

} // namespace password
