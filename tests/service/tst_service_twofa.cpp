// Two-factor codes against the real service, on both engines: a setup waits for
// a right code, money and password actions then need a code, each code passes
// once, codes follow the service's clock (moved forward here), five wrong codes
// pause those actions, and the secret is stored sealed. Codes are computed here
// with Qt's HMAC, independently of the service's own code.
#include "ServiceHarness.h"

#include <QMessageAuthenticationCode>
#include <QUrlQuery>

using namespace svc;

namespace {

QByteArray FromBase32(const QString& text)
{
    static const QString alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    QByteArray out;
    quint32 buffer = 0;
    int bits = 0;
    for (QChar c : text) {
        const int v = alphabet.indexOf(c.toUpper());
        if (v < 0) return {};
        buffer = (buffer << 5) | quint32(v);
        bits += 5;
        if (bits >= 8) {
            out.append(char((buffer >> (bits - 8)) & 0xff));
            bits -= 8;
        }
    }
    return out;
}

// RFC 6238 with HMAC-SHA-1, six digits, 30-second steps.
QString CodeForStep(const QByteArray& key, qint64 step)
{
    QByteArray counter(8, '\0');
    for (int i = 7; i >= 0; --i, step >>= 8) counter[i] = char(step & 0xff);
    const QByteArray mac = QMessageAuthenticationCode::hash(counter, key, QCryptographicHash::Sha1);
    const int offset = mac[19] & 0x0f;
    const quint32 bin = (quint32(uchar(mac[offset]) & 0x7f) << 24) | (quint32(uchar(mac[offset + 1])) << 16) |
                        (quint32(uchar(mac[offset + 2])) << 8) | quint32(uchar(mac[offset + 3]));
    return QString("%1").arg(bin % 1000000, 6, 10, QChar('0'));
}

FormFields WithField(FormFields f, const QString& name, const QString& value)
{
    f.insert(f.size() - 1, {name, value}); // before "session", which stays last
    return f;
}

FormFields Action(const QString& action, const User& u, const QList<QPair<QString, QString>>& extra = {})
{
    FormFields f{{"a", action}, {"s", u.login}, {"pass", u.digest()}};
    f += extra;
    f.append({"session", FreshToken()});
    return f;
}

} // namespace

class ServiceTwoFactorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Service> m_service;
    qint64 m_offset = 0; // how far the service's clock was moved

    qint64 serviceNow() const { return QDateTime::currentSecsSinceEpoch() + m_offset; }
    // Codes are computed a moment before the service checks them: stay clear of a step's last seconds so
    // the step cannot roll over in between (polled, not assumed).
    void awayFromStepEdge()
    {
        QTRY_VERIFY_WITH_TIMEOUT(serviceNow() % 30 < 22, 15000);
    }
    QString code(const QByteArray& key, int stepsAway = 0)
    {
        return CodeForStep(key, serviceNow() / 30 + stepsAway);
    }
    void advance(qint64 seconds)
    {
        m_service->advance(seconds);
        m_offset += seconds;
    }

    // A user with money and two-factor codes on; the key in *key.
    User userWithTwoFactor(Client& c, QByteArray* key)
    {
        const User u = NewUser(c, "tf");
        if (m_service->command({"credit", u.login, "doge", "500"}).exitCode != 0) qWarning("credit failed");
        const Response setup = c.post(Action("twofa_setup", u));
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(setup.body)).object();
        *key = FromBase32(o.value("secret").toString());
        awayFromStepEdge();
        const Response on = c.post(Action("twofa_enable", u, {{"otp", code(*key)}}));
        if (!on.text().startsWith("Done: two-factor codes are on")) qWarning("enable: %s", on.body.c_str());
        return u;
    }

private slots:
    void init()
    {
        m_service = std::make_unique<Service>();
        m_offset = 0;
    }
    void cleanup() { m_service.reset(); }

    void setupWaitsForARightCode()
    {
        Client c = m_service->client();
        const User u = NewUser(c, "setup");
        QCOMPARE(Account(c, u).value("twofa").toString(), QString("0"));
        const Response setup = c.post(Action("twofa_setup", u));
        QVERIFY2(setup.body.rfind("{", 0) == 0, setup.body.c_str());
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(setup.body)).object();
        const QUrl uri(o.value("uri").toString());
        QCOMPARE(uri.scheme(), QString("otpauth"));
        QCOMPARE(uri.host(), QString("totp"));
        QCOMPARE(uri.path(), "/Ambervale:" + u.login);
        const QUrlQuery q(uri);
        QCOMPARE(q.queryItemValue("secret"), o.value("secret").toString());
        QCOMPARE(q.queryItemValue("issuer"), QString("Ambervale"));
        QCOMPARE(q.queryItemValue("digits"), QString("6"));
        QCOMPARE(q.queryItemValue("period"), QString("30"));
        QCOMPARE(q.queryItemValue("algorithm"), QString("SHA1"));
        const QByteArray key = FromBase32(q.queryItemValue("secret"));
        QCOMPARE(key.size(), 20);

        // Pending: nothing asks for a code yet, and useraccount says it is off.
        QCOMPARE(Account(c, u).value("twofa").toString(), QString("0"));
        // A second setup replaces the first secret: the first one's codes no longer confirm.
        const Response again = c.post(Action("twofa_setup", u));
        const QByteArray key2 =
            FromBase32(QJsonDocument::fromJson(QByteArray::fromStdString(again.body)).object().value("secret").toString());
        QVERIFY(key2 != key);
        awayFromStepEdge();
        for (const QString& wrong : {code(key), QString("12345"), QString("abcdef"), code(key2, 3)}) {
            if (wrong == code(key2) || wrong == code(key2, -1) || wrong == code(key2, 1)) continue; // a chance match
            const Response r = c.post(Action("twofa_enable", u, {{"otp", wrong}}));
            QVERIFY2(r.text().startsWith("Wrong code"), r.body.c_str());
        }
        QCOMPARE(Account(c, u).value("twofa").toString(), QString("0"));
        const Response on = c.post(Action("twofa_enable", u, {{"otp", code(key2)}}));
        QVERIFY2(on.text().startsWith("Done: two-factor codes are on"), on.body.c_str());
        QCOMPARE(Account(c, u).value("twofa").toString(), QString("1"));
        // Other fields of the account reply are still there.
        QVERIFY(Account(c, u).contains("wall_btc"));
        const Response setupWhileOn = c.post(Action("twofa_setup", u));
        QVERIFY2(setupWhileOn.text().startsWith("Already on"), setupWhileOn.body.c_str());
        // A wrong password gets nothing.
        User stranger = u;
        stranger.password = "not the password";
        QVERIFY(c.post(Action("twofa_setup", stranger)).text().startsWith("Wrong login or password"));
    }

    // Withdraw: no code, no withdrawal; a code passes once; the next step's code passes again.
    void withdrawNeedsEachCodeOnce()
    {
        Client c = m_service->client();
        QByteArray key;
        const User u = userWithTwoFactor(c, &key);
        if (QTest::currentTestFailed()) return;
        const QString to = ValidAddress("doge");
        const qint64 before = Units(Account(c, u), "wall_doge");
        auto withdraw = [&](const QString& val, const QString& otp) {
            FormFields f = api::Withdraw("doge", to, "Main", val, u.login, u.digest(), FreshToken());
            if (!otp.isNull()) f = WithField(f, "otp", otp);
            return c.post(f);
        };
        const Response none = withdraw("50", QString());
        QVERIFY2(none.text().startsWith("A code from your authenticator app is needed"), none.body.c_str());
        QCOMPARE(Units(Account(c, u), "wall_doge"), before);

        // Step used by the enabling code is taken already: move to the next step first.
        advance(30);
        awayFromStepEdge();
        const QString now = code(key);
        const Response first = withdraw("50", now);
        QVERIFY2(first.text().startsWith("Withdrawal accepted"), first.body.c_str());
        const Response reuse = withdraw("60", now);
        QVERIFY2(reuse.text().startsWith("Already used"), reuse.body.c_str());
        // Nor does the previous step's code pass once a later one was taken.
        const Response older = withdraw("60", code(key, -1));
        QVERIFY2(older.text().startsWith("Already used"), older.body.c_str());
        QCOMPARE(Units(Account(c, u), "wall_doge"), before - 50 * Unit);

        advance(30);
        awayFromStepEdge();
        const Response next = withdraw("60", code(key));
        QVERIFY2(next.text().startsWith("Withdrawal accepted"), next.body.c_str());
        QCOMPARE(Units(Account(c, u), "wall_doge"), before - 110 * Unit);
        QVERIFY(m_service->verify());
    }

    // Codes follow the service's clock: at a clock moved by days the machine's own time gives wrong codes,
    // the service's time right ones, one step either side, never three steps away.
    void codesFollowTheServiceClock_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("now") << 0 << true;
        QTest::newRow("a step behind") << -1 << true;
        QTest::newRow("a step ahead") << 1 << true;
        QTest::newRow("three steps behind") << -3 << false;
        QTest::newRow("three steps ahead") << 3 << false;
    }
    void codesFollowTheServiceClock()
    {
        QFETCH(int, steps);
        QFETCH(bool, accepted);
        Client c = m_service->client();
        QByteArray key;
        const User u = userWithTwoFactor(c, &key);
        if (QTest::currentTestFailed()) return;
        advance(3 * 86400 + 7 * 30);
        awayFromStepEdge();
        const QString machine = CodeForStep(key, QDateTime::currentSecsSinceEpoch() / 30);
        const QString service = code(key, steps);
        auto changeWith = [&](const QString& otp) {
            return c.post(WithField(api::ChangePass(u.login, "newpass", u.password, FreshToken()), "otp", otp));
        };
        if (machine != service) {
            const Response r = changeWith(machine);
            QVERIFY2(r.text().startsWith("Wrong code"), r.body.c_str());
        }
        const Response r = changeWith(service);
        if (accepted) {
            QVERIFY2(r.text().startsWith("Password changed"), r.body.c_str());
        } else {
            QVERIFY2(r.text().startsWith("Wrong code"), r.body.c_str());
        }
        // The password changed only with the right code.
        const User renamed{u.login, "newpass"};
        QCOMPARE(Account(c, renamed).contains("wall_btc"), accepted);
    }

    // Five wrong codes pause withdraw, changepass and twofa_disable for the login, a right code included,
    // until the window is over.
    void pauseAfterFiveWrongCodes()
    {
        Client c = m_service->client();
        QByteArray key;
        const User u = userWithTwoFactor(c, &key);
        if (QTest::currentTestFailed()) return;
        advance(30);
        awayFromStepEdge();
        QStringList wrong;
        for (int n = 0; wrong.size() < 5; ++n) {
            const QString w = QString("%1").arg(100000 + n * 7919, 6, 10, QChar('0'));
            if (w != code(key) && w != code(key, -1) && w != code(key, 1)) wrong << w;
        }
        for (const QString& w : wrong) {
            const Response r = c.post(WithField(
                api::Withdraw("doge", ValidAddress("doge"), "Main", "50", u.login, u.digest(), FreshToken()), "otp", w));
            QVERIFY2(r.text().startsWith("Wrong code"), r.body.c_str());
        }
        const qint64 before = Units(Account(c, u), "wall_doge");
        const Response paused = c.post(WithField(
            api::Withdraw("doge", ValidAddress("doge"), "Main", "50", u.login, u.digest(), FreshToken()), "otp",
            code(key)));
        QVERIFY2(paused.text().startsWith("Paused after several wrong codes"), paused.body.c_str());
        const Response pass = c.post(WithField(api::ChangePass(u.login, "x", u.password, FreshToken()), "otp", code(key)));
        QVERIFY2(pass.text().startsWith("Paused after several wrong codes"), pass.body.c_str());
        const Response off = c.post(Action("twofa_disable", u, {{"otp", code(key)}}));
        QVERIFY2(off.text().startsWith("Paused after several wrong codes"), off.body.c_str());
        QCOMPARE(Units(Account(c, u), "wall_doge"), before);
        // From another address too: the pause is the login's.
        Client other = m_service->client("127.0.0.2");
        const Response elsewhere = other.post(WithField(
            api::Withdraw("doge", ValidAddress("doge"), "Main", "50", u.login, u.digest(), FreshToken()), "otp",
            code(key)));
        QVERIFY2(elsewhere.text().startsWith("Paused after several wrong codes"), elsewhere.body.c_str());
        // The account itself still refreshes: only the actions that need a code wait.
        QCOMPARE(Account(c, u).value("twofa").toString(), QString("1"));

        advance(301);
        awayFromStepEdge();
        const Response after = c.post(WithField(
            api::Withdraw("doge", ValidAddress("doge"), "Main", "50", u.login, u.digest(), FreshToken()), "otp",
            code(key)));
        QVERIFY2(after.text().startsWith("Withdrawal accepted"), after.body.c_str());
    }

    void disableNeedsPasswordAndCode()
    {
        Client c = m_service->client();
        QByteArray key;
        const User u = userWithTwoFactor(c, &key);
        if (QTest::currentTestFailed()) return;
        advance(30);
        awayFromStepEdge();
        User wrongPassword = u;
        wrongPassword.password = "guess";
        QVERIFY(c.post(Action("twofa_disable", wrongPassword, {{"otp", code(key)}}))
                    .text()
                    .startsWith("Wrong login or password"));
        const Response noCode = c.post(Action("twofa_disable", u));
        QVERIFY2(noCode.text().startsWith("A code from your authenticator app is needed"), noCode.body.c_str());
        QCOMPARE(Account(c, u).value("twofa").toString(), QString("1"));
        const Response off = c.post(Action("twofa_disable", u, {{"otp", code(key)}}));
        QVERIFY2(off.text().startsWith("Done: two-factor codes are off"), off.body.c_str());
        QCOMPARE(Account(c, u).value("twofa").toString(), QString("0"));
        // Off: withdrawals need no code again.
        const Response w =
            c.post(api::Withdraw("doge", ValidAddress("doge"), "Main", "50", u.login, u.digest(), FreshToken()));
        QVERIFY2(w.text().startsWith("Withdrawal accepted"), w.body.c_str());
        QVERIFY(c.post(Action("twofa_disable", u, {{"otp", code(key)}})).text().startsWith("Not on"));
    }

    // The secret is stored sealed: neither its base32 nor its hex form is in the database, and the key
    // file beside it is the owner's alone.
    void secretStoredSealed()
    {
        Client c = m_service->client();
        QByteArray key;
        const User u = userWithTwoFactor(c, &key);
        if (QTest::currentTestFailed()) return;
        const PsqlResult row = m_service->sql("SELECT sealed, pending FROM twofa");
        QCOMPARE(row.exitCode, 0);
        QVERIFY(!row.out.isEmpty());
        QVERIFY(!row.out.contains(QString::fromLatin1(key.toHex()), Qt::CaseInsensitive));
        QString secretText;
        {
            static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
            quint32 buffer = 0;
            int bits = 0;
            for (char b : key) {
                buffer = (buffer << 8) | uchar(b);
                bits += 8;
                while (bits >= 5) {
                    secretText += alphabet[(buffer >> (bits - 5)) & 31];
                    bits -= 5;
                }
            }
        }
        QVERIFY(!row.out.contains(secretText, Qt::CaseInsensitive));
        QFileInfo keyFile(m_service->dataDir() + "/twofa.key");
        QVERIFY(keyFile.exists());
        QCOMPARE(keyFile.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFileDevice::Permissions());
        QCOMPARE(keyFile.size(), qint64(32));
        // The access log names the actions, never the secret (stopped first: the log is flushed on the way out).
        m_service->stop();
        QFile log(m_service->dataDir() + "/access.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray lines = log.readAll();
        QVERIFY(lines.contains("twofa_enable"));
        QVERIFY(!lines.contains(secretText.toLatin1()));
    }
};

QTEST_GUILESS_MAIN(ServiceTwoFactorTest)
#include "tst_service_twofa.moc"
