#pragma once
// Password storage and checks. The client sends the MD5 digest of the
// password; only a salted slow hash of that digest is stored.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace auth {

// The client's digest of a typed password: one byte per UTF-16 unit, "?" for
// every unit above 127, MD5, 32 upper-case hex digits.
std::string ClientDigest(std::string_view utf8);

// libsodium's Argon2id string. opslimit is the interactive level; memory is a
// quarter of it (16 MiB) so a registration costs ~20 ms on a small machine.
std::string HashDigest(const std::string& digest);
bool VerifyDigest(const std::string& storedHash, const std::string& digest);

// A keyed hash, for secrets kept in memory or in the database (reset codes).
std::string Mac(std::string_view text);

bool IsHexDigest(std::string_view s); // 32 upper-case hex digits

// Verified digests, remembered briefly so the client's 20-second refresh does
// not pay the slow hash each time. Holds keyed hashes, never the digests.
class DigestCache {
public:
    explicit DigestCache(std::chrono::seconds ttl) : m_ttl(ttl) {}
    bool check(const std::string& loginKey, const std::string& storedHash, const std::string& digest);
    void remember(const std::string& loginKey, const std::string& storedHash, const std::string& digest);
    void forget(const std::string& loginKey);

private:
    struct Entry {
        std::string storedHash, mac;
        std::chrono::steady_clock::time_point expires;
    };
    std::chrono::seconds m_ttl;
    std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
};

// Wrong passwords per login: after MaxFailures within the window the login is
// paused for the rest of it, whatever password comes.
class Throttle {
public:
    static constexpr int MaxFailures = 5;
    static constexpr std::int64_t WindowSeconds = 300;
    // Seconds still to wait, 0 when attempts are allowed.
    std::int64_t blockedFor(const std::string& loginKey, std::int64_t now);
    void failure(const std::string& loginKey, std::int64_t now);
    void success(const std::string& loginKey);

private:
    struct Entry {
        int count = 0;
        std::int64_t first = 0, last = 0;
    };
    std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
};

} // namespace auth
