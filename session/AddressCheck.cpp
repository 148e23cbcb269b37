#include "AddressCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>

#ifndef AMBERVALE_ADDRESSCHECK_BUILD_PATH
#define AMBERVALE_ADDRESSCHECK_BUILD_PATH ""
#endif
#ifndef AMBERVALE_ADDRESSCHECK_INSTALL_DIR
#define AMBERVALE_ADDRESSCHECK_INSTALL_DIR ""
#endif

namespace addresscheck {

namespace {

using CheckFn = int (*)(const char*, const char*, const char*, char*, std::size_t);

QString g_error;

CheckFn Entry()
{
    static CheckFn fn = nullptr;
    static bool tried = false;
    if (tried) return fn;
    tried = true;
    QLibrary library(ModulePath());
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load()) {
        g_error = library.errorString();
        return nullptr;
    }
    fn = reinterpret_cast<CheckFn>(library.resolve("ambervale_address_check"));
    if (!fn) g_error = library.errorString();
    return fn;
}

} // namespace

QString ModulePath()
{
    const QString file = QStringLiteral("libambervale_addresscheck.so");
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + QLatin1Char('/') + file;
    if (QFileInfo::exists(beside)) return beside;
    const QString installDir = QStringLiteral(AMBERVALE_ADDRESSCHECK_INSTALL_DIR);
    if (!installDir.isEmpty()) {
        const QString installed = QDir::cleanPath(programDir + QLatin1Char('/') + installDir + QLatin1Char('/') + file);
        if (QFileInfo::exists(installed)) return installed;
    }
    return QStringLiteral(AMBERVALE_ADDRESSCHECK_BUILD_PATH);
}

QString LoadError()
{
    Entry();
    return g_error;
}

QString NetworkCode(const QString& shownNetwork)
{
    static const QHash<QString, QString> codes{
        {QStringLiteral("Main"), QStringLiteral("main")},
        {QStringLiteral("BEP-20 (Binance)"), QStringLiteral("bep20")},
        {QStringLiteral("ERC-20 (Ethereum)"), QStringLiteral("erc20")},
        {QStringLiteral("TRC-20 (Tron)"), QStringLiteral("trc20")},
        {QStringLiteral("SOL (Solana)"), QStringLiteral("sol")},
        {QStringLiteral("PRC-20 (Polygon)"), QStringLiteral("prc20")},
    };
    return codes.value(shownNetwork);
}

Result Check(const QString& coinLower, const QString& shownNetwork, const QString& address)
{
    Result r;
    const QString network = NetworkCode(shownNetwork);
    if (network.isEmpty()) {
        r.message = QStringLiteral("Choose the network to send on.");
        return r;
    }
    const CheckFn fn = Entry();
    if (!fn) {
        // The service checks every address again; the user is not stopped here.
        r.ok = true;
        r.message = QStringLiteral("The address could not be checked here; the service checks it.");
        return r;
    }
    // The address library takes bytes; a NUL inside would cut it short, so such
    // a text is refused as it is.
    if (address.contains(QChar(0))) {
        r.message = QStringLiteral("The address has characters that no address uses.");
        return r;
    }
    char message[512];
    const QByteArray coin = coinLower.toUtf8(), net = network.toUtf8(), text = address.toUtf8();
    const int problem = fn(coin.constData(), net.constData(), text.constData(), message, sizeof message);
    r.ok = problem == 0;
    if (!r.ok) {
        r.message = QString::fromUtf8(message);
        if (r.message.isEmpty()) r.message = QStringLiteral("This is not an address for this coin and network.");
    }
    return r;
}

} // namespace addresscheck
