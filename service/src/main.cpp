// ambervale-service: the Ambervale API over HTTPS, and its operator commands.
#include "Certs.h"
#include "Config.h"
#include "Money.h"
#include "Server.h"
#include "Service.h"
#include "Store.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* Usage = R"(Usage: ambervale-service [COMMAND] [OPTIONS]

Commands:
  serve                         run the HTTPS service (the default)
  init                          create the data folder, its database, config and certificates, then exit
  verify                        check that every balance equals its ledger sum and none is negative;
                                exits 1 on any mismatch
  credit LOGIN COIN AMOUNT      a simulated confirmed deposit (with the deposit bonus)
  add-account LOGIN PASSWORD    create an account as the client's registration would
  withdrawals                   list the pending withdrawals (the withdrawal outbox)
  mark-sent ID TXID             a pending withdrawal has been sent, in the transaction TXID
  mark-failed ID REASON         a pending withdrawal could not be sent: amount and fee return to the
                                wallet; REASON is shown to its owner. Both exit 1 for an unknown id or a
                                withdrawal that is not pending
  reset-codes                   list the password-reset messages (the reset outbox)

Options:
  --data DIR        data folder (default: ./ambervale-data); holds ambervale.db, config.json,
                    ca.pem/ca.key (the local CA), server.pem/server.key, access.log
  --store URI       keep accounts and money in PostgreSQL instead of DIR/ambervale.db:
                    postgresql://USER@HOST:PORT/DATABASE (or postgres://...; libpq's URI form).
                    Several instances may share one database.
  --config FILE     the config file instead of DIR/config.json (written with the defaults when missing)
  --port N          HTTPS port (default 8443)
  --host NAME       host name or address the server certificate is made for (default 127.0.0.1)
  --bind ADDRESS    address to listen on (default 127.0.0.1, this machine only; 0.0.0.0 or :: for all)
  --io-threads N    I/O threads (default 2)
  --workers N       database threads (default 4)
  --hash-workers N  threads for the actions that hash a password: registration, password change (default 1)
  --hash-queue N    such actions waiting beyond those running (default 8); more are answered 503
                    "Busy: please try again in a moment." at once
  --connections-per-address N
                    open connections one client address (IPv6: one /64) may hold (default 256);
                    more are closed at once
  --sync MODE       full (default): every commit reaches the disk before its answer;
                    normal: survives a crash of the service but not of the machine
                    (SQLite synchronous=NORMAL; PostgreSQL synchronous_commit=off)
  --read-timeout S  seconds a client has for its TLS handshake and for each whole request (default 15);
                    idle keep-alive connections close after it too
  --metrics ADDRESS:PORT
                    serve Prometheus' text at http://ADDRESS:PORT/metrics (plain HTTP; give a local
                    address: it is not protected); not served unless given
  --test-clock      accept the action "x_clock_advance" (field "seconds") that moves the
                    service's clock forward; for tests only
  --help            this text
)";

struct Args {
    std::string command = "serve";
    std::vector<std::string> positional;
    fs::path data = "ambervale-data";
    std::string store; // empty: SQLite in the data folder
    fs::path config;   // empty: config.json in the data folder
    int port = 8443;
    std::string host = "127.0.0.1";
    std::string bind = "127.0.0.1";
    int ioThreads = 2, workers = 4, hashWorkers = 1, hashQueue = 8, connectionsPerAddress = 256;
    bool syncFull = true;
    bool testClock = false;
    int readTimeout = 15;
    std::string metricsAddress;
    int metricsPort = 0;
};

[[noreturn]] void Fail(const std::string& why)
{
    std::cerr << "ambervale-service: " << why << "\n(see --help)\n";
    std::exit(2);
}

int Number(const std::string& s, int lo, int hi, const char* what)
{
    try {
        size_t used = 0;
        const int v = std::stoi(s, &used);
        if (used == s.size() && v >= lo && v <= hi) return v;
    } catch (...) {
    }
    Fail(std::string("bad ") + what + ": " + s);
}

Args Parse(int argc, char** argv)
{
    Args a;
    bool commandSeen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string s = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Fail("missing value after " + s);
            return argv[++i];
        };
        if (s == "--help" || s == "-h") {
            std::cout << Usage;
            std::exit(0);
        } else if (s == "--data")
            a.data = value();
        else if (s == "--store") {
            a.store = value();
            if (a.store.rfind("postgresql://", 0) != 0 && a.store.rfind("postgres://", 0) != 0)
                Fail("--store takes a postgresql:// URI");
        } else if (s == "--config")
            a.config = value();
        else if (s == "--port")
            a.port = Number(value(), 1, 65535, "port");
        else if (s == "--host")
            a.host = value();
        else if (s == "--bind")
            a.bind = value();
        else if (s == "--io-threads")
            a.ioThreads = Number(value(), 1, 64, "thread count");
        else if (s == "--workers")
            a.workers = Number(value(), 1, 64, "worker count");
        else if (s == "--hash-workers")
            a.hashWorkers = Number(value(), 1, 64, "hashing thread count");
        else if (s == "--hash-queue")
            a.hashQueue = Number(value(), 0, 100000, "hashing queue length");
        else if (s == "--connections-per-address")
            a.connectionsPerAddress = Number(value(), 1, 1000000, "connection count");
        else if (s == "--sync") {
            const std::string m = value();
            if (m != "full" && m != "normal") Fail("--sync takes full or normal");
            a.syncFull = m == "full";
        } else if (s == "--test-clock")
            a.testClock = true;
        else if (s == "--metrics") {
            const std::string v = value();
            const auto colon = v.rfind(':');
            if (colon == std::string::npos || colon == 0) Fail("--metrics takes ADDRESS:PORT");
            a.metricsAddress = v.substr(0, colon);
            if (a.metricsAddress.size() > 2 && a.metricsAddress.front() == '[' && a.metricsAddress.back() == ']')
                a.metricsAddress = a.metricsAddress.substr(1, a.metricsAddress.size() - 2);
            a.metricsPort = Number(v.substr(colon + 1), 1, 65535, "metrics port");
        } else if (s == "--read-timeout")
            a.readTimeout = Number(value(), 1, 3600, "time-out");
        else if (s.rfind("--", 0) == 0)
            Fail("unknown option " + s);
        else if (!commandSeen) {
            a.command = s;
            commandSeen = true;
        } else
            a.positional.push_back(s);
    }
    return a;
}

std::string Time(std::int64_t t)
{
    const std::time_t tt = t;
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

} // namespace

int main(int argc, char** argv)
{
    // SQLite drops a reader's page cache whenever another connection has
    // written, which under load frees and refills memory at the top of the
    // heap many times a second; without a large trim threshold glibc hands it
    // back to the kernel each time (madvise, TLB flushes on every core).
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    const Args args = Parse(argc, argv);
    static const std::vector<std::string> commands{"serve",       "init",        "verify",     "credit",
                                                   "add-account", "withdrawals", "reset-codes",
                                                   "mark-sent",   "mark-failed"};
    if (std::find(commands.begin(), commands.end(), args.command) == commands.end())
        Fail("unknown command " + args.command);
    try {
        fs::create_directories(args.data);
        ::chmod(args.data.c_str(), 0700);
        const Config config = Config::LoadOrCreate(args.config.empty() ? args.data / "config.json" : args.config);
        // One connection per worker and hashing thread, plus the periodic sweep's.
        auto store = args.store.empty()
                         ? OpenSqliteStore((args.data / "ambervale.db").string(), args.syncFull)
                         : OpenPostgresStore(args.store, args.workers + args.hashWorkers + 1, args.syncFull);
        Clock clock;

        if (args.command == "verify") {
            VerifyReport report;
            store->read([&](StoreTx& tx) { report = tx.verify(); });
            for (const std::string& p : report.problems) std::cout << "MISMATCH " << p << "\n";
            std::cout << (report.ok() ? "ok" : "FAILED") << ": " << report.balances << " balances, " << report.entries
                      << " ledger entries, " << report.problems.size() << " problems\n";
            return report.ok() ? 0 : 1;
        }
        if (args.command == "withdrawals") {
            std::vector<Withdrawal> list;
            store->read([&](StoreTx& tx) { list = tx.withdrawals(); });
            std::cout << "id\tcreated (UTC)\tlogin\tcoin\tnetwork\taddress\tamount\tfee\tto send\n";
            for (const Withdrawal& w : list)
                std::cout << w.id << "\t" << Time(w.created) << "\t" << w.login << "\t" << w.coin << "\t" << w.network
                          << "\t" << w.address << "\t" << money::Format(w.amount) << "\t" << money::Format(w.fee)
                          << "\t" << money::Format(w.net) << "\n";
            return 0;
        }
        if (args.command == "reset-codes") {
            // Printed is delivered: the clear codes then leave the database.
            std::vector<ResetMail> list;
            store->read([&](StoreTx& tx) { list = tx.resetMails(); });
            std::cout << "id\tcreated (UTC)\tlogin\tcode\tvalid until (UTC)\n";
            std::vector<std::int64_t> delivered;
            for (const ResetMail& m : list) {
                std::cout << m.id << "\t" << Time(m.created) << "\t" << m.login << "\t" << m.code << "\t"
                          << Time(m.expires) << "\n";
                delivered.push_back(m.id);
            }
            std::cout.flush();
            if (!std::cout) Fail("the reset codes could not be printed; they stay in the outbox");
            store->write([&](StoreTx& tx) { tx.dropResetMails(delivered); });
            return 0;
        }

        Service::Options so;
        so.testClock = args.testClock;
        so.webHost = args.host + ":" + std::to_string(args.port);
        so.twofaKeyFile = (args.data / "twofa.key").string();
        so.sendMail = args.command == "serve";
        Service service(*store, config, clock, so);
        if (args.command == "credit") {
            if (args.positional.size() != 3) Fail("credit takes LOGIN COIN AMOUNT");
            std::cout << service.credit(args.positional[0], args.positional[1], args.positional[2]) << "\n";
            return 0;
        }
        if (args.command == "mark-sent" || args.command == "mark-failed") {
            if (args.positional.size() != 2) Fail(args.command + " takes ID " + (args.command == "mark-sent" ? "TXID" : "REASON"));
            std::cout << (args.command == "mark-sent" ? service.markSent(args.positional[0], args.positional[1])
                                                      : service.markFailed(args.positional[0], args.positional[1]))
                      << "\n";
            return 0;
        }
        if (args.command == "add-account") {
            if (args.positional.size() != 2) Fail("add-account takes LOGIN PASSWORD");
            std::cout << service.addAccount(args.positional[0], args.positional[1]) << "\n";
            return 0;
        }
        const certs::Paths cert = certs::Ensure(args.data, args.host);
        if (args.command == "init") {
            std::cout << fs::absolute(cert.caCert).string() << "\n";
            return 0;
        }
        // Every connection holds a descriptor: take all the system allows this process.
        if (rlimit lim{}; ::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
            lim.rlim_cur = lim.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &lim);
        }
        ServerOptions options;
        options.bindAddress = args.bind;
        options.port = static_cast<unsigned short>(args.port);
        options.ioThreads = args.ioThreads;
        options.workers = args.workers;
        options.hashWorkers = args.hashWorkers;
        options.hashQueue = args.hashQueue;
        options.connectionsPerAddress = args.connectionsPerAddress;
        options.certFile = cert.serverCert;
        options.keyFile = cert.serverKey;
        options.accessLog = args.data / "access.log";
        options.readTimeoutSeconds = args.readTimeout;
        options.handshakeTimeoutSeconds = std::min(10, args.readTimeout);
        options.ready = [&store] { return store->ping(); };
        options.metricsAddress = args.metricsAddress;
        options.metricsPort = static_cast<unsigned short>(args.metricsPort);
        options.group = store->groupCommit();
        return Serve(service, options);
    } catch (const std::exception& e) {
        std::cerr << "ambervale-service: " << e.what() << "\n";
        return 1;
    }
}
