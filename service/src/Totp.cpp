#include "Totp.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace totp {

std::string Hotp(const Bytes& key, std::uint64_t counter, int digits)
{
    std::uint8_t msg[8];
    for (int i = 7; i >= 0; --i) {
        msg[i] = static_cast<std::uint8_t>(counter & 0xff);
        counter >>= 8;
    }
    std::uint8_t mac[EVP_MAX_MD_SIZE];
    unsigned int macLen = 0;
    if (!HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), msg, sizeof msg, mac, &macLen) || macLen != 20)
        throw std::runtime_error("HMAC-SHA-1 failed");
    const int offset = mac[19] & 0x0f;
    const std::uint32_t bin = (static_cast<std::uint32_t>(mac[offset] & 0x7f) << 24) |
                              (static_cast<std::uint32_t>(mac[offset + 1]) << 16) |
                              (static_cast<std::uint32_t>(mac[offset + 2]) << 8) | mac[offset + 3];
    std::uint32_t mod = 1;
    for (int i = 0; i < digits; ++i) mod *= 10;
    std::string out = std::to_string(bin % mod);
    return std::string(static_cast<std::size_t>(digits) - out.size(), '0') + out;
}

std::int64_t StepAt(std::int64_t unixTime)
{
    // Floor, also before 1970 (a test clock never goes there, but no negative rounding surprises).
    return unixTime >= 0 ? unixTime / Period : -((-unixTime + Period - 1) / Period);
}

std::string CodeAt(const Bytes& key, std::int64_t unixTime, int digits)
{
    return Hotp(key, static_cast<std::uint64_t>(StepAt(unixTime)), digits);
}

namespace {
constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
}

std::string Base32(const Bytes& data)
{
    std::string out;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (std::uint8_t b : data) {
        buffer = (buffer << 8) | b;
        bits += 8;
        while (bits >= 5) {
            out += Alphabet[(buffer >> (bits - 5)) & 31];
            bits -= 5;
        }
    }
    if (bits > 0) out += Alphabet[(buffer << (5 - bits)) & 31];
    return out;
}

std::optional<Bytes> FromBase32(std::string_view text)
{
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    Bytes out;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        const char u = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        const char* at = std::strchr(Alphabet, u);
        if (!at || u == '\0') return std::nullopt;
        buffer = (buffer << 5) | static_cast<std::uint32_t>(at - Alphabet);
        bits += 5;
        if (bits >= 8) {
            out.push_back(static_cast<std::uint8_t>((buffer >> (bits - 8)) & 0xff));
            bits -= 8;
        }
    }
    if (bits >= 5 || (buffer & ((1u << bits) - 1)) != 0) return std::nullopt; // not a whole encoding
    return out;
}

bool LooksLikeCode(std::string_view code)
{
    if (code.size() != static_cast<std::size_t>(Digits)) return false;
    for (char c : code)
        if (c < '0' || c > '9') return false;
    return true;
}

std::optional<std::int64_t> Accept(const Bytes& key, std::string_view code, std::int64_t unixTime,
                                   std::int64_t lastStep)
{
    if (!LooksLikeCode(code)) return std::nullopt;
    const std::int64_t now = StepAt(unixTime);
    std::optional<std::int64_t> found;
    // Every candidate is computed and compared in constant time, so the time does not tell which matched.
    for (std::int64_t s = now - 1; s <= now + 1; ++s) {
        const std::string expected = Hotp(key, static_cast<std::uint64_t>(s));
        if (sodium_memcmp(expected.data(), code.data(), expected.size()) == 0 && s > lastStep && !found) found = s;
    }
    return found;
}

namespace {
std::string Percent(std::string_view s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string Hex(const std::uint8_t* p, std::size_t n)
{
    std::string out(n * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), p, n);
    out.resize(n * 2);
    return out;
}
} // namespace

std::string Uri(std::string_view issuer, std::string_view login, const Bytes& secret)
{
    return "otpauth://totp/" + Percent(issuer) + ":" + Percent(login) + "?secret=" + Base32(secret) +
           "&issuer=" + Percent(issuer) + "&algorithm=SHA1&digits=" + std::to_string(Digits) +
           "&period=" + std::to_string(Period);
}

Sealer Sealer::Random()
{
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
    Sealer s;
    s.m_key.resize(crypto_secretbox_KEYBYTES);
    crypto_secretbox_keygen(s.m_key.data());
    return s;
}

Sealer Sealer::FromFile(const std::filesystem::path& file)
{
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
    Sealer s;
    s.m_key.resize(crypto_secretbox_KEYBYTES);
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        // First start: made with the final mode from the outset, never readable by others.
        crypto_secretbox_keygen(s.m_key.data());
        fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const bool ok = ::write(fd, s.m_key.data(), s.m_key.size()) == static_cast<ssize_t>(s.m_key.size()) &&
                            ::fsync(fd) == 0;
            ::close(fd);
            if (!ok) {
                ::unlink(file.c_str());
                throw std::runtime_error("cannot write " + file.string());
            }
            return s;
        }
        if (errno != EEXIST) throw std::runtime_error("cannot create " + file.string() + ": " + std::strerror(errno));
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC); // another process made it meanwhile
    }
    if (fd < 0) throw std::runtime_error("cannot read " + file.string() + ": " + std::strerror(errno));
    struct stat st {};
    const bool statOk = ::fstat(fd, &st) == 0;
    ssize_t got = 0;
    for (int tries = 0; tries < 50 && got < static_cast<ssize_t>(s.m_key.size()); ++tries) {
        // A file another process is still writing is short for a moment.
        got = ::pread(fd, s.m_key.data(), s.m_key.size(), 0);
        if (got < static_cast<ssize_t>(s.m_key.size())) ::usleep(10000);
    }
    ::close(fd);
    if (!statOk || got != static_cast<ssize_t>(s.m_key.size()) || st.st_size != static_cast<off_t>(s.m_key.size()))
        throw std::runtime_error(file.string() + " is not a key of " + std::to_string(s.m_key.size()) + " bytes");
    if (st.st_mode & 077) throw std::runtime_error(file.string() + " is readable by others: make it 0600");
    return s;
}

std::string Sealer::fingerprint() const
{
    std::uint8_t h[8];
    static const char context[] = "ambervale twofa key id";
    crypto_generichash(h, sizeof h, reinterpret_cast<const std::uint8_t*>(context), sizeof context - 1, m_key.data(),
                       m_key.size());
    return Hex(h, sizeof h);
}

std::string Sealer::seal(const Bytes& plain) const
{
    Bytes out(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + plain.size());
    randombytes_buf(out.data(), crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(out.data() + crypto_secretbox_NONCEBYTES, plain.data(), plain.size(), out.data(),
                          m_key.data());
    return fingerprint() + Hex(out.data(), out.size());
}

std::optional<Bytes> Sealer::open(std::string_view sealed) const
{
    const std::string id = fingerprint();
    if (sealed.size() < id.size() || sealed.substr(0, id.size()) != id) return std::nullopt;
    sealed.remove_prefix(id.size());
    Bytes raw(sealed.size() / 2);
    std::size_t len = 0;
    if (sodium_hex2bin(raw.data(), raw.size(), sealed.data(), sealed.size(), nullptr, &len, nullptr) != 0 ||
        len * 2 != sealed.size() || len < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES)
        return std::nullopt;
    Bytes plain(len - crypto_secretbox_NONCEBYTES - crypto_secretbox_MACBYTES);
    if (crypto_secretbox_open_easy(plain.data(), raw.data() + crypto_secretbox_NONCEBYTES,
                                   len - crypto_secretbox_NONCEBYTES, raw.data(), m_key.data()) != 0)
        return std::nullopt;
    return plain;
}

} // namespace totp
