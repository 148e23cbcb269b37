#include "Auth.h"

#include <openssl/evp.h>
#include <sodium.h>

#include <stdexcept>

namespace auth {

namespace {

std::string Hex(const unsigned char* p, size_t n, const char* digits)
{
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

constexpr unsigned long long OpsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr size_t MemLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE / 4;

const unsigned char* MacKey()
{
    static unsigned char key[crypto_generichash_KEYBYTES];
    static std::once_flag once;
    std::call_once(once, [] { randombytes_buf(key, sizeof key); });
    return key;
}

} // namespace

std::string ClientDigest(std::string_view s)
{
    std::string bytes;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
        if (len == 1)
            bytes += static_cast<char>(c);
        else
            bytes += len == 4 ? "??" : "?"; // a supplementary character is two UTF-16 units
        i += len;
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLen = 0;
    EVP_Digest(bytes.data(), bytes.size(), md, &mdLen, EVP_md5(), nullptr);
    return Hex(md, mdLen, "0123456789ABCDEF");
}

std::string HashDigest(const std::string& digest)
{
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, digest.data(), digest.size(), OpsLimit, MemLimit) != 0)
        throw std::runtime_error("out of memory while hashing a password");
    return out;
}

bool VerifyDigest(const std::string& storedHash, const std::string& digest)
{
    if (storedHash.size() < 10) return false; // the service's own accounts cannot log in
    return crypto_pwhash_str_verify(storedHash.c_str(), digest.data(), digest.size()) == 0;
}

bool VerifyNothing(const std::string& digest)
{
    static const std::string dummy = [] {
        unsigned char random[16];
        randombytes_buf(random, sizeof random);
        return HashDigest(Hex(random, sizeof random, "0123456789ABCDEF"));
    }();
    // Matching a random digest is out of reach; the result is there only for the time it takes.
    const int matched = crypto_pwhash_str_verify(dummy.c_str(), digest.data(), digest.size());
    (void)matched;
    return false;
}

std::string Mac(std::string_view text)
{
    unsigned char out[32];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char*>(text.data()), text.size(), MacKey(),
                       crypto_generichash_KEYBYTES);
    return Hex(out, sizeof out, "0123456789abcdef");
}

std::string KeyedHash(std::string_view key, std::string_view text)
{
    if (key.size() < crypto_generichash_KEYBYTES_MIN || key.size() > crypto_generichash_KEYBYTES_MAX)
        throw std::invalid_argument("hash key of the wrong length");
    unsigned char out[32];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                       reinterpret_cast<const unsigned char*>(key.data()), key.size());
    return Hex(out, sizeof out, "0123456789abcdef");
}

bool IsHexDigest(std::string_view s)
{
    if (s.size() != 32) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

bool DigestCache::check(const std::string& loginKey, const std::string& storedHash, const std::string& digest)
{
    const std::string mac = Mac(digest);
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(loginKey);
    if (it == m_entries.end()) return false;
    if (it->second.expires < std::chrono::steady_clock::now() || it->second.storedHash != storedHash) {
        m_entries.erase(it);
        return false;
    }
    return sodium_memcmp(it->second.mac.data(), mac.data(), mac.size()) == 0 && it->second.mac.size() == mac.size();
}

void DigestCache::remember(const std::string& loginKey, const std::string& storedHash, const std::string& digest)
{
    Entry e{storedHash, Mac(digest), std::chrono::steady_clock::now() + m_ttl};
    std::lock_guard lock(m_mutex);
    if (m_entries.size() > 100000) m_entries.clear(); // bounded memory; the next refreshes pay the hash once
    m_entries[loginKey] = std::move(e);
}

void DigestCache::forget(const std::string& loginKey)
{
    std::lock_guard lock(m_mutex);
    m_entries.erase(loginKey);
}

} // namespace auth
