#pragma once
// The field lists of the service's actions: "a" first, "session" last, the
// action's own fields in between, as the server reads them.
#include "FormEncoding.h"

namespace api {

// The settings actions carry no login: they are read before anyone logs in.
FormFields Settings(const QString& action, const QString& token);
FormFields Account(const QString& action, const QString& ref, const QString& login, const QString& pass,
                   const QString& token);
FormFields DepositAddress(const QString& coinGetA, const QString& login, const QString& pass, const QString& token);

// "btc", or "usdt.trc20" when a network other than the main one is chosen.
QString DepositCoin(const QString& coin, const QString& network);

} // namespace api
