#include "LotteryDraw.h"

#include <sodium.h>

#include <array>
#include <stdexcept>

namespace lottery {

namespace {

std::optional<std::array<std::uint8_t, SeedBytes>> SeedOf(std::string_view hex)
{
    std::array<std::uint8_t, SeedBytes> seed{};
    if (hex.size() != SeedBytes * 2) return std::nullopt;
    for (char c : hex)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
    std::size_t len = 0;
    if (sodium_hex2bin(seed.data(), seed.size(), hex.data(), hex.size(), nullptr, &len, nullptr) != 0 ||
        len != SeedBytes)
        return std::nullopt;
    return seed;
}

std::string Hex(const std::uint8_t* p, std::size_t n)
{
    std::string out(n * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), p, n);
    out.resize(n * 2);
    return out;
}

} // namespace

std::string NewSeedHex()
{
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
    std::array<std::uint8_t, SeedBytes> seed{};
    randombytes_buf(seed.data(), seed.size());
    return Hex(seed.data(), seed.size());
}

std::string CommitmentHex(std::string_view seedHex)
{
    const auto seed = SeedOf(seedHex);
    if (!seed) return {};
    std::array<std::uint8_t, crypto_hash_sha256_BYTES> h{};
    crypto_hash_sha256(h.data(), seed->data(), seed->size());
    return Hex(h.data(), h.size());
}

std::optional<std::size_t> PickWinner(std::string_view seedHex, const std::vector<std::int64_t>& stakes)
{
    const auto seed = SeedOf(seedHex);
    if (!seed) return std::nullopt;
    std::uint64_t total = 0;
    for (std::int64_t s : stakes) {
        if (s < 0) return std::nullopt;
        if (total + static_cast<std::uint64_t>(s) < total) return std::nullopt; // cannot happen with 63-bit sums
        total += static_cast<std::uint64_t>(s);
    }
    if (total == 0) return std::nullopt;
    // 2^64 - (2^64 mod total), written without 2^64: UINT64_MAX + 1 wraps.
    const std::uint64_t rest = (UINT64_MAX % total + 1) % total;
    const std::uint64_t limit = UINT64_MAX - rest + 1; // 0 stands for 2^64 when rest is 0
    std::uint64_t r = 0;
    for (std::uint32_t i = 0;; ++i) {
        std::uint8_t block[SeedBytes + 4];
        std::copy(seed->begin(), seed->end(), block);
        block[SeedBytes] = static_cast<std::uint8_t>(i >> 24);
        block[SeedBytes + 1] = static_cast<std::uint8_t>(i >> 16);
        block[SeedBytes + 2] = static_cast<std::uint8_t>(i >> 8);
        block[SeedBytes + 3] = static_cast<std::uint8_t>(i);
        std::array<std::uint8_t, crypto_hash_sha256_BYTES> h{};
        crypto_hash_sha256(h.data(), block, sizeof block);
        r = 0;
        for (int b = 0; b < 8; ++b) r = (r << 8) | h[b];
        if (rest == 0 || r < limit) break; // at most a 1 in 2 chance of another round
    }
    std::uint64_t x = r % total;
    for (std::size_t k = 0; k < stakes.size(); ++k) {
        if (x < static_cast<std::uint64_t>(stakes[k])) return k;
        x -= static_cast<std::uint64_t>(stakes[k]);
    }
    return std::nullopt; // unreachable: x < total
}

} // namespace lottery
