// Withdrawal addresses are typed or pasted by users and sent by anyone to the
// service: every coin, network and text must get a verdict, never a crash, and
// the codecs must read back what they accept.
#include "Address.h"
#include "FuzzSupport.h"

#include <string>

namespace {

using fuzz::Check;

const char* const Coins[] = {"btc", "ltc", "bnb", "eth", "doge", "trx", "usdt", "bch", "dash",
                             "xmr", "etc", "shib", "zec", "sol", "matic", "xyz"};
const char* const Networks[] = {"main", "Main", "bep20", "erc20", "trc20", "sol", "prc20", "other"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const char* coin = Coins[data[0] % std::size(Coins)];
    const char* network = Networks[data[1] % std::size(Networks)];
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

    const address::Verdict v = address::Check(coin, network, text);
    Check(bool(v) == v.message.empty(), "a refusal says why, an acceptance says nothing");

    if (const auto raw = address::Base58Decode(text))
        Check(address::Base58Encode(*raw) == text, "Base58 reads back as written");
    if (const auto raw = address::MoneroBase58Decode(text))
        Check(address::MoneroBase58Encode(*raw) == text, "Monero Base58 reads back as written");
    if (const auto b = address::Bech32Decode(text, 1000)) {
        std::string lower = text;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        Check(address::Bech32Encode(*b) == lower, "Bech32 reads back as written, in lower case");
    }
    (void)address::CashAddrDecode(text, "bitcoincash");
    return 0;
}
