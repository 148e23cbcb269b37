#pragma once
// The platform settings reply: catalogue, per-coin limits and the fee percentage.
#include "AppState.h"

#include <QStringList>
#include <functional>

namespace settings {

// Applies a settings reply object to the state, step by step: what a step
// stored stays stored when a later step throws (json::JsonError or
// numtext::ConversionError). fillCoinLists receives the upper-cased codes
// once the catalogue is read, before the full names are.
void ApplyReply(const QJsonObject& reply, AppState& state,
                const std::function<void(const QStringList& upperCodes)>& fillCoinLists);

// ASCII-only upper case, as coin codes are shown.
QString UpperAscii(const QString& text);

} // namespace settings
