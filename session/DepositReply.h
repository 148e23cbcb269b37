#pragma once
// The reply to a deposit-address request.
#include <QString>
#include <optional>

namespace deposit {

// The whole body is the address, taken as it is (the client does not judge
// its form); an empty body is the service saying it has none for this coin
// and network, and gives nothing.
std::optional<QString> ReadAddress(const QString& body);

} // namespace deposit
