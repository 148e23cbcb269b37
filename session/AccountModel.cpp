#include "AccountModel.h"
#include "AccountSnapshot.h"
#include "Json.h"
#include "PlatformSettings.h"

namespace {
AccountModel* g_model = nullptr;
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

void AccountModel::ApplySettings(const QJsonObject& reply)
{
    settings::ApplyReply(reply, State(), [this](const QStringList& codes) { emit CatalogueChanged(codes); });
}

void AccountModel::SetAccount(const QJsonObject& account)
{
    State().UserAccountJson = account;
}

void AccountModel::Derive()
{
    AppState& st = State();
    QJsonObject& balance = st.BalanceJson.emplace();
    if (!st.CoinNames) throw json::JsonError(QStringLiteral("the coin catalogue has not been loaded"));
    snapshot::DeriveBalance(st.UserAccountJson.value_or(QJsonObject()), *st.CoinNames, balance);
    QString missing;
    for (const QString& code : m_shownCoins)
        if (!balance.contains(QStringLiteral("wall_") + code)) {
            missing = QStringLiteral("wall_") + code;
            break;
        }
    // The coins that are there are shown either way.
    emit AccountChanged();
    if (!missing.isEmpty()) json::MemberText(balance, missing); // throws its "not found"
}

QString AccountModel::FullName(const QString& code) const
{
    const AppState& st = State();
    if (!st.CoinNames || !st.CoinFullNames) return {};
    for (qsizetype i = 0; i < st.CoinNames->size() && i < st.CoinFullNames->size(); ++i)
        if (json::Text(st.CoinNames->at(i)) == code) return json::Text(st.CoinFullNames->at(i));
    return {};
}

void AccountModel::SetCurrentCoin(const QString& code, const QString& fullName)
{
    const bool changed = State().CurrentCoin != code || m_currentName != fullName;
    State().CurrentCoin = code;
    m_currentName = fullName;
    if (changed) emit CurrentCoinChanged();
}
