#include "Certs.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace certs {

namespace {

template <auto F>
struct Deleter {
    template <class T>
    void operator()(T* p) const
    {
        F(p);
    }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509_free>>;

void Check(bool ok, const char* what)
{
    if (!ok) throw std::runtime_error(std::string("certificate generation failed: ") + what);
}

Key NewKey()
{
    Key k(EVP_EC_gen("P-256"));
    Check(k != nullptr, "key");
    return k;
}

void AddExt(X509* cert, X509* issuer, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    Check(ext != nullptr, value.c_str());
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

Cert NewCert(EVP_PKEY* key, const std::string& cn, long days)
{
    Cert c(X509_new());
    X509_set_version(c.get(), 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(c.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(c.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(c.get()), days * 86400L);
    X509_set_pubkey(c.get(), key);
    X509_NAME* name = X509_get_subject_name(c.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Ambervale"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1,
                               0);
    return c;
}

void WritePem(const std::filesystem::path& path, X509* cert, EVP_PKEY* key)
{
    const std::string tmp = path.string() + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, key ? 0600 : 0644);
    Check(fd >= 0, "open");
    FILE* f = fdopen(fd, "w");
    const bool ok =
        cert ? PEM_write_X509(f, cert) : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
    Check(ok, "write");
    std::filesystem::rename(tmp, path);
}

Cert ReadCert(const std::filesystem::path& p)
{
    FILE* f = std::fopen(p.c_str(), "r");
    if (!f) return nullptr;
    Cert c(PEM_read_X509(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    return c;
}

Key ReadKey(const std::filesystem::path& p)
{
    FILE* f = std::fopen(p.c_str(), "r");
    if (!f) return nullptr;
    Key k(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    return k;
}

std::string AltName(const std::string& host)
{
    unsigned char buf[16];
    const bool ip = inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
    std::string san = "DNS:localhost,IP:127.0.0.1,IP:::1";
    if (host != "localhost" && host != "127.0.0.1" && host != "::1") san += (ip ? ",IP:" : ",DNS:") + host;
    return san;
}

} // namespace

Paths In(const std::filesystem::path& dir)
{
    return Paths{dir / "ca.pem", dir / "ca.key", dir / "server.pem", dir / "server.key"};
}

Paths Ensure(const std::filesystem::path& dir, const std::string& host)
{
    const Paths p = In(dir);
    Cert ca = ReadCert(p.caCert);
    Key caKey = ReadKey(p.caKey);
    if (!ca || !caKey) {
        caKey = NewKey();
        ca = NewCert(caKey.get(), "Ambervale local CA", 3650);
        X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
        AddExt(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
        AddExt(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
        AddExt(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
        Check(X509_sign(ca.get(), caKey.get(), EVP_sha256()) > 0, "sign CA");
        WritePem(p.caKey, nullptr, caKey.get());
        WritePem(p.caCert, ca.get(), nullptr);
        std::filesystem::remove(p.serverCert);
    }
    const std::filesystem::path hostFile = dir / "server.host";
    std::string madeFor;
    std::ifstream(hostFile) >> madeFor;
    Cert server = ReadCert(p.serverCert);
    bool fresh = server && ReadKey(p.serverKey) && madeFor == host &&
                 X509_cmp_time(X509_get0_notAfter(server.get()), nullptr) > 0;
    if (fresh) {
        time_t soon = time(nullptr) + 30 * 86400;
        fresh = X509_cmp_time(X509_get0_notAfter(server.get()), &soon) > 0 &&
                X509_check_issued(ca.get(), server.get()) == X509_V_OK;
    }
    if (!fresh) {
        Key key = NewKey();
        Cert cert = NewCert(key.get(), host, 397);
        X509_set_issuer_name(cert.get(), X509_get_subject_name(ca.get()));
        AddExt(cert.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
        AddExt(cert.get(), ca.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment");
        AddExt(cert.get(), ca.get(), NID_ext_key_usage, "serverAuth");
        AddExt(cert.get(), ca.get(), NID_subject_alt_name, AltName(host));
        AddExt(cert.get(), ca.get(), NID_subject_key_identifier, "hash");
        AddExt(cert.get(), ca.get(), NID_authority_key_identifier, "keyid");
        Check(X509_sign(cert.get(), caKey.get(), EVP_sha256()) > 0, "sign server");
        WritePem(p.serverKey, nullptr, key.get());
        WritePem(p.serverCert, cert.get(), nullptr);
        std::ofstream(hostFile) << host << "\n";
    }
    return p;
}

} // namespace certs
