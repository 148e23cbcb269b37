#pragma once
// Two-factor codes on the client's side: reading the service's setup answer
// and checking what the user types before it is sent.
#include <QString>
#include <optional>

namespace twofa {

struct Setup {
    QString uri;    // otpauth://totp/...
    QString secret; // Base32, for typing into the app by hand
};

// The setup answer {"uri": ..., "secret": ...}: the URI must be an otpauth://totp/
// URI whose secret is the one given, the secret 16-128 Base32 characters.
// Anything else (a refusal text, a hostile URI) gives nullopt.
std::optional<Setup> ParseSetup(const QString& body);

// Exactly six digits (blanks around allowed): the code without blanks, else empty.
QString CleanCode(const QString& typed);

// The account's flag as "useraccount" carries it: "1" is on.
bool FlagOn(const QString& value);

} // namespace twofa
