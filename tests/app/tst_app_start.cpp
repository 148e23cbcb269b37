// The real program, started as a user starts it, not as the other tests do:
// without the web engine's sandbox switch in its environment (run as root here,
// where the engine refuses to start with its sandbox on).
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

class AppStartTest : public QObject {
    Q_OBJECT
private slots:
    void guideOpensWithoutTheSandboxSwitch()
    {
#if !AMBERVALE_HAS_WEBENGINE_PLUGIN
        QSKIP("built without Qt WebEngine, so there is no guide to open");
#endif
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
        env.insert(QStringLiteral("HOME"), home.path()); // its own credentials file
        env.insert(QStringLiteral("XDG_DOCUMENTS_DIR"), home.path() + QStringLiteral("/Documents"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The driver clicks through to the guide as a user does (UserDriver.cpp).
        env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(AMBERVALE_DRIVER_PLUGIN_DIR));
        env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("ambervale-user"));

        QProcess program;
        program.setProcessEnvironment(env);
        // Started from its own folder, where its guide page is.
        program.setWorkingDirectory(QFileInfo(QStringLiteral(AMBERVALE_PROGRAM_PATH)).absolutePath());
        program.setProcessChannelMode(QProcess::SeparateChannels);
        program.start(QStringLiteral(AMBERVALE_PROGRAM_PATH), {});
        QVERIFY(program.waitForStarted(30000));
        // The engine's helper processes take many seconds to start on a busy machine.
        const bool ended = program.waitForFinished(240000);
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        if (!ended) program.kill();
        const QString report = QStringLiteral("root: %1\nstdout:\n%2\nstderr:\n%3")
                                   .arg(geteuid() == 0 ? "yes" : "no", out, err.right(4000));
        QVERIFY2(ended, qPrintable(report));
        QVERIFY2(out.contains(QLatin1String("info shown")), qPrintable(report));
        QVERIFY2(out.contains(QLatin1String("guide loaded")), qPrintable(report));
        QVERIFY2(out.contains(QLatin1String("still running")), qPrintable(report));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == 0, qPrintable(report));
    }
};

QTEST_GUILESS_MAIN(AppStartTest)
#include "tst_app_start.moc"
