#pragma once
// The account as the screens see it: the platform settings (catalogue, limits,
// fee), the last good account snapshot, the figures derived from it and the
// coin and network the user picked. The one holder of these: screens read
// them through the typed accessors below and redraw on the signals, never
// from each other's widgets and never from the service's JSON.
#include "PlatformSettings.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class AccountModel : public QObject {
    Q_OBJECT
public:
    explicit AccountModel(QObject* parent = nullptr);
    ~AccountModel() override;

    // The one alive, or null.
    static AccountModel* Instance();

    // ---- platform settings ----

    // Applies a settings reply step by step (what a step stored stays when a
    // later one throws); the coin lists hear of the catalogue once it is read.
    void ApplySettings(const QJsonObject& reply);
    bool HasSettings() const { return m_platform.MinWithdrawJson.has_value(); }
    bool HasCatalogue() const { return m_platform.CoinNames.has_value(); }
    // The catalogue's codes, lower case, in its order (empty before it is read).
    QStringList Codes() const;
    // The full name the catalogue gives code (lower case), or empty.
    QString FullName(const QString& code) const;
    // Whether a coin list's row for this code answers a search: by code or by
    // the full name the catalogue gives it, in any letter case.
    bool CoinMatchesSearch(const QString& code, const QString& search) const;
    // The withdrawal fee's percentage.
    int WithdrawPercent() const { return m_platform.WithdrawPercent; }
    // The coin's yearly percentage on investments. Throws (json::JsonError,
    // numtext::ConversionError) without settings or a readable figure.
    int Apr(const QString& code) const;
    // The coin's minimum withdrawal as the service gives it, with "," as the
    // decimal point ("0,001"). Throws json::JsonError when it is not there.
    QString MinWithdrawText(const QString& code) const;
    // The coin's minimum deposit, fixed 8 decimals. Throws as Apr does.
    QString MinDepositText(const QString& code) const;
    // The bonus on deposits, as the service writes it ("5"). Throws json::JsonError.
    QString DepositBonusText() const;

    // ---- the account snapshot ----

    // The coins a screen shows a balance of: each must be in every snapshot,
    // else taking it fails (once the others are shown).
    void SetShownCoins(const QStringList& lowerCodes) { m_shownCoins = lowerCodes; }

    // Takes the account snapshot the service sent when it accepted the login
    // or a refresh, and derives its figures. All or nothing: a snapshot that
    // cannot be derived throws (json::JsonError, numtext::ConversionError)
    // and the last good figures stay, unsignalled. A good one replaces them
    // and AccountChanged is emitted once, also when the figures are the same
    // (the screens show them again); a coin of SetShownCoins the catalogue
    // lacks then throws json::JsonError naming its wallet.
    void TakeSnapshot(const QJsonObject& account);
    bool HasSnapshot() const { return m_account.has_value(); }

    // The five amounts every coin has in a snapshot.
    enum class Amount { Wallet, Invested, Deposited, EarnedOnInvestments, EarnedOnReferrals };
    // The fixed-8 text of one of them ("1,50000000"). Throws json::JsonError
    // without a snapshot or for a coin the snapshot has no figures of.
    QString AmountText(Amount amount, const QString& code) const;
    // Same, or nothing, where a screen leaves its field as it is.
    std::optional<QString> FindAmountText(Amount amount, const QString& code) const;
    // Labels and members named after an amount begin with this ("wall_").
    static QString AmountPrefix(Amount amount);
    // The amount a label or member name (prefix + code) stands for, and its code.
    static std::optional<std::pair<Amount, QString>> AmountNamed(const QString& name);

    // "MAX": the coin's wallet exactly as the snapshot holds it, fixed 8
    // decimals. Throws as money::WalletMaxText does.
    QString WalletMaxText(const QString& code) const;
    // The days left of the coin's rental ("25"). Throws json::JsonError.
    QString RentalDaysText(const QString& code) const;
    // The user's referral code and the number of users it brought. Throw json::JsonError.
    QString ReferralCode() const;
    QString ReferralCountText() const;

    // ---- the user's picks ----

    // The selected coin (lower case) and its full name, as the dashboard or
    // the statistics last showed them.
    QString CurrentCoin() const { return m_currentCoin; }
    QString CurrentCoinName() const { return m_currentName; }
    void SetCurrentCoin(const QString& code, const QString& fullName);
    // The network a deposit or withdrawal of the current coin goes over.
    QString CurrentNetwork() const { return m_currentNetwork; }
    void SetCurrentNetwork(const QString& network) { m_currentNetwork = network; }

    // Works out the current coin's minimum withdrawal and fixed fee for the
    // withdraw screen; throws (and keeps the last ones) when the settings
    // lack them.
    void PrepareWithdrawal();
    // Both as PrepareWithdrawal left them, "," as decimal point (empty before).
    QString WithdrawMinimumText() const { return m_withdrawMinimum; }
    QString WithdrawFixedFee() const { return m_withdrawFixedFee; }

signals:
    // The catalogue's codes, upper case, as a settings reply lists them.
    void CatalogueChanged(const QStringList& upperCodes);
    // A new snapshot was taken.
    void AccountChanged();
    // Another coin is selected.
    void CurrentCoinChanged();

private:
    const QJsonObject& Limits() const;
    const QJsonObject& Snapshot() const;

    settings::Platform m_platform;
    std::optional<QJsonObject> m_account; // the last good snapshot
    QJsonObject m_amounts;                // its fixed-8 texts, named prefix + code
    QStringList m_shownCoins;
    QString m_currentCoin = QStringLiteral("btc");
    QString m_currentName;
    QString m_currentNetwork = QStringLiteral("Main");
    QString m_withdrawMinimum;
    QString m_withdrawFixedFee;

    // Accessors added for later features go below, each with its own members.

    // ---- account safety ----
public:
    // Two-factor codes are on for the account ("twofa" of the last good
    // snapshot is "1"); false without a snapshot or the member.
    bool TwoFactorOn() const;

    // While figures are hidden every figure of the account is shown as "••••":
    // screens pass each figure they show through Shown(). Switching emits
    // AccountChanged when there is a snapshot, so every screen draws again.
    bool FiguresHidden() const { return m_figuresHidden; }
    void SetFiguresHidden(bool hidden);
    QString Shown(const QString& figure) const { return m_figuresHidden ? MaskedFigure() : figure; }
    static QString MaskedFigure();

private:
    bool m_figuresHidden = false;
};

// AccountModel::Instance(), which must exist.
AccountModel& Account();
