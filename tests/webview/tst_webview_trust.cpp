// Which certificate chains the web views accept beyond the engine's own
// judgement: only the service's host, only chains up to an extra CA.
#include "WebTrust.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class WebTrustTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void accept_data();
    void accept();
    void datesAreChecked();
    void hostName_data();
    void hostName();

private:
    bool Openssl(const QStringList& args);
    bool MakeCa(const QString& name, const QString& subject);
    bool MakeIntermediate(const QString& name, const QString& issuer);
    bool MakeLeaf(const QString& name, const QString& issuer, const QString& altNames, int days = 30);
    QSslCertificate Cert(const QString& name) const;

    QTemporaryDir m_dir;
    QString m_openssl;
    QString m_error;
};

bool WebTrustTest::Openssl(const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(m_openssl, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        m_error = args.join(' ') + ": " + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

bool WebTrustTest::MakeCa(const QString& name, const QString& subject)
{
    return Openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                    name + ".key", "-out", name + ".pem", "-days", "30", "-subj", subject, "-addext",
                    "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
}

bool WebTrustTest::MakeIntermediate(const QString& name, const QString& issuer)
{
    QFile ext(m_dir.filePath(name + ".ext"));
    if (!ext.open(QIODevice::WriteOnly)) return false;
    ext.write("basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n");
    ext.close();
    return Openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                    name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name}) &&
           Openssl({"x509", "-req", "-in", name + ".csr", "-CA", issuer + ".pem", "-CAkey", issuer + ".key",
                    "-CAcreateserial", "-out", name + ".pem", "-days", "30", "-extfile", name + ".ext"});
}

bool WebTrustTest::MakeLeaf(const QString& name, const QString& issuer, const QString& altNames, int days)
{
    QFile ext(m_dir.filePath(name + ".ext"));
    if (!ext.open(QIODevice::WriteOnly)) return false;
    ext.write("basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=" + altNames.toUtf8() + "\n");
    ext.close();
    return Openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                    name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name}) &&
           Openssl({"x509", "-req", "-in", name + ".csr", "-CA", issuer + ".pem", "-CAkey", issuer + ".key",
                    "-CAcreateserial", "-out", name + ".pem", "-days", QString::number(days), "-extfile",
                    name + ".ext"});
}

QSslCertificate WebTrustTest::Cert(const QString& name) const
{
    const auto certs = QSslCertificate::fromPath(m_dir.filePath(name + ".pem"));
    return certs.isEmpty() ? QSslCertificate() : certs.first();
}

void WebTrustTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_openssl = QStandardPaths::findExecutable("openssl");
    if (m_openssl.isEmpty()) QSKIP("the openssl command line tool is not installed");
    // The service's CA, a stranger's CA, and an impostor with the service CA's very name.
    QVERIFY2(MakeCa("ca", "/CN=Ambervale Test CA"), qPrintable(m_error));
    QVERIFY2(MakeCa("other", "/CN=Someone Else CA"), qPrintable(m_error));
    QVERIFY2(MakeCa("impostor", "/CN=Ambervale Test CA"), qPrintable(m_error));
    QVERIFY2(MakeIntermediate("inter", "ca"), qPrintable(m_error));
    QVERIFY2(MakeLeaf("service", "ca", "IP:127.0.0.1,DNS:localhost,DNS:ambervale.test"), qPrintable(m_error));
    QVERIFY2(MakeLeaf("viainter", "inter", "DNS:ambervale.test"), qPrintable(m_error));
    QVERIFY2(MakeLeaf("stranger", "other", "IP:127.0.0.1,DNS:ambervale.test"), qPrintable(m_error));
    QVERIFY2(MakeLeaf("forged", "impostor", "IP:127.0.0.1,DNS:ambervale.test"), qPrintable(m_error));
    QVERIFY2(MakeLeaf("elsewhere", "ca", "DNS:elsewhere.test"), qPrintable(m_error));
    QVERIFY2(MakeLeaf("shortlived", "ca", "DNS:ambervale.test", 1), qPrintable(m_error));
    for (const char* name :
         {"ca", "other", "impostor", "inter", "service", "viainter", "stranger", "forged", "elsewhere", "shortlived"})
        QVERIFY2(!Cert(name).isNull(), name);
}

using Chain = QList<QSslCertificate>;

void WebTrustTest::accept_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<Chain>("chain");
    QTest::addColumn<QString>("serviceHost");
    QTest::addColumn<Chain>("extra");
    QTest::addColumn<bool>("accepted");

    const Chain ca{Cert("ca")};
    QTest::newRow("service leaf alone") << "https://127.0.0.1:8443/morec/ads/a-ads_1.php" << Chain{Cert("service")}
                                        << "127.0.0.1" << ca << true;
    QTest::newRow("service leaf and root")
        << "https://ambervale.test/" << Chain{Cert("service"), Cert("ca")} << "ambervale.test" << ca << true;
    QTest::newRow("host compared without case")
        << "https://AMBERVALE.test/x" << Chain{Cert("service")} << "ambervale.test" << ca << true;
    QTest::newRow("through an intermediate")
        << "https://ambervale.test/" << Chain{Cert("viainter"), Cert("inter")} << "ambervale.test" << ca << true;
    QTest::newRow("intermediate missing")
        << "https://ambervale.test/" << Chain{Cert("viainter")} << "ambervale.test" << ca << false;
    QTest::newRow("no extra CA") << "https://127.0.0.1/" << Chain{Cert("service")} << "127.0.0.1" << Chain{} << false;
    QTest::newRow("another host, valid certificate")
        << "https://localhost:8443/" << Chain{Cert("service")} << "127.0.0.1" << ca << false;
    QTest::newRow("certificate for another name")
        << "https://ambervale.test/" << Chain{Cert("elsewhere")} << "ambervale.test" << ca << false;
    QTest::newRow("other CA") << "https://ambervale.test/" << Chain{Cert("stranger"), Cert("other")} << "ambervale.test"
                              << ca << false;
    QTest::newRow("impostor CA of the same name")
        << "https://ambervale.test/" << Chain{Cert("forged"), Cert("impostor")} << "ambervale.test" << ca << false;
    QTest::newRow("impostor leaf alone") << "https://ambervale.test/" << Chain{Cert("forged")} << "ambervale.test" << ca
                                         << false;
    QTest::newRow("plain http") << "http://127.0.0.1/" << Chain{Cert("service")} << "127.0.0.1" << ca << false;
    QTest::newRow("empty chain") << "https://127.0.0.1/" << Chain{} << "127.0.0.1" << ca << false;
    QTest::newRow("CA presented as the server")
        << "https://ambervale.test/" << Chain{Cert("ca")} << "ambervale.test" << ca << false;
    QTest::newRow("trusting the other CA")
        << "https://ambervale.test/" << Chain{Cert("stranger")} << "ambervale.test" << Chain{Cert("other")} << true;
}

void WebTrustTest::accept()
{
    QFETCH(QString, url);
    QFETCH(Chain, chain);
    QFETCH(QString, serviceHost);
    QFETCH(Chain, extra);
    QTEST(webtrust::AcceptUnknownAuthority(QUrl(url), chain, serviceHost, extra), "accepted");
}

void WebTrustTest::datesAreChecked()
{
    const QUrl url("https://ambervale.test/");
    const Chain chain{Cert("shortlived")};
    const Chain ca{Cert("ca")};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(webtrust::AcceptUnknownAuthority(url, chain, "ambervale.test", ca, now));
    QVERIFY(!webtrust::AcceptUnknownAuthority(url, chain, "ambervale.test", ca, now.addDays(3)));
    QVERIFY(!webtrust::AcceptUnknownAuthority(url, chain, "ambervale.test", ca, now.addDays(-3)));
}

void WebTrustTest::hostName_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host");
    QTest::newRow("with port") << "://127.0.0.1:8443/"
                               << "127.0.0.1";
    QTest::newRow("name") << "://ambervale.test/"
                          << "ambervale.test";
    QTest::newRow("capitals") << "://Ambervale.Test:443/"
                              << "ambervale.test";
    QTest::newRow("IPv6") << "://[::1]:8443/"
                          << "::1";
}

void WebTrustTest::hostName()
{
    QFETCH(QString, address);
    QTEST(webtrust::HostName(address), "host");
}

QTEST_GUILESS_MAIN(WebTrustTest)
#include "tst_webview_trust.moc"
