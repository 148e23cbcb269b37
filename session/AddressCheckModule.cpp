// The address library behind a plain C entry, loaded by the client at its first
// address check (session/AddressCheck.cpp).
#include "Address.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>

extern "C" __attribute__((visibility("default"))) int ambervale_address_check(const char* coin, const char* network,
                                                                               const char* text, char* message,
                                                                               std::size_t messageSize)
{
    try {
        const address::Verdict v = address::Check(coin, network, text);
        if (message && messageSize > 0) {
            const std::size_t n = std::min(v.message.size(), messageSize - 1);
            std::memcpy(message, v.message.data(), n);
            message[n] = '\0';
        }
        return static_cast<int>(v.problem);
    } catch (const std::exception&) {
        if (message && messageSize > 0) message[0] = '\0';
        return -1;
    }
}
