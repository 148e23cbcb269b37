// The chain check of the web views, the only unit linking OpenSSL. It is built
// into the web-engine plugin, so the program itself starts without the library.
#include "WebTrust.h"

#include <QHostAddress>

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>

namespace webtrust {

namespace {

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
struct StoreFree {
    void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
struct ContextFree {
    void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); }
};
struct StackFree {
    void operator()(STACK_OF(X509) * s) const { sk_X509_pop_free(s, X509_free); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr FromQt(const QSslCertificate& certificate)
{
    const QByteArray der = certificate.toDer();
    const auto* data = reinterpret_cast<const unsigned char*>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &data, der.size()));
}

} // namespace

bool AcceptUnknownAuthority(const QUrl& url, const QList<QSslCertificate>& chain, const QString& serviceHost,
                            const QList<QSslCertificate>& extraCas, const QDateTime& at)
{
    if (url.scheme() != QLatin1String("https") || chain.isEmpty() || extraCas.isEmpty()) return false;
    const QString host = url.host();
    if (host.isEmpty() || host.compare(serviceHost, Qt::CaseInsensitive) != 0) return false;

    std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
    if (!store) return false;
    for (const QSslCertificate& ca : extraCas) {
        X509Ptr x = FromQt(ca);
        if (!x || X509_STORE_add_cert(store.get(), x.get()) != 1) return false;
    }

    X509Ptr leaf = FromQt(chain.first());
    if (!leaf) return false;
    std::unique_ptr<STACK_OF(X509), StackFree> intermediates(sk_X509_new_null());
    if (!intermediates) return false;
    for (qsizetype i = 1; i < chain.size(); ++i) {
        X509Ptr x = FromQt(chain.at(i));
        if (!x || !sk_X509_push(intermediates.get(), x.get())) return false;
        x.release(); // the stack owns it now
    }

    std::unique_ptr<X509_STORE_CTX, ContextFree> context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), intermediates.get()) != 1) return false;
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
    X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(at.toSecsSinceEpoch()));
    const QByteArray hostBytes = host.toUtf8();
    const bool isAddress = !QHostAddress(host).isNull();
    const int hostSet = isAddress ? X509_VERIFY_PARAM_set1_ip_asc(param, hostBytes.constData())
                                  : X509_VERIFY_PARAM_set1_host(param, hostBytes.constData(), hostBytes.size());
    if (hostSet != 1) return false;
    return X509_verify_cert(context.get()) == 1;
}

} // namespace webtrust
