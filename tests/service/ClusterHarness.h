#pragma once
// Several ambervale-service processes on one PostgreSQL database, as behind a
// load balancer: a fresh database per group, and per instance its own data
// folder (certificates, config, access log) and loopback port.
#include "ServiceHarness.h"

#include <QDateTime>
#include <QFile>

#include <memory>
#include <vector>

namespace svc {

// One SQL command on a database; its output (unaligned, no headers), or
// nothing when it failed.
inline std::optional<QString> Psql(const QString& conninfo, const QString& sql)
{
    const PsqlResult r = RunPsql(conninfo, sql);
    if (r.exitCode != 0) {
        qWarning("psql failed: %s", qPrintable(r.err));
        return std::nullopt;
    }
    return r.out;
}

// A database of its own, dropped at the end (with whatever is still connected).
class PgDatabase {
public:
    explicit PgDatabase(QString server) : m_server(std::move(server))
    {
        m_name = QStringLiteral("ambervale_cluster_%1").arg(FreshToken().toLower());
        m_created = Psql(m_server, "CREATE DATABASE " + m_name).has_value();
    }
    ~PgDatabase()
    {
        if (m_created) Psql(m_server, "DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
    }
    PgDatabase(const PgDatabase&) = delete;
    PgDatabase& operator=(const PgDatabase&) = delete;

    bool created() const { return m_created; }
    QString conninfo() const { return PgUri(m_server, m_name); }

private:
    QString m_server, m_name;
    bool m_created = false;
};

// A throw-away PostgreSQL server of the test's own (scripts/pg-cluster.sh), for
// tests that restart the server under the service and must not disturb others.
class PgServerProcess {
public:
    PgServerProcess()
    {
        m_dir.setAutoRemove(false); // the script removes it; it belongs to another user meanwhile
        const auto out = script({"start", m_dir.path()});
        if (out) m_conninfo = *out;
    }
    ~PgServerProcess() { script({"stop", m_dir.path()}); }
    PgServerProcess(const PgServerProcess&) = delete;
    PgServerProcess& operator=(const PgServerProcess&) = delete;

    QString conninfo() const { return m_conninfo; }
    // Stops the server fast (open connections are cut) and starts it again on the same port.
    bool restart() { return script({"restart", m_dir.path()}).has_value(); }
    // Stops the server fast and keeps it stopped, until resume() starts it again on the same port.
    bool pause() { return script({"pause", m_dir.path()}).has_value(); }
    bool resume() { return script({"resume", m_dir.path()}).has_value(); }

private:
    static std::optional<QString> script(const QStringList& args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(AMBERVALE_PG_CLUSTER_SCRIPT), args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    QTemporaryDir m_dir;
    QString m_conninfo;
};

// One service process on the shared store.
class Instance {
public:
    Instance(QString store, QStringList extra) : m_store(std::move(store)), m_extra(std::move(extra)) {}
    ~Instance() { stop(); }

    QString dataDir() const { return m_dir.path(); }
    QString caFile() const { return m_dir.path() + "/ca.pem"; }
    int port() const { return m_port; }
    Client client() const { return Client(m_port, caFile()); }
    bool running() const { return m_process.state() == QProcess::Running; }

    // Starts the process (on the same port as before, after a stop) and waits
    // until it answers; false with the reason in *why otherwise.
    bool start(QString* why)
    {
        if (!m_port) {
            WriteTestConfig(dataDir());
            if (command({"init", "--host", "127.0.0.1"}).exitCode != 0) return fail(why, "init failed");
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) return fail(why, "no free port");
            m_port = probe.serverPort();
        }
        m_process.setProgram(Service::Binary());
        m_process.setArguments(QStringList{"--data", dataDir(), "--store", m_store, "--port", QString::number(m_port),
                                           "--host", "127.0.0.1", "--bind", "127.0.0.1"} +
                               m_extra);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(10000)) return fail(why, "the service does not start");
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < until) {
            Client c = client();
            if (c.post(api::Settings("all_json_setting", FreshToken())).ok) return true;
            if (m_process.state() != QProcess::Running) return fail(why, "the service stopped at start");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return fail(why, "the service does not answer");
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) kill();
    }
    void kill()
    {
        m_process.kill(); // SIGKILL
        m_process.waitForFinished(10000);
    }

    Service::CommandResult command(const QStringList& args) const
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(Service::Binary(), args + QStringList{"--data", dataDir(), "--store", m_store});
        p.waitForFinished(60000);
        Service::CommandResult r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        return r;
    }

    // Moves this instance's clock (test-clock action); the service's time
    // afterwards, to the minute, or an invalid time on failure.
    QDateTime advance(qint64 seconds) const
    {
        Client c = client();
        const Response r =
            c.post({{"a", "x_clock_advance"}, {"seconds", QString::number(seconds)}, {"session", FreshToken()}});
        const QString prefix = QStringLiteral("Clock moved to ");
        if (!r.ok || !r.text().startsWith(prefix)) return {};
        const QDateTime t = QDateTime::fromString(r.text().mid(prefix.size(), 16), "yyyy-MM-dd HH:mm");
        return t.isValid() ? QDateTime(t.date(), t.time(), Qt::UTC) : QDateTime();
    }

private:
    static bool fail(QString* why, const char* text)
    {
        if (why) *why = QString::fromUtf8(text);
        return false;
    }

    QString m_store;
    QStringList m_extra;
    QTemporaryDir m_dir;
    int m_port = 0;
    QProcess m_process;
};

// N instances on one fresh database.
class InstanceGroup {
public:
    InstanceGroup(const QString& server, int count, QStringList extra = {"--test-clock"}) : m_db(server)
    {
        if (!m_db.created()) {
            m_error = "cannot create a database on " + server;
            return;
        }
        // One after the other: the first creates the schema.
        for (int i = 0; i < count; ++i) {
            m_instances.push_back(std::make_unique<Instance>(m_db.conninfo(), extra));
            QString why;
            if (!m_instances.back()->start(&why)) {
                m_error = QStringLiteral("instance %1: %2").arg(i).arg(why);
                return;
            }
        }
    }
    ~InstanceGroup()
    {
        m_instances.clear(); // before the database goes
    }

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    int size() const { return static_cast<int>(m_instances.size()); }
    Instance& operator[](int i) { return *m_instances.at(static_cast<size_t>(i)); }
    QString store() const { return m_db.conninfo(); }

    // The ledger check over the shared database, with its report.
    Service::CommandResult verify() const { return m_instances.front()->command({"verify"}); }

    // Moves every instance's clock forward by the same span, whether the clock
    // lives in each process or is shared through the store.
    bool advanceAll(qint64 seconds)
    {
        const QDateTime first = m_instances.front()->advance(seconds);
        if (!first.isValid()) return false;
        for (size_t i = 1; i < m_instances.size(); ++i) {
            QDateTime t = m_instances[i]->advance(0);
            if (!t.isValid()) return false;
            if (t.secsTo(first) > 60) t = m_instances[i]->advance(seconds);
            if (!t.isValid() || std::llabs(t.secsTo(first)) > 120) return false;
        }
        return true;
    }

private:
    PgDatabase m_db;
    std::vector<std::unique_ptr<Instance>> m_instances;
    QString m_error;
};

} // namespace svc
