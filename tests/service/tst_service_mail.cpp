// Reset codes by e-mail against the real service, on both engines, with a local
// SMTP sink (aiosmtpd) started here: a login that is an e-mail address gets its
// code by mail and the code works; other logins keep the outbox; a relay that is
// down or never answers leaves "resetpass" answering at once with the same text,
// and a relay that comes back gets the mail on a later try.
#include "ServiceHarness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTcpSocket>

using namespace svc;

namespace {

const QString Sent = "If this login exists, a security code valid for 15 minutes has been sent to its owner.";

QString Python()
{
    return QFile::exists("/usr/bin/python3") ? QString("/usr/bin/python3") : QString("python3");
}

bool SinkAvailable()
{
    QProcess p;
    p.start(Python(), {"-c", "import aiosmtpd"});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

int FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

// aiosmtpd writing each message into a Maildir.
class Sink {
public:
    explicit Sink(int port) : m_port(port) {}
    ~Sink() { stop(); }
    void start()
    {
        m_process.setProgram(Python());
        m_process.setArguments({"-m", "aiosmtpd", "-n", "-l", QString("127.0.0.1:%1").arg(m_port), "-c",
                                "aiosmtpd.handlers.Mailbox", m_dir.path() + "/box"});
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start();
        QVERIFY(m_process.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(listening(), 30000);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QStringList mails() const
    {
        QStringList out;
        QDir dir(m_dir.path() + "/box/new");
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly)) out << QString::fromUtf8(f.readAll());
        }
        return out;
    }

private:
    bool listening() const
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        return s.waitForConnected(500);
    }
    int m_port;
    QTemporaryDir m_dir;
    QProcess m_process;
};

// config.json with the tests' lifted limits and a relay on port.
std::function<void(const QString&)> RelayAt(int port, int timeoutSeconds = 20)
{
    return [=](const QString& dir) {
        QFile f(dir + "/config.json");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QString(R"({"registrations_per_address": 1000000, "reset_requests_per_address": 1000000,
 "smtp": {"host": "127.0.0.1", "port": %1, "starttls": false, "from": "codes@ambervale.test",
          "timeout_seconds": %2}})")
                    .arg(port)
                    .arg(timeoutSeconds)
                    .toUtf8());
    };
}

User MailUser(Client& c)
{
    static int n = 0;
    User u{QString("mail%1_%2@example.org").arg(++n).arg(QRandomGenerator::global()->bounded(1000000)), "pw-mail"};
    const Response r = Register(c, u);
    if (r.body.empty() || r.body[0] != '{') qWarning("registration refused: %s", r.body.c_str());
    return u;
}

QString CodeIn(const QString& mail)
{
    return QRegularExpression("Your security code is (\\d{8})\\.").match(mail).captured(1);
}

} // namespace

class ServiceMailTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!SinkAvailable()) QSKIP("python3-aiosmtpd is not installed (scripts/install-deps.sh)");
    }

    void codeArrivesByMailAndWorks()
    {
        const int port = FreePort();
        Sink sink(port);
        sink.start();
        Service service(Service::DefaultArgs(), nullptr, RelayAt(port));
        Client c = service.client();
        const User plain = NewUser(c, "nomail");
        const User u = MailUser(c);
        QCOMPARE(c.post(api::ResetPass(plain.login, FreshToken())).text(), Sent);
        QCOMPARE(c.post(api::ResetPass(u.login, FreshToken())).text(), Sent);
        QTRY_COMPARE_WITH_TIMEOUT(sink.mails().size(), 1, 60000);
        const QString mail = sink.mails().first();
        QVERIFY2(mail.contains("To: <" + u.login + ">"), qPrintable(mail));
        QVERIFY(mail.contains("From: Ambervale <codes@ambervale.test>"));
        QVERIFY(mail.contains("Subject: Your Ambervale security code"));
        const QString code = CodeIn(mail);
        QCOMPARE(code.size(), 8);
        // Sent is delivered: the outbox keeps only the login that is no e-mail address, for the operator.
        QTRY_COMPARE_WITH_TIMEOUT(
            service.sql(QString("SELECT COUNT(*) FROM reset_outbox WHERE login = '%1'").arg(u.login)).out,
            QString("0"), 30000);
        QCOMPARE(service.sql(QString("SELECT COUNT(*) FROM reset_outbox WHERE login = '%1'").arg(plain.login)).out,
                 QString("1"));
        // The mailed code changes the password.
        const Response changed = c.post(api::ChangePass(u.login, "fresh password", code, FreshToken()));
        QVERIFY2(changed.text().startsWith("Password changed"), changed.body.c_str());
        QVERIFY(Account(c, User{u.login, "fresh password"}).contains("wall_btc"));
        QCOMPARE(sink.mails().size(), 1); // the login without an address got no mail
    }

    void plainLoginKeepsTheOutbox()
    {
        const int port = FreePort();
        Sink sink(port);
        sink.start();
        Service service(Service::DefaultArgs(), nullptr, RelayAt(port));
        Client c = service.client();
        const User plain = NewUser(c, "nomail");
        QCOMPARE(c.post(api::ResetPass(plain.login, FreshToken())).text(), Sent);
        const User u = MailUser(c);
        QCOMPARE(c.post(api::ResetPass(u.login, FreshToken())).text(), Sent);
        QTRY_COMPARE_WITH_TIMEOUT(sink.mails().size(), 1, 60000); // the mailer has been through the outbox
        const QString outbox = service.command({"reset-codes"}).out;
        QVERIFY2(outbox.contains(plain.login), qPrintable(outbox));
        QVERIFY(!sink.mails().first().contains(plain.login));
    }

    // Down (nothing listens) and then back: the answers stay the same and prompt, the mail waits in the
    // outbox and goes out on a later try.
    void relayDownThenBack()
    {
        const int port = FreePort();
        Service service(Service::DefaultArgs(), nullptr, RelayAt(port));
        Client c = service.client();
        const User u = MailUser(c);
        QElapsedTimer t;
        t.start();
        QCOMPARE(c.post(api::ResetPass(u.login, FreshToken())).text(), Sent);
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString("%1 ms").arg(t.elapsed())));
        // Unknown logins answer alike.
        QCOMPARE(c.post(api::ResetPass("nobody@example.org", FreshToken())).text(), Sent);
        Sink sink(port);
        sink.start();
        QTRY_COMPARE_WITH_TIMEOUT(sink.mails().size(), 1, 90000);
        QVERIFY(sink.mails().first().contains("To: <" + u.login + ">"));
        QCOMPARE(CodeIn(sink.mails().first()).size(), 8);
    }

    // A relay that takes the connection and never says a word: every answer still comes at once.
    void relaySilentAnswersStayPrompt()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        Service service(Service::DefaultArgs(), nullptr, RelayAt(silent.serverPort(), 30));
        Client c = service.client();
        for (int i = 0; i < 3; ++i) {
            const User u = MailUser(c);
            QElapsedTimer t;
            t.start();
            QCOMPARE(c.post(api::ResetPass(u.login, FreshToken())).text(), Sent);
            QVERIFY2(t.elapsed() < 5000, qPrintable(QString("%1 ms").arg(t.elapsed())));
            QVERIFY(Account(c, u).contains("wall_btc")); // other requests too
        }
        QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections() || silent.waitForNewConnection(100), 30000);
        // Stopping does not wait for the relay's 30-second time-out.
        QElapsedTimer t;
        t.start();
        service.stop();
        QVERIFY2(t.elapsed() < 9000, qPrintable(QString("%1 ms").arg(t.elapsed())));
    }
};

QTEST_GUILESS_MAIN(ServiceMailTest)
#include "tst_service_mail.moc"
