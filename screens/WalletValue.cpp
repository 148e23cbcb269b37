#include "WalletValue.h"

#include "AccountModel.h"
#include "CoinRows.h"
#include "Money.h"
#include "NumberText.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QWidget>

namespace {

QLabel* ValueLabel(QWidget* parent, const QString& name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    return l;
}

std::optional<qint64> Units(AccountModel::Amount amount, const QString& code)
{
    const std::optional<QString> text = Account().FindAmountText(amount, code);
    if (!text) return std::nullopt;
    try {
        return numtext::ParseUnits(*text);
    } catch (const numtext::ConversionError&) {
        return std::nullopt;
    }
}

} // namespace

WalletValue::WalletValue(QWidget* dashboard) : QObject(dashboard), m_dashboard(dashboard)
{
    setObjectName(QStringLiteral("WalletValue"));
    if (auto* balance = dashboard->findChild<QLabel*>(QStringLiteral("lab_wall_coin"))) {
        QWidget* holder = balance->parentWidget();
        m_coin = ValueLabel(holder, QStringLiteral("lab_usd_coin"));
        m_coin->setAccessibleName(QStringLiteral("Value of the balance in US dollars"));
        m_total = ValueLabel(holder, QStringLiteral("lab_usd_total"));
        m_total->setAccessibleName(QStringLiteral("Total value in US dollars"));
        // Beside the balance in its grid, and the total on a row of its own below the figures.
        const auto grids = holder->findChildren<QGridLayout*>();
        for (QGridLayout* grid : grids) {
            const int index = grid->indexOf(balance);
            if (index < 0) continue;
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
            // Under the figures, so the balance keeps the whole width of its row.
            Q_UNUSED(row);
            Q_UNUSED(rowSpan);
            grid->addWidget(m_coin, grid->rowCount(), column, 1, columnSpan);
            grid->addWidget(m_total, grid->rowCount(), 0, 1, -1);
            break;
        }
    }
    for (const QString& upper : CoinListCodes()) {
        const QString code = upper.toLower();
        auto* wallet = dashboard->findChild<QLabel*>(QStringLiteral("wall_") + code);
        if (!wallet || !wallet->parentWidget() || !wallet->parentWidget()->layout()) continue;
        auto* row = qobject_cast<QBoxLayout*>(wallet->parentWidget()->layout());
        if (!row) continue;
        QLabel* usd = ValueLabel(wallet->parentWidget(), QStringLiteral("usd_") + code);
        usd->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // As wide as its text and no wider: the balance takes the rest of the row first.
        usd->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        row->addWidget(usd, 0);
        m_rows.insert(code, usd);
    }
    connect(&Account(), &AccountModel::AccountChanged, this, &WalletValue::Refresh);
    connect(&Account(), &AccountModel::CurrentCoinChanged, this, &WalletValue::Show);
}

void WalletValue::Refresh()
{
    prices::Fetch(this, [this](const prices::Table* table, const QString&) {
        // Without an answer the last values stay: the balances beside them carry on regardless.
        if (!table) return;
        m_prices = *table;
        Show();
    });
}

std::optional<prices::NanoUsd> WalletValue::CoinValue(const QString& code, bool withInvested) const
{
    if (!m_prices || !m_prices->usd.contains(code)) return std::nullopt;
    const prices::NanoUsd price = m_prices->usd.value(code);
    const std::optional<qint64> wallet = Units(AccountModel::Amount::Wallet, code);
    if (!wallet) return std::nullopt;
    std::optional<prices::NanoUsd> value = prices::Value(*wallet, price);
    if (!value || !withInvested) return value;
    const std::optional<qint64> invested = Units(AccountModel::Amount::Invested, code);
    if (!invested) return std::nullopt;
    const std::optional<prices::NanoUsd> more = prices::Value(*invested, price);
    if (!more) return std::nullopt;
    try {
        return money::Add(*value, *more);
    } catch (const money::Overflow&) {
        return std::nullopt;
    }
}

std::optional<prices::NanoUsd> WalletValue::Total() const
{
    if (!m_prices || !Account().HasSnapshot()) return std::nullopt;
    prices::NanoUsd total = 0;
    // Each coin exact to the billionth, summed, then cut once when shown.
    for (const QString& code : Account().Codes()) {
        if (!m_prices->usd.contains(code)) continue; // a coin without a price adds nothing it can be valued at
        const std::optional<prices::NanoUsd> v = CoinValue(code, true);
        if (!v) return std::nullopt;
        try {
            total = money::Add(total, *v);
        } catch (const money::Overflow&) {
            return std::nullopt;
        }
    }
    return total;
}

void WalletValue::Show()
{
    if (!m_prices) return;
    auto text = [](const std::optional<prices::NanoUsd>& v) {
        return v ? Account().Shown(prices::UsdText(*v)) : QString();
    };
    for (auto it = m_rows.begin(); it != m_rows.end(); ++it) it.value()->setText(text(CoinValue(it.key(), false)));
    if (m_coin) {
        const QString value = text(CoinValue(Account().CurrentCoin(), false));
        m_coin->setText(value.isEmpty() ? value : QStringLiteral("Worth ") + value);
    }
    if (m_total) {
        const std::optional<prices::NanoUsd> total = Total();
        m_total->setText(total ? QStringLiteral("Total value: ") + Account().Shown(prices::UsdText(*total)) : QString());
    }
}
