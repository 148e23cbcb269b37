#pragma once
// Two-factor codes on the client's side: reading the service's setup answer
// and checking what the user types before it is sent.
#include "FormEncoding.h"

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

// "twofa_setup" (login and password digest only), "twofa_enable" and
// "twofa_disable" (with the code), "a" first and "session" last.
FormFields SetupFields(const QString& login, const QString& pass, const QString& token);
FormFields EnableFields(const QString& login, const QString& pass, const QString& code, const QString& token);
FormFields DisableFields(const QString& login, const QString& pass, const QString& code, const QString& token);

// fields with "otp" added before "session" (which stays last); unchanged for an empty code.
FormFields WithCode(FormFields fields, const QString& code);

// The account's flag as "useraccount" carries it: "1" is on.
bool FlagOn(const QString& value);

} // namespace twofa
