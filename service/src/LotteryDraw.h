#pragma once
// The lottery's draw, checkable by anyone: the service commits to a random seed
// when a draw opens (its SHA-256 is published beside the players) and reveals the
// seed with the winner. The winner is this deterministic function of the seed and
// the final players list, so the seed could not be picked after the players were
// known, and the draw can be recomputed from the published files.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lottery {

inline constexpr std::size_t SeedBytes = 32;

std::string NewSeedHex();                            // 32 random bytes, 64 lower-case hex digits
std::string CommitmentHex(std::string_view seedHex); // SHA-256 of the seed's 32 bytes, lower-case hex; "" for a bad seed

// Stakes in the service's smallest units, in the order the players joined. The index of the winner:
// for counter i = 0, 1, 2, ... take the first 8 bytes of SHA-256(seed || i as 4 bytes big-endian) as a
// big-endian number r; while r >= 2^64 - (2^64 mod total) (the top slice that would favour small values)
// go on to the next i; else x = r mod total and the winner is the first player whose running sum of
// stakes exceeds x. nullopt when the seed is not 32 bytes of hex or no stake is above zero.
std::optional<std::size_t> PickWinner(std::string_view seedHex, const std::vector<std::int64_t>& stakes);

} // namespace lottery
