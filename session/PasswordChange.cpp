#include "PasswordChange.h"

namespace password {

ChangeCheck CheckChange(const QString& newPass, const QString& rePass, const QString& oldPassOrCode)
{
    if (newPass != rePass) return ChangeCheck::Mismatch;
    if (oldPassOrCode.isEmpty()) return ChangeCheck::MissingProof;
    return ChangeCheck::Ok;
}

QString CheckMessage(ChangeCheck check)
{
    switch (check) {
    case ChangeCheck::Mismatch:
        return QStringLiteral("The new password and the re-typed password differ. Type the same password twice.");
    case ChangeCheck::MissingProof:
        return QStringLiteral("Please enter the \"Security Code\" or your old password.");
    case ChangeCheck::Ok:
        break;
    }
    return QString();
}

bool ChangeAccepted(const QString& reply)
{
    return reply.startsWith(QLatin1String("Password changed."));
}

bool SameLogin(const QString& changedLogin, const QString& remembered)
{
    return !changedLogin.isEmpty() && changedLogin.compare(remembered, Qt::CaseInsensitive) == 0;
}

} // namespace password
