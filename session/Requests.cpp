#include "Requests.h"

#include <QHash>

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

FormFields InvestCoin(const QString& rentalCode, const QString& coin, const QString& value, const QString& login,
                      const QString& pass, const QString& token)
{
    return {{"a", "invest_coin"}, {"rental_code", rentalCode}, {"coin", coin}, {"value", value}, {"s", login},
            {"pass", pass},       {"session", token}};
}

FormFields Withdraw(const QString& coin, const QString& addr, const QString& network, const QString& val,
                    const QString& login, const QString& pass, const QString& token)
{
    return {{"a", "withdraw"}, {"coin", coin}, {"addr", addr}, {"network", network},
            {"val", val},      {"s", login},   {"pass", pass}, {"session", token}};
}

FormFields SwapCoin(const QString& com, const QString& cur0, const QString& cur1, const QString& val,
                    const QString& login, const QString& pass, const QString& token)
{
    return {{"a", "get_swap_coin"}, {"com", com}, {"cur0", cur0}, {"cur1", cur1},
            {"val", val},           {"s", login}, {"pass", pass}, {"session", token}};
}

FormFields ChangePass(const QString& login, const QString& newPass, const QString& pass, const QString& token)
{
    return {{"a", "changepass"}, {"s", login}, {"newpass", newPass}, {"pass", pass}, {"session", token}};
}

FormFields ResetPass(const QString& login, const QString& token)
{
    return {{"a", "resetpass"}, {"s", login}, {"session", token}};
}

FormFields FreeCoin(const QString& login, const QString& pass, const QString& token)
{
    return {{"a", "free_coin"}, {"s", login}, {"pass", pass}, {"session", token}};
}

FormFields BuyLotto(const QString& login, const QString& pass, const QString& coin, const QString& val,
                    const QString& token)
{
    return {{"a", "buylottonew"}, {"s", login}, {"pass", pass}, {"coin", coin}, {"val", val}, {"session", token}};
}

QString DepositCoin(const QString& coin, const QString& network)
{
    return network == QLatin1String("Main") ? coin : coin + QLatin1Char('.') + network;
}

QString DepositNetworkCaption(const QString& network)
{
    static const QHash<QString, QString> captions{{QStringLiteral("bep20"), QStringLiteral("BEP-20")},
                                                  {QStringLiteral("erc20"), QStringLiteral("ERC-20")},
                                                  {QStringLiteral("trc20"), QStringLiteral("TRC-20")},
                                                  {QStringLiteral("sol"), QStringLiteral("SOLANA")},
                                                  {QStringLiteral("prc20"), QStringLiteral("PRC-20")}};
    return captions.value(network, network);
}

const QStringList& NetworkCoins()
{
    static const QStringList coins{"usdt", "shib", "matic"};
    return coins;
}

const QStringList& MainNetworkCaptions()
{
    static const QStringList captions{"OMNI", "ETHEREUM", "POLYGON"};
    return captions;
}

QString DepositNetworkText(const QString& coin, const QString& network)
{
    if (network != QLatin1String("Main")) return DepositNetworkCaption(network);
    const qsizetype i = NetworkCoins().indexOf(coin);
    return i >= 0 ? MainNetworkCaptions().at(i) : network;
}

} // namespace api
