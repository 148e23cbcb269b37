#pragma once
// The dashboard's figures in US dollars: the total of every wallet and
// investment, the selected coin's wallet and each coin row's wallet, from the
// service's prices, fetched again with every refreshed account. Integer
// arithmetic throughout (see session/Prices.h for the rounding).
#include "Prices.h"

#include <QHash>
#include <QObject>
#include <QPointer>

class QLabel;
class QWidget;

class WalletValue : public QObject {
    Q_OBJECT
public:
    // Adds its labels to the dashboard: "lab_usd_coin" (the selected coin's
    // wallet) and "lab_usd_total" under the coin's figures, "usd_<code>" after
    // the balance in each coin row.
    explicit WalletValue(QWidget* dashboard);

    // Asks for the prices and shows the values once they are in.
    void Refresh();
    // Shows the values from the last prices and the account as it is now.
    void Show();

    // The sum of every wallet and investment of the account, or nothing
    // without prices, a snapshot, or when it does not fit.
    std::optional<prices::NanoUsd> Total() const;

private:
    std::optional<prices::NanoUsd> CoinValue(const QString& code, bool withInvested) const;

    QPointer<QWidget> m_dashboard;
    QLabel* m_total = nullptr;
    QLabel* m_coin = nullptr;
    QHash<QString, QLabel*> m_rows;
    std::optional<prices::Table> m_prices;
};
