#include "Address.h"

#include <openssl/evp.h>
#include <crypto++/keccak.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>

namespace address {

namespace {

constexpr std::string_view Base58Alphabet = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr std::string_view Bech32Charset = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";
// Nothing longer is an address of any coin here; the limit keeps hostile input cheap.
constexpr std::size_t MaxText = 128;

int Base58Value(char c)
{
    const auto at = Base58Alphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

int Bech32Value(char c)
{
    const auto at = Bech32Charset.find(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

bool AllBase58(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return Base58Value(c) >= 0; });
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::uint32_t Bech32Polymod(const Bytes& values)
{
    static constexpr std::uint32_t G[5] = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd, 0x2a1462b3};
    std::uint32_t chk = 1;
    for (std::uint8_t v : values) {
        const std::uint32_t top = chk >> 25;
        chk = ((chk & 0x1ffffff) << 5) ^ v;
        for (int i = 0; i < 5; ++i)
            if ((top >> i) & 1) chk ^= G[i];
    }
    return chk;
}

Bytes HrpExpand(std::string_view hrp)
{
    Bytes out;
    for (char c : hrp) out.push_back(static_cast<std::uint8_t>(c) >> 5);
    out.push_back(0);
    for (char c : hrp) out.push_back(static_cast<std::uint8_t>(c) & 31);
    return out;
}

constexpr std::uint32_t Bech32Const = 1, Bech32mConst = 0x2bc830a3;

std::uint64_t CashAddrPolymod(const Bytes& values)
{
    std::uint64_t c = 1;
    for (std::uint8_t d : values) {
        const std::uint8_t c0 = static_cast<std::uint8_t>(c >> 35);
        c = ((c & 0x07ffffffffULL) << 5) ^ d;
        if (c0 & 0x01) c ^= 0x98f2bc8e61ULL;
        if (c0 & 0x02) c ^= 0x79b76d99e2ULL;
        if (c0 & 0x04) c ^= 0xf33e5fb3c4ULL;
        if (c0 & 0x08) c ^= 0xae2eabe2a8ULL;
        if (c0 & 0x10) c ^= 0x1e4f43e470ULL;
    }
    return c ^ 1;
}

Bytes CashAddrPrefix(std::string_view prefix)
{
    Bytes out;
    for (char c : prefix) out.push_back(static_cast<std::uint8_t>(c) & 31);
    out.push_back(0);
    return out;
}

// Monero: bytes per block 0..8 -> characters.
constexpr int MoneroEncodedSize[9] = {0, 2, 3, 5, 6, 7, 9, 10, 11};

} // namespace

std::array<std::uint8_t, 32> Sha256(const std::uint8_t* data, std::size_t size)
{
    std::array<std::uint8_t, 32> out{};
    unsigned int length = 0;
    EVP_Digest(data, size, out.data(), &length, EVP_sha256(), nullptr);
    return out;
}

std::array<std::uint8_t, 32> Keccak256(const std::uint8_t* data, std::size_t size)
{
    std::array<std::uint8_t, 32> out{};
    CryptoPP::Keccak_256 k;
    k.CalculateDigest(out.data(), data, size);
    return out;
}

std::optional<Bytes> Base58Decode(std::string_view text)
{
    if (text.size() > MaxText) return std::nullopt;
    Bytes number; // big-endian
    for (char c : text) {
        const int v = Base58Value(c);
        if (v < 0) return std::nullopt;
        int carry = v;
        for (auto it = number.rbegin(); it != number.rend(); ++it) {
            carry += 58 * *it;
            *it = static_cast<std::uint8_t>(carry & 0xff);
            carry >>= 8;
        }
        while (carry > 0) {
            number.insert(number.begin(), static_cast<std::uint8_t>(carry & 0xff));
            carry >>= 8;
        }
    }
    const std::size_t zeros = std::find_if(text.begin(), text.end(), [](char c) { return c != '1'; }) - text.begin();
    Bytes out(zeros, 0);
    out.insert(out.end(), number.begin(), number.end());
    return out;
}

std::string Base58Encode(const Bytes& data)
{
    std::string digits; // little-endian base-58 digits
    for (std::uint8_t byte : data) {
        int carry = byte;
        for (char& d : digits) {
            carry += 256 * d;
            d = static_cast<char>(carry % 58);
            carry /= 58;
        }
        while (carry > 0) {
            digits.push_back(static_cast<char>(carry % 58));
            carry /= 58;
        }
    }
    const std::size_t zeros = std::find_if(data.begin(), data.end(), [](std::uint8_t b) { return b != 0; }) - data.begin();
    std::string out(zeros, '1');
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) out.push_back(Base58Alphabet[static_cast<std::size_t>(*it)]);
    return out;
}

std::optional<Bytes> Base58CheckDecode(std::string_view text)
{
    auto raw = Base58Decode(text);
    if (!raw || raw->size() < 5) return std::nullopt;
    const std::size_t body = raw->size() - 4;
    const auto first = Sha256(raw->data(), body);
    const auto second = Sha256(first.data(), first.size());
    if (!std::equal(second.begin(), second.begin() + 4, raw->begin() + static_cast<std::ptrdiff_t>(body)))
        return std::nullopt;
    raw->resize(body);
    return raw;
}

std::string Base58CheckEncode(const Bytes& data)
{
    const auto first = Sha256(data.data(), data.size());
    const auto second = Sha256(first.data(), first.size());
    Bytes full = data;
    full.insert(full.end(), second.begin(), second.begin() + 4);
    return Base58Encode(full);
}

std::optional<Bech32> Bech32Decode(std::string_view text, std::size_t limit)
{
    if (text.size() > limit || text.size() < 8) return std::nullopt;
    bool lower = false, upper = false;
    for (char c : text) {
        if (c < 33 || c > 126) return std::nullopt;
        lower |= std::islower(static_cast<unsigned char>(c)) != 0;
        upper |= std::isupper(static_cast<unsigned char>(c)) != 0;
    }
    if (lower && upper) return std::nullopt;
    const std::string s = Lower(text);
    const auto sep = s.rfind('1');
    if (sep == std::string::npos || sep == 0 || sep + 7 > s.size()) return std::nullopt;
    Bech32 b;
    b.hrp = s.substr(0, sep);
    Bytes values;
    for (std::size_t i = sep + 1; i < s.size(); ++i) {
        const int v = Bech32Value(s[i]);
        if (v < 0) return std::nullopt;
        values.push_back(static_cast<std::uint8_t>(v));
    }
    Bytes all = HrpExpand(b.hrp);
    all.insert(all.end(), values.begin(), values.end());
    const std::uint32_t mod = Bech32Polymod(all);
    if (mod == Bech32Const) b.kind = Bech32::Kind::Bech32;
    else if (mod == Bech32mConst) b.kind = Bech32::Kind::Bech32m;
    else return std::nullopt;
    values.resize(values.size() - 6);
    b.values = std::move(values);
    return b;
}

std::string Bech32Encode(const Bech32& b)
{
    Bytes all = HrpExpand(b.hrp);
    all.insert(all.end(), b.values.begin(), b.values.end());
    all.insert(all.end(), 6, 0);
    const std::uint32_t mod = Bech32Polymod(all) ^ (b.kind == Bech32::Kind::Bech32 ? Bech32Const : Bech32mConst);
    std::string out = b.hrp + "1";
    for (std::uint8_t v : b.values) out.push_back(Bech32Charset[v]);
    for (int i = 0; i < 6; ++i) out.push_back(Bech32Charset[(mod >> (5 * (5 - i))) & 31]);
    return out;
}

std::optional<Bytes> ConvertBits(const Bytes& in, int from, int to, bool pad)
{
    int acc = 0, bits = 0;
    const int maxv = (1 << to) - 1;
    Bytes out;
    for (std::uint8_t value : in) {
        if (value >> from) return std::nullopt;
        acc = ((acc << from) | value) & ((1 << (from + to)) - 1);
        bits += from;
        while (bits >= to) {
            bits -= to;
            out.push_back(static_cast<std::uint8_t>((acc >> bits) & maxv));
        }
    }
    if (pad) {
        if (bits) out.push_back(static_cast<std::uint8_t>((acc << (to - bits)) & maxv));
    } else if (bits >= from || ((acc << (to - bits)) & maxv)) {
        return std::nullopt;
    }
    return out;
}

std::string Eip55(std::string_view hex40Lower)
{
    const auto hash = Keccak256(reinterpret_cast<const std::uint8_t*>(hex40Lower.data()), hex40Lower.size());
    std::string out = "0x";
    for (std::size_t i = 0; i < hex40Lower.size(); ++i) {
        const char c = hex40Lower[i];
        const int nibble = (hash[i / 2] >> (i % 2 ? 0 : 4)) & 0xf;
        out.push_back(std::isalpha(static_cast<unsigned char>(c)) && nibble >= 8
                          ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                          : c);
    }
    return out;
}

bool EvmAddress(std::string_view text, bool* checksumWrong)
{
    if (checksumWrong) *checksumWrong = false;
    if (text.size() != 42 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    const std::string_view hex = text.substr(2);
    if (!std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return false;
    const bool lower = std::none_of(hex.begin(), hex.end(), [](char c) { return std::isupper(static_cast<unsigned char>(c)); });
    const bool upper = std::none_of(hex.begin(), hex.end(), [](char c) { return std::islower(static_cast<unsigned char>(c)); });
    if (lower || upper) return true; // no checksum carried
    if (Eip55(Lower(hex)).substr(2) == hex) return true;
    if (checksumWrong) *checksumWrong = true;
    return false;
}

std::optional<Bytes> MoneroBase58Decode(std::string_view text)
{
    if (text.size() > MaxText) return std::nullopt;
    Bytes out;
    for (std::size_t at = 0; at < text.size(); at += 11) {
        const std::string_view block = text.substr(at, 11);
        const int* found = std::find(std::begin(MoneroEncodedSize), std::end(MoneroEncodedSize), static_cast<int>(block.size()));
        if (found == std::end(MoneroEncodedSize) || block.empty()) return std::nullopt;
        const int bytes = static_cast<int>(found - std::begin(MoneroEncodedSize));
        unsigned __int128 number = 0;
        for (char c : block) {
            const int v = Base58Value(c);
            if (v < 0) return std::nullopt;
            number = number * 58 + static_cast<unsigned>(v);
        }
        if (bytes < 8 && number >> (8 * bytes)) return std::nullopt;
        if (number >> 64) return std::nullopt;
        for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>((number >> (8 * i)) & 0xff));
    }
    return out;
}

std::string MoneroBase58Encode(const Bytes& data)
{
    std::string out;
    for (std::size_t at = 0; at < data.size(); at += 8) {
        const std::size_t bytes = std::min<std::size_t>(8, data.size() - at);
        std::uint64_t number = 0;
        for (std::size_t i = 0; i < bytes; ++i) number = (number << 8) | data[at + i];
        std::string block(static_cast<std::size_t>(MoneroEncodedSize[bytes]), '1');
        for (auto it = block.rbegin(); it != block.rend() && number; ++it) {
            *it = Base58Alphabet[number % 58];
            number /= 58;
        }
        out += block;
    }
    return out;
}

std::optional<Bytes> CashAddrDecode(std::string_view text, std::string_view prefix)
{
    if (text.size() > MaxText) return std::nullopt;
    bool lower = false, upper = false;
    for (char c : text) {
        lower |= std::islower(static_cast<unsigned char>(c)) != 0;
        upper |= std::isupper(static_cast<unsigned char>(c)) != 0;
    }
    if (lower && upper) return std::nullopt;
    std::string s = Lower(text);
    const auto colon = s.find(':');
    if (colon != std::string::npos) {
        if (s.substr(0, colon) != prefix) return std::nullopt;
        s = s.substr(colon + 1);
    }
    if (s.size() < 9) return std::nullopt;
    Bytes values;
    for (char c : s) {
        const int v = Bech32Value(c);
        if (v < 0) return std::nullopt;
        values.push_back(static_cast<std::uint8_t>(v));
    }
    Bytes all = CashAddrPrefix(prefix);
    all.insert(all.end(), values.begin(), values.end());
    if (CashAddrPolymod(all) != 0) return std::nullopt;
    values.resize(values.size() - 8);
    return ConvertBits(values, 5, 8, false);
}

std::string CashAddrEncode(std::string_view prefix, const Bytes& payload)
{
    const Bytes values = *ConvertBits(payload, 8, 5, true);
    Bytes all = CashAddrPrefix(prefix);
    all.insert(all.end(), values.begin(), values.end());
    all.insert(all.end(), 8, 0);
    const std::uint64_t mod = CashAddrPolymod(all);
    std::string out = std::string(prefix) + ":";
    for (std::uint8_t v : values) out.push_back(Bech32Charset[v]);
    for (int i = 0; i < 8; ++i) out.push_back(Bech32Charset[(mod >> (5 * (7 - i))) & 31]);
    return out;
}

// ---------------------------------------------------------------------------
// Formats and the coins that use them.

namespace {

enum class Fit { Valid, NotThis, BadCharacters, BadChecksum, WrongLength };

// How specific a failure is: the most specific one is what the user is told.
int Weight(Fit f)
{
    switch (f) {
    case Fit::BadChecksum: return 4;
    case Fit::WrongLength: return 3;
    case Fit::BadCharacters: return 2;
    default: return 0;
    }
}

struct Format {
    std::string name; // for "This is ... address"
    std::function<Fit(std::string_view)> fit;
};

Format Base58Versions(std::string name, std::vector<Bytes> versions, std::size_t payload, std::string leading)
{
    return {std::move(name), [versions = std::move(versions), payload, leading = std::move(leading)](std::string_view s) {
                if (s.empty() || leading.find(s[0]) == std::string::npos) return Fit::NotThis;
                if (!AllBase58(s)) return Fit::BadCharacters;
                const auto raw = Base58Decode(s);
                const std::size_t want = versions.front().size() + payload + 4;
                if (!raw || raw->size() != want) return Fit::WrongLength;
                const auto body = Base58CheckDecode(s);
                if (!body) return Fit::BadChecksum;
                for (const Bytes& v : versions)
                    if (std::equal(v.begin(), v.end(), body->begin())) return Fit::Valid;
                return Fit::NotThis;
            }};
}

Format Segwit(std::string name, std::string hrp)
{
    return {std::move(name), [hrp = std::move(hrp)](std::string_view s) {
                const std::string lower = Lower(s);
                if (lower.rfind(hrp + "1", 0) != 0) return Fit::NotThis;
                const auto b = Bech32Decode(s);
                if (!b) {
                    const bool charset = std::all_of(lower.begin() + static_cast<std::ptrdiff_t>(hrp.size() + 1), lower.end(),
                                                     [](char c) { return Bech32Value(c) >= 0; });
                    return charset ? Fit::BadChecksum : Fit::BadCharacters;
                }
                if (b->hrp != hrp || b->values.empty()) return Fit::NotThis;
                const int version = b->values[0];
                const auto program = ConvertBits(Bytes(b->values.begin() + 1, b->values.end()), 5, 8, false);
                if (!program || version > 16 || program->size() < 2 || program->size() > 40) return Fit::WrongLength;
                if (version == 0) {
                    if (b->kind != Bech32::Kind::Bech32) return Fit::BadChecksum;
                    return program->size() == 20 || program->size() == 32 ? Fit::Valid : Fit::WrongLength;
                }
                return b->kind == Bech32::Kind::Bech32m ? Fit::Valid : Fit::BadChecksum;
            }};
}

Format ZcashSapling()
{
    return {"Zcash", [](std::string_view s) {
                const std::string lower = Lower(s);
                if (lower.rfind("zs1", 0) != 0) return Fit::NotThis;
                const auto b = Bech32Decode(s);
                if (!b) return Fit::BadChecksum;
                if (b->hrp != "zs" || b->kind != Bech32::Kind::Bech32) return Fit::NotThis;
                const auto data = ConvertBits(b->values, 5, 8, false);
                return data && data->size() == 43 ? Fit::Valid : Fit::WrongLength;
            }};
}

Format Evm()
{
    return {"an Ethereum-type network's (ERC-20, BEP-20, PRC-20)", [](std::string_view s) {
                if (s.size() < 2 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return Fit::NotThis;
                if (!std::all_of(s.begin() + 2, s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
                    return Fit::BadCharacters;
                if (s.size() != 42) return Fit::WrongLength;
                bool checksumWrong = false;
                return EvmAddress(s, &checksumWrong) ? Fit::Valid : Fit::BadChecksum;
            }};
}

Format Tron()
{
    return Base58Versions("a TRON (TRC-20)", {{0x41}}, 20, "T");
}

Format Solana()
{
    return {"a Solana", [](std::string_view s) {
                if (s.size() < 32 || s.size() > 44) return AllBase58(s) && s.size() > 20 ? Fit::WrongLength : Fit::NotThis;
                if (!AllBase58(s)) return Fit::BadCharacters;
                const auto raw = Base58Decode(s);
                return raw && raw->size() == 32 ? Fit::Valid : Fit::WrongLength;
            }};
}

Format Monero()
{
    return {"a Monero", [](std::string_view s) {
                if (s.empty() || (s[0] != '4' && s[0] != '8')) return Fit::NotThis;
                if (s.size() < 90) return AllBase58(s) ? Fit::WrongLength : Fit::NotThis;
                if (!AllBase58(s)) return Fit::BadCharacters;
                if (s.size() != 95 && s.size() != 106) return Fit::WrongLength;
                const auto raw = MoneroBase58Decode(s);
                if (!raw || (raw->size() != 69 && raw->size() != 77)) return Fit::WrongLength;
                const auto sum = Keccak256(raw->data(), raw->size() - 4);
                if (!std::equal(sum.begin(), sum.begin() + 4, raw->end() - 4)) return Fit::BadChecksum;
                const std::uint8_t tag = (*raw)[0];
                const bool standard = raw->size() == 69 && (tag == 18 || tag == 42);
                const bool integrated = raw->size() == 77 && tag == 19;
                return standard || integrated ? Fit::Valid : Fit::NotThis;
            }};
}

Format CashAddr()
{
    return {"a Bitcoin Cash", [](std::string_view s) {
                const std::string lower = Lower(s);
                const bool prefixed = lower.rfind("bitcoincash:", 0) == 0;
                const std::string body = prefixed ? lower.substr(12) : lower;
                if (body.empty() || (body[0] != 'q' && body[0] != 'p')) return Fit::NotThis;
                if (!prefixed && body.size() != 42) return Fit::NotThis;
                if (!std::all_of(body.begin(), body.end(), [](char c) { return Bech32Value(c) >= 0; }))
                    return Fit::BadCharacters;
                if (body.size() != 42) return Fit::WrongLength;
                const auto payload = CashAddrDecode(s, "bitcoincash");
                if (!payload) return Fit::BadChecksum;
                const std::uint8_t version = (*payload)[0];
                const int type = (version >> 3) & 0x0f;
                return payload->size() == 21 && (version & 7) == 0 && (type == 0 || type == 1) ? Fit::Valid
                                                                                                : Fit::WrongLength;
            }};
}

Format BitcoinBase58() { return Base58Versions("a Bitcoin", {{0x00}, {0x05}}, 20, "13"); }

const std::map<std::string, std::vector<Format>>& MainFormats()
{
    static const std::map<std::string, std::vector<Format>> formats{
        {"btc", {BitcoinBase58(), Segwit("a Bitcoin", "bc")}},
        {"usdt", {BitcoinBase58()}}, // the Omni layer rides on Bitcoin addresses
        {"ltc", {Base58Versions("a Litecoin", {{0x30}, {0x32}, {0x05}}, 20, "LM3"), Segwit("a Litecoin", "ltc")}},
        {"doge", {Base58Versions("a Dogecoin", {{0x1e}, {0x16}}, 20, "DA9")}},
        {"dash", {Base58Versions("a Dash", {{0x4c}, {0x10}}, 20, "X7")}},
        {"bch", {CashAddr(), BitcoinBase58()}},
        {"zec", {Base58Versions("a Zcash", {{0x1c, 0xb8}, {0x1c, 0xbd}}, 20, "t"), ZcashSapling()}},
        {"xmr", {Monero()}},
        {"trx", {Tron()}},
        {"sol", {Solana()}},
        {"eth", {Evm()}},
        {"etc", {Evm()}},
        {"bnb", {Evm()}},
        {"shib", {Evm()}},
        {"matic", {Evm()}},
    };
    return formats;
}

// Every format known, to name the one a misplaced address belongs to.
const std::vector<Format>& AllFormats()
{
    static const std::vector<Format> all{Evm(),
                                         Tron(),
                                         BitcoinBase58(),
                                         Segwit("a Bitcoin", "bc"),
                                         Base58Versions("a Litecoin", {{0x30}, {0x32}}, 20, "LM"),
                                         Segwit("a Litecoin", "ltc"),
                                         Base58Versions("a Dogecoin", {{0x1e}, {0x16}}, 20, "DA9"),
                                         Base58Versions("a Dash", {{0x4c}, {0x10}}, 20, "X7"),
                                         CashAddr(),
                                         Base58Versions("a Zcash", {{0x1c, 0xb8}, {0x1c, 0xbd}}, 20, "t"),
                                         ZcashSapling(),
                                         Monero(),
                                         Solana()};
    return all;
}

std::string Upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string NetworkName(const std::string& network)
{
    static const std::map<std::string, std::string> names{{"main", "its main network"}, {"bep20", "BEP-20"},
                                                          {"erc20", "ERC-20"},          {"trc20", "TRC-20"},
                                                          {"sol", "Solana"},            {"prc20", "PRC-20"}};
    const auto it = names.find(network);
    return it == names.end() ? network : it->second;
}

Verdict Say(Problem p, std::string message)
{
    return {p, std::move(message)};
}

} // namespace

Verdict Check(std::string_view coinText, std::string_view networkText, std::string_view text)
{
    const std::string coin = Lower(coinText), network = Lower(networkText);
    const std::string where = Upper(coin) + " on " + NetworkName(network);
    if (text.empty()) return Say(Problem::Empty, "Type or paste the address to send to.");
    if (text.size() > MaxText) return Say(Problem::WrongLength, "The address is too long for " + where + ".");
    std::vector<Format> own;
    if (network == "main") {
        const auto it = MainFormats().find(coin);
        if (it == MainFormats().end()) return Say(Problem::UnknownFormat, "Withdrawals of " + Upper(coin) + " are not offered.");
        own = it->second;
    } else if (network == "bep20" || network == "erc20" || network == "prc20") {
        own = {Evm()};
    } else if (network == "trc20") {
        own = {Tron()};
    } else if (network == "sol") {
        own = {Solana()};
    } else {
        return Say(Problem::UnknownFormat, "The network " + std::string(networkText) + " is not offered.");
    }

    Fit best = Fit::NotThis;
    for (const Format& f : own) {
        const Fit fit = f.fit(text);
        if (fit == Fit::Valid) return {};
        if (Weight(fit) > Weight(best)) best = fit;
    }
    switch (best) {
    case Fit::BadChecksum:
        return Say(Problem::BadChecksum, "The address's checksum does not match: a character is mistyped or missing.");
    case Fit::WrongLength:
        return Say(Problem::WrongLength, "The address is too short or too long for " + where + ".");
    case Fit::BadCharacters:
        return Say(Problem::BadCharacters, "The address has characters that " + where + " addresses do not use.");
    default:
        break;
    }
    for (const Format& f : AllFormats())
        if (f.fit(text) == Fit::Valid)
            return Say(Problem::WrongNetwork, "This is " + f.name + " address, not one for " + where + ".");
    return Say(Problem::UnknownFormat, "This is not an address for " + where + ".");
}

} // namespace address
