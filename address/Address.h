#pragma once
// Withdrawal addresses checked before money leaves: the formats each coin and
// network uses, with their checksums. Shared by the client (it says what is
// wrong before the confirmation opens) and the service (it refuses). No Qt.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace address {

using Bytes = std::vector<std::uint8_t>;

enum class Problem {
    None,
    Empty,
    BadCharacters, // not the alphabet of any format the coin uses on that network
    BadChecksum,   // right shape, a character wrong
    WrongLength,
    WrongNetwork,  // a valid address, of another coin or network
    UnknownFormat, // none of the coin's formats
};

struct Verdict {
    Problem problem = Problem::None;
    std::string message; // empty when the address is fine
    explicit operator bool() const { return problem == Problem::None; }
};

// coin: lower-case code ("btc"); network: "main" (any letter case, "Main" as the
// client sends it) or one of "bep20", "erc20", "trc20", "sol", "prc20".
Verdict Check(std::string_view coin, std::string_view network, std::string_view text);

// Building blocks, for the tests and for each other.
std::array<std::uint8_t, 32> Sha256(const std::uint8_t* data, std::size_t size);
std::array<std::uint8_t, 32> Keccak256(const std::uint8_t* data, std::size_t size);
std::optional<Bytes> Base58Decode(std::string_view text);
std::string Base58Encode(const Bytes& data);
// Version bytes and payload, the four-byte double-SHA-256 checksum verified and removed.
std::optional<Bytes> Base58CheckDecode(std::string_view text);
std::string Base58CheckEncode(const Bytes& data);

struct Bech32 {
    enum class Kind { Bech32, Bech32m } kind = Kind::Bech32;
    std::string hrp;        // lower case
    Bytes values;           // 5-bit values, checksum removed
};
// Either checksum variant; mixed case, a missing separator or a length past
// limit (90 by default) is no address.
std::optional<Bech32> Bech32Decode(std::string_view text, std::size_t limit = 90);
std::string Bech32Encode(const Bech32& b);
// Regroups bits (8 -> 5 or 5 -> 8); nullopt on leftover bits that are not zero padding.
std::optional<Bytes> ConvertBits(const Bytes& in, int from, int to, bool pad);

// "0x" and forty hex digits; all-lower or all-upper case, or the EIP-55 checksum casing.
bool EvmAddress(std::string_view text, bool* checksumWrong = nullptr);
std::string Eip55(std::string_view hex40Lower);

// Monero's own Base58 (blocks of 8 bytes in 11 characters).
std::optional<Bytes> MoneroBase58Decode(std::string_view text);
std::string MoneroBase58Encode(const Bytes& data);

// CashAddr (prefix, then version byte and hash); the prefix may be left out.
std::optional<Bytes> CashAddrDecode(std::string_view text, std::string_view prefix);
std::string CashAddrEncode(std::string_view prefix, const Bytes& payload);

} // namespace address
