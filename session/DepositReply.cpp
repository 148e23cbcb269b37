#include "DepositReply.h"

namespace deposit {

std::optional<QString> ReadAddress(const QString& body)
{
    if (body.isEmpty()) return std::nullopt;
    return body;
}

} // namespace deposit
