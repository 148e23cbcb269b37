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
// The same slow check for a login without an account, against a hash made at
// first use that no digest matches: always false, in the time a wrong password
// of a real account takes, so the time does not tell which logins exist.
bool VerifyNothing(const std::string& digest);

// A keyed hash with this process's own random key, for secrets kept in memory.
std::string Mac(std::string_view text);
// The same with a key every instance shares (the database's), for what one
// instance stores and another checks: reset codes, repeated requests.
// key: 16 to 64 bytes.
std::string KeyedHash(std::string_view key, std::string_view text);

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

} // namespace auth
