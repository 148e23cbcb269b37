#include "AccountModel.h"
#include "AccountSnapshot.h"
#include "Json.h"
#include "MoneyInput.h"
#include "NumberText.h"
#include "WalletFigures.h"

namespace {
AccountModel* g_model = nullptr;

constexpr AccountModel::Amount AllAmounts[] = {
    AccountModel::Amount::Wallet, AccountModel::Amount::Invested, AccountModel::Amount::Deposited,
    AccountModel::Amount::EarnedOnInvestments, AccountModel::Amount::EarnedOnReferrals};
} // namespace

AccountModel::AccountModel(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("AccountModel"));
    g_model = this;
}

AccountModel::~AccountModel()
{
    if (g_model == this) g_model = nullptr;
}

AccountModel* AccountModel::Instance()
{
    return g_model;
}

AccountModel& Account()
{
    Q_ASSERT(g_model);
    return *g_model;
}

// ---- platform settings ----

void AccountModel::ApplySettings(const QJsonObject& reply)
{
    settings::ApplyReply(reply, m_platform, [this](const QStringList& codes) { emit CatalogueChanged(codes); });
}

QStringList AccountModel::Codes() const
{
    QStringList codes;
    if (m_platform.CoinNames)
        for (const QJsonValue& v : *m_platform.CoinNames) codes << json::Text(v);
    return codes;
}

QString AccountModel::FullName(const QString& code) const
{
    const auto& names = m_platform.CoinNames;
    const auto& fullNames = m_platform.CoinFullNames;
    if (!names || !fullNames) return {};
    for (qsizetype i = 0; i < names->size() && i < fullNames->size(); ++i)
        if (json::Text(names->at(i)) == code) return json::Text(fullNames->at(i));
    return {};
}

bool AccountModel::CoinMatchesSearch(const QString& code, const QString& search) const
{
    const QString wanted = search.trimmed();
    if (code.contains(wanted, Qt::CaseInsensitive)) return true;
    const auto& names = m_platform.CoinNames;
    const auto& fullNames = m_platform.CoinFullNames;
    if (!names || !fullNames) return false;
    for (qsizetype i = 0; i < names->size() && i < fullNames->size(); ++i) {
        if (names->at(i).toString().compare(code, Qt::CaseInsensitive) == 0)
            return fullNames->at(i).toString().contains(wanted, Qt::CaseInsensitive);
    }
    return false;
}

const QJsonObject& AccountModel::Limits() const
{
    if (!m_platform.MinWithdrawJson)
        throw json::JsonError(QStringLiteral("the platform settings have not been loaded"));
    return *m_platform.MinWithdrawJson;
}

int AccountModel::Apr(const QString& code) const
{
    return numtext::ParseWhole(json::MemberText(Limits(), QStringLiteral("APR_") + code));
}

QString AccountModel::MinWithdrawText(const QString& code) const
{
    QString minimum = json::MemberText(Limits(), code);
    minimum.replace(QLatin1Char('.'), QLatin1Char(','));
    return minimum;
}

QString AccountModel::MinDepositText(const QString& code) const
{
    return numtext::Fixed8(numtext::ParseAmount(json::MemberText(Limits(), QStringLiteral("Mindep_") + code)));
}

QString AccountModel::DepositBonusText() const
{
    return json::MemberText(Limits(), QStringLiteral("bonus_deposit"));
}

// ---- the account snapshot ----

void AccountModel::TakeSnapshot(const QJsonObject& account)
{
    if (!m_platform.CoinNames) throw json::JsonError(QStringLiteral("the coin catalogue has not been loaded"));
    QJsonObject amounts;
    snapshot::DeriveBalance(account, *m_platform.CoinNames, amounts); // throws before anything changed
    m_account = account;
    m_amounts = amounts;
    QString missing;
    for (const QString& code : m_shownCoins)
        if (!m_amounts.contains(AmountPrefix(Amount::Wallet) + code)) {
            missing = AmountPrefix(Amount::Wallet) + code;
            break;
        }
    // The coins that are there are shown either way.
    emit AccountChanged();
    if (!missing.isEmpty()) json::Member(m_amounts, missing); // throws its "not found"
}

QString AccountModel::AmountPrefix(Amount amount)
{
    return snapshot::AmountPrefixes().at(static_cast<int>(amount));
}

std::optional<std::pair<AccountModel::Amount, QString>> AccountModel::AmountNamed(const QString& name)
{
    // "earned_inv_" and "earned_ref_" share no prefix with the others, so the first match is the one.
    for (Amount amount : AllAmounts) {
        const QString prefix = AmountPrefix(amount);
        if (name.startsWith(prefix)) return std::pair{amount, name.mid(prefix.size())};
    }
    return std::nullopt;
}

QString AccountModel::AmountText(Amount amount, const QString& code) const
{
    if (!m_account) throw json::JsonError(QStringLiteral("no account balances have been loaded"));
    return json::MemberText(m_amounts, AmountPrefix(amount) + code);
}

std::optional<QString> AccountModel::FindAmountText(Amount amount, const QString& code) const
{
    const QJsonValue text = m_amounts.value(AmountPrefix(amount) + code);
    if (!text.isString()) return std::nullopt;
    return text.toString();
}

const QJsonObject& AccountModel::Snapshot() const
{
    if (!m_account) throw json::JsonError(QStringLiteral("no account has been loaded"));
    return *m_account;
}

QString AccountModel::WalletMaxText(const QString& code) const
{
    return money::WalletMaxText(m_account, code);
}

QString AccountModel::RentalDaysText(const QString& code) const
{
    return json::MemberText(Snapshot(), QStringLiteral("rental_days_") + code);
}

QString AccountModel::ReferralCode() const
{
    return json::MemberText(Snapshot(), QStringLiteral("refcode"));
}

QString AccountModel::ReferralCountText() const
{
    return json::MemberText(Snapshot(), QStringLiteral("refcol"));
}

// ---- the user's picks ----

void AccountModel::SetCurrentCoin(const QString& code, const QString& fullName)
{
    const bool changed = m_currentCoin != code || m_currentName != fullName;
    m_currentCoin = code;
    m_currentName = fullName;
    if (changed) emit CurrentCoinChanged();
}

void AccountModel::PrepareWithdrawal()
{
    const QString minimum = MinWithdrawText(m_currentCoin);
    const QString fixedFee = figures::WithdrawFixedFee(minimum);
    m_withdrawMinimum = minimum;
    m_withdrawFixedFee = fixedFee;
}

bool AccountModel::TwoFactorOn() const
{
    if (!m_account) return false;
    const QJsonValue flag = m_account->value(QStringLiteral("twofa"));
    return flag.isString() && flag.toString() == QLatin1String("1");
}

void AccountModel::SetFiguresHidden(bool hidden)
{
    if (hidden == m_figuresHidden) return;
    m_figuresHidden = hidden;
    if (HasSnapshot()) emit AccountChanged();
}

QString AccountModel::MaskedFigure()
{
    return QStringLiteral("\u2022\u2022\u2022\u2022");
}
