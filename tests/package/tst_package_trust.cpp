// The packaged client is built without an extra CA: the service package puts
// its CA into the system's trust list instead. The HTTP clients read that list;
// the web engine keeps a root list of its own, so the web views' certificate
// check must consult the system's list too, besides any extra CA.
#include "Tls.h"
#include "common/WebView.h"

#include <QProcess>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class PackageTrustTest : public QObject {
    Q_OBJECT

private slots:
    void systemListIsTrusted()
    {
        const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        if (system.isEmpty()) QSKIP("no system CA certificates on this machine");
        const QList<QSslCertificate> trusted = WebView::TrustedCas();
        for (const QSslCertificate& ca : system) QVERIFY2(trusted.contains(ca), qPrintable(ca.subjectDisplayName()));
    }

    void extraCaStaysTrusted()
    {
        const QString openssl = QStandardPaths::findExecutable("openssl");
        if (openssl.isEmpty()) QSKIP("no openssl command");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(openssl,
                {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                 "ca.key", "-out", "ca.pem", "-days", "30", "-subj", "/CN=Package trust test CA", "-addext",
                 "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAll().constData());
        const QList<QSslCertificate> extra = QSslCertificate::fromPath(dir.filePath("ca.pem"));
        QCOMPARE(extra.size(), 1);
        QVERIFY(!WebView::TrustedCas().contains(extra.first()));
        QCOMPARE(tls::TrustExtraCaFile(dir.filePath("ca.pem")), 1);
        const QList<QSslCertificate> trusted = WebView::TrustedCas();
        QVERIFY(trusted.contains(extra.first()));
        // Each CA once, so the check's store is not fed duplicates.
        for (const QSslCertificate& ca : trusted) QCOMPARE(trusted.count(ca), 1);
    }
};

QTEST_MAIN(PackageTrustTest)
#include "tst_package_trust.moc"
