#pragma once
// Time-based one-time codes (RFC 6238 over RFC 4226's HOTP, HMAC-SHA-1) for the
// second factor, and the sealing of their secrets under the service's own key.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace totp {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::int64_t Period = 30; // seconds per step
inline constexpr int Digits = 6;
inline constexpr std::size_t SecretBytes = 20; // 160 bits, RFC 4226's recommendation

// RFC 4226: HMAC-SHA-1 of the counter, dynamic truncation, the last `digits` decimal digits.
std::string Hotp(const Bytes& key, std::uint64_t counter, int digits = Digits);
// The step holding unix time t (floor(t / 30)).
std::int64_t StepAt(std::int64_t unixTime);
std::string CodeAt(const Bytes& key, std::int64_t unixTime, int digits = Digits);

// RFC 4648 base32, upper case, no padding; decoding takes either case and ignores padding.
std::string Base32(const Bytes& data);
std::optional<Bytes> FromBase32(std::string_view text);

// The step a code belongs to when it is one of the steps now-1 .. now+1 and later than lastStep
// (a code is accepted once). Anything but six ASCII digits is no code.
std::optional<std::int64_t> Accept(const Bytes& key, std::string_view code, std::int64_t unixTime,
                                   std::int64_t lastStep);
bool LooksLikeCode(std::string_view code);

// otpauth://totp/ISSUER:LOGIN?secret=...&issuer=...&algorithm=SHA1&digits=6&period=30, percent-encoded.
std::string Uri(std::string_view issuer, std::string_view login, const Bytes& secret);

// A secretbox key kept in a file of its own, 32 random bytes made 0600 at first start. Sealed texts
// carry the key's fingerprint, so a secret sealed under another key is told apart from a damaged one.
class Sealer {
public:
    // Reads the file, or creates it (exclusively, mode 0600) when absent. Throws when it cannot.
    static Sealer FromFile(const std::filesystem::path& file);
    static Sealer Random(); // a key for this process only (tests, tools without a data folder)

    std::string seal(const Bytes& plain) const; // hex: fingerprint, nonce, ciphertext
    // nullopt when the text was not sealed under this key or was altered.
    std::optional<Bytes> open(std::string_view sealed) const;
    std::string fingerprint() const; // 16 hex digits

private:
    Bytes m_key;
};

} // namespace totp
