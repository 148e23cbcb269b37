#pragma once
// The account as the screens see it: the platform settings (catalogue, limits,
// fee), the last account snapshot and the figures derived from it, kept in the
// process-wide state. Whatever changes them goes through here, and the screens
// redraw on its signals instead of writing each other's widgets.
#include "AppState.h"

#include <QObject>
#include <QStringList>

class AccountModel : public QObject {
    Q_OBJECT
public:
    explicit AccountModel(QObject* parent = nullptr);
    ~AccountModel() override;

    // The one alive, or null.
    static AccountModel* Instance();

    // Applies a settings reply step by step (what a step stored stays when a
    // later one throws); the coin lists hear of the catalogue once it is read.
    void ApplySettings(const QJsonObject& reply);

    // Takes a new account snapshot (the service accepted the login).
    void SetAccount(const QJsonObject& account);
    // Derives the balance texts from the snapshot and tells the screens;
    // throws (json::JsonError, numtext::ConversionError) when they cannot be
    // derived, leaving the coins derived before the failure.
    void Derive();

    // The coins a screen shows a balance of: each must be in every derived
    // snapshot, else deriving fails (once the others are shown).
    void SetShownCoins(const QStringList& lowerCodes) { m_shownCoins = lowerCodes; }

    // The full name the catalogue gives code (lower case), or empty.
    QString FullName(const QString& code) const;
    // The selected coin and its full name, as the dashboard last showed them.
    QString CurrentCoin() const { return State().CurrentCoin; }
    QString CurrentCoinName() const { return m_currentName; }
    void SetCurrentCoin(const QString& code, const QString& fullName);

signals:
    // The catalogue's codes, upper case, as a settings reply lists them.
    void CatalogueChanged(const QStringList& upperCodes);
    // New balances are derived.
    void AccountChanged();
    // Another coin is selected.
    void CurrentCoinChanged();

private:
    QString m_currentName;
    QStringList m_shownCoins;
};

// AccountModel::Instance(), which must exist.
AccountModel& Account();
