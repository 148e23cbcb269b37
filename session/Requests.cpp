#include "Requests.h"

namespace api {

FormFields Settings(const QString& action, const QString& token)
{
    return {{"a", action}, {"session", token}};
}

FormFields Account(const QString& action, const QString& ref, const QString& login, const QString& pass,
                   const QString& token)
{
    return {{"a", action}, {"ref", ref}, {"s", login}, {"pass", pass}, {"session", token}};
}

FormFields DepositAddress(const QString& coinGetA, const QString& login, const QString& pass, const QString& token)
{
    return {{"a", "get_deposit_address"}, {"coin_get_a", coinGetA}, {"s", login}, {"pass", pass}, {"session", token}};
}

QString DepositCoin(const QString& coin, const QString& network)
{
    return network == QLatin1String("Main") ? coin : coin + QLatin1Char('.') + network;
}

} // namespace api
