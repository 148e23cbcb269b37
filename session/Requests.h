#pragma once
#include <QStringList>
// The field lists of the service's actions: "a" first, "session" last, the
// action's own fields in between, as the server reads them.
#include "FormEncoding.h"

namespace api {

// The settings actions carry no login: they are read before anyone logs in.
FormFields Settings(const QString& action, const QString& token);
// "useraccount" and "tg_new_user".
FormFields Account(const QString& action, const QString& ref, const QString& login, const QString& pass,
                   const QString& token);
FormFields DepositAddress(const QString& coinGetA, const QString& login, const QString& pass, const QString& token);
FormFields InvestCoin(const QString& rentalCode, const QString& coin, const QString& value, const QString& login,
                      const QString& pass, const QString& token);
FormFields Withdraw(const QString& coin, const QString& addr, const QString& network, const QString& val,
                    const QString& login, const QString& pass, const QString& token);
// com is "get" for a quote, "swap" to exchange.
FormFields SwapCoin(const QString& com, const QString& cur0, const QString& cur1, const QString& val,
                    const QString& login, const QString& pass, const QString& token);
// pass is the security code or the old password exactly as typed.
FormFields ChangePass(const QString& login, const QString& newPass, const QString& pass, const QString& token);
FormFields ResetPass(const QString& login, const QString& token);
FormFields FreeCoin(const QString& login, const QString& pass, const QString& token);
FormFields BuyLotto(const QString& login, const QString& pass, const QString& coin, const QString& val,
                    const QString& token);

// "btc", or "usdt.trc20" when a network other than the main one is chosen.
QString DepositCoin(const QString& coin, const QString& network);
// What the user reads for a deposit network code ("trc20" -> "TRC-20"), as the
// picker's button says it; an unknown code is shown as it is.
QString DepositNetworkCaption(const QString& network);
// Coins whose deposit asks for a network, and the caption of their main one.
const QStringList& NetworkCoins();
const QStringList& MainNetworkCaptions();
// The network line of a deposit of coin on network: the main network of a coin
// that has several under its button's name, the others by their usual names.
QString DepositNetworkText(const QString& coin, const QString& network);

} // namespace api
