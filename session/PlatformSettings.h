#pragma once
// The platform settings reply: catalogue, per-coin limits and the fee percentage.
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <functional>
#include <optional>

namespace settings {

// What a settings reply leaves behind, as the service sent it.
struct Platform {
    std::optional<QJsonObject> MinWithdrawJson; // per-coin limits, APRs, fee percentage, deposit bonus
    int WithdrawPercent = 0;
    std::optional<QJsonArray> CoinNames;     // lower-case codes, catalogue order
    std::optional<QJsonArray> CoinFullNames; // one per code
};

// Applies a settings reply object, step by step: what a step stored stays
// stored when a later step throws (json::JsonError or
// numtext::ConversionError). fillCoinLists receives the upper-cased codes
// once the catalogue is read, before the full names are.
void ApplyReply(const QJsonObject& reply, Platform& state,
                const std::function<void(const QStringList& upperCodes)>& fillCoinLists);

// ASCII-only upper case, as coin codes are shown.
QString UpperAscii(const QString& text);

} // namespace settings
