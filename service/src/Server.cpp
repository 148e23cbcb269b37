#include "Server.h"

#include "Metrics.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

namespace {

constexpr size_t MaxLoggedPath = 128;
constexpr size_t MaxLoggedLogin = 64;
const char* BusyText = "Busy: please try again in a moment.";

// The actions that make a slow password hash; they run on the hashing pool.
bool Hashes(const std::string& action)
{
    return action == "tg_new_user" || action == "changepass";
}

// Connections are counted per client machine: an IPv4 address (also when
// mapped into IPv6), an IPv6 address by its /64.
std::string AddressKey(const net::ip::address& a)
{
    if (a.is_v6()) {
        const auto v6 = a.to_v6();
        if (v6.is_v4_mapped()) return net::ip::make_address_v4(net::ip::v4_mapped, v6).to_string();
        auto bytes = v6.to_bytes();
        std::fill(bytes.begin() + 8, bytes.end(), 0);
        return net::ip::address_v6(bytes).to_string() + "/64";
    }
    return a.to_string();
}

// One JSON object per line. Logs the action and the login, never the
// password, digests, codes or the rest of the body.
class AccessLog {
public:
    explicit AccessLog(const std::filesystem::path& path) : m_path(path), m_file(std::fopen(path.c_str(), "a"))
    {
        if (!m_file) throw std::runtime_error("cannot open the access log " + path.string());
        setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
    }
    ~AccessLog() { std::fclose(m_file); }
    // After a rotation: lines go to a fresh file under the same name; the old one is flushed and closed.
    bool reopen()
    {
        FILE* fresh = std::fopen(m_path.c_str(), "a");
        if (!fresh) return false;
        setvbuf(fresh, nullptr, _IOFBF, 1 << 16);
        std::lock_guard lock(m_mutex);
        std::fclose(m_file);
        m_file = fresh;
        return true;
    }
    void write(const std::string& ip, const std::string& method, const std::string& path, const std::string& action,
               const std::string& login, int status, std::size_t bytes, double ms)
    {
        // Whatever a client sends, a line stays short.
        auto cap = [](const std::string& s, size_t n) { return s.size() <= n ? s : s.substr(0, n) + "..."; };
        nlohmann::json j;
        j["time"] =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        j["ip"] = ip;
        j["method"] = cap(method, 16);
        j["path"] = cap(path, MaxLoggedPath);
        if (!action.empty()) j["action"] = cap(action, 32);
        if (!login.empty()) j["login"] = cap(login, MaxLoggedLogin);
        j["status"] = status;
        j["bytes"] = bytes;
        j["ms"] = static_cast<double>(static_cast<long>(ms * 100)) / 100;
        const std::string line = j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
        std::lock_guard lock(m_mutex);
        std::fwrite(line.data(), 1, line.size(), m_file);
    }
    void flush()
    {
        std::lock_guard lock(m_mutex);
        std::fflush(m_file);
    }

private:
    std::filesystem::path m_path;
    std::mutex m_mutex;
    FILE* m_file;
};

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string FormDecode(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+')
            out += ' ';
        else if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else
            out += s[i];
    }
    return out;
}

Fields ParseForm(std::string_view body)
{
    Fields f;
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find('&', start);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view piece = body.substr(start, end - start);
        if (!piece.empty()) {
            const size_t eq = piece.find('=');
            if (eq == std::string_view::npos)
                f.add(FormDecode(piece), "");
            else
                f.add(FormDecode(piece.substr(0, eq)), FormDecode(piece.substr(eq + 1)));
        }
        start = end + 1;
    }
    return f;
}

struct Shared {
    Shared(Service& s, const ServerOptions& o, net::thread_pool& w, net::thread_pool& h, AccessLog& l)
        : service(s), options(o), workers(w), hashers(h), log(l)
    {
    }
    Service& service;
    const ServerOptions& options;
    net::thread_pool& workers;
    net::thread_pool& hashers;
    AccessLog& log;
    Metrics metrics;
    std::atomic<int> busy{0};
    std::atomic<int> hashing{0}; // hashing actions running or queued
    std::atomic<bool> stopping{false};
    std::mutex connectionsMutex;
    std::unordered_map<std::string, int> connections; // open connections per client machine

    // False when the client machine already holds its share of connections.
    bool admit(const std::string& key)
    {
        std::lock_guard lock(connectionsMutex);
        int& n = connections[key];
        if (n >= options.connectionsPerAddress) return false;
        ++n;
        return true;
    }
    void release(const std::string& key)
    {
        std::lock_guard lock(connectionsMutex);
        auto it = connections.find(key);
        if (it != connections.end() && --it->second <= 0) connections.erase(it);
    }

    // The TLS settings new connections get; SIGHUP puts fresh ones here, connections keep theirs.
    std::shared_ptr<ssl::context> tls()
    {
        std::lock_guard lock(tlsMutex);
        return currentTls;
    }
    void setTls(std::shared_ptr<ssl::context> ctx)
    {
        std::lock_guard lock(tlsMutex);
        currentTls = std::move(ctx);
    }
    std::mutex tlsMutex;
    std::shared_ptr<ssl::context> currentTls;
};

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket&& socket, std::shared_ptr<ssl::context> ctx, Shared& shared, std::string addressKey)
        : m_tls(std::move(ctx)), m_stream(std::move(socket), *m_tls), m_shared(shared),
          m_addressKey(std::move(addressKey))
    {
        m_shared.metrics.connectionOpened();
        beast::error_code ec;
        auto ep = beast::get_lowest_layer(m_stream).socket().remote_endpoint(ec);
        if (!ec) m_ip = ep.address().to_string();
        beast::get_lowest_layer(m_stream).socket().set_option(tcp::no_delay(true), ec);
    }

    ~Session()
    {
        m_shared.metrics.connectionClosed();
        m_shared.release(m_addressKey);
    }

    void run()
    {
        net::dispatch(m_stream.get_executor(), [self = shared_from_this()] { self->handshake(); });
    }

private:
    void handshake()
    {
        beast::get_lowest_layer(m_stream).expires_after(std::chrono::seconds(m_shared.options.handshakeTimeoutSeconds));
        // Anything that is not TLS (plain HTTP included) fails here and gets no answer.
        m_stream.async_handshake(ssl::stream_base::server, [self = shared_from_this()](beast::error_code ec) {
            if (!ec) self->read();
        });
    }

    void read()
    {
        if (m_shared.stopping) return close();
        m_parser.emplace();
        m_parser->header_limit(8 * 1024);
        m_parser->body_limit(m_shared.options.maxBodyBytes);
        beast::get_lowest_layer(m_stream).expires_after(std::chrono::seconds(m_shared.options.readTimeoutSeconds));
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
    }

    void onRead(beast::error_code ec)
    {
        if (ec == http::error::body_limit || ec == http::error::header_limit) {
            m_keepAlive = false;
            m_started = std::chrono::steady_clock::now();
            return respond(Reply::Text("Refused: the request is too large.", 413), "", "", "", "");
        }
        if (ec) return close();
        m_started = std::chrono::steady_clock::now();
        auto& req = m_parser->get();
        m_keepAlive = req.keep_alive();
        m_version = req.version();
        const std::string target(req.target());
        const std::string method(req.method_string());
        const std::string path = target.substr(0, target.find('?'));
        Service& service = m_shared.service;
        if (req.method() == http::verb::post && path == "/api.php") {
            Fields fields = ParseForm(req.body());
            std::string action = fields.get("a").substr(0, 32);
            std::string login = fields.get("s").substr(0, 100);
            if (service.answersAtOnce(fields)) return respond(service.api(fields), method, path, action, login);
            // The refresh of a running client, when the store reads without waiting: no hop to a worker.
            if (action == "useraccount")
                if (auto r = service.refreshAtOnce(fields, RequestContext{m_ip}))
                    return respond(std::move(*r), method, path, action, login);
            if (Hashes(action)) return hash(std::move(fields), method, path, std::move(action), std::move(login));
            ++m_shared.busy;
            net::post(m_shared.workers, [self = shared_from_this(), fields = std::move(fields), method, path,
                                         action = std::move(action), login = std::move(login)]() mutable {
                Reply r = self->m_shared.service.api(fields, RequestContext{self->m_ip});
                net::post(self->m_stream.get_executor(),
                          [self, r = std::move(r), method, path, action, login]() mutable {
                              --self->m_shared.busy;
                              self->respond(std::move(r), method, path, action, login);
                          });
            });
            return;
        }
        if ((req.method() == http::verb::get || req.method() == http::verb::head) && path == "/healthz") {
            // Asked by the load balancer every few seconds: ready only while the database answers.
            ++m_shared.busy;
            net::post(m_shared.workers, [self = shared_from_this(), method, path]() mutable {
                bool ok = true;
                try {
                    ok = !self->m_shared.options.ready || self->m_shared.options.ready();
                } catch (const std::exception&) {
                    ok = false;
                }
                Reply r = ok ? Reply::Text("ready") : Reply::Text("not ready", 503);
                net::post(self->m_stream.get_executor(), [self, r = std::move(r), method, path]() mutable {
                    --self->m_shared.busy;
                    self->respond(std::move(r), method, path, "healthz", "");
                });
            });
            return;
        }
        if (req.method() == http::verb::get || req.method() == http::verb::head) {
            if (service.servesAtOnce(target)) return respond(service.get(target), method, path, "", "");
            ++m_shared.busy;
            net::post(m_shared.workers, [self = shared_from_this(), target, method, path]() mutable {
                Reply r = self->m_shared.service.get(target);
                net::post(self->m_stream.get_executor(), [self, r = std::move(r), method, path]() mutable {
                    --self->m_shared.busy;
                    self->respond(std::move(r), method, path, "", "");
                });
            });
            return;
        }
        respond(Reply::Text("Not found.", 404), method, path, "", "");
    }

    // On the hashing pool, with a bounded queue: past it the client is told at
    // once to try again, and no worker of the money actions is taken.
    void hash(Fields fields, const std::string& method, const std::string& path, std::string action,
              std::string login)
    {
        const int limit = m_shared.options.hashWorkers + m_shared.options.hashQueue;
        if (++m_shared.hashing > limit) {
            --m_shared.hashing;
            return respond(Reply::Text(BusyText, 503), method, path, action, login);
        }
        ++m_shared.busy;
        net::post(m_shared.hashers, [self = shared_from_this(), fields = std::move(fields), method, path,
                                     action = std::move(action), login = std::move(login)]() mutable {
            Reply r = self->m_shared.service.api(fields, RequestContext{self->m_ip});
            --self->m_shared.hashing;
            net::post(self->m_stream.get_executor(), [self, r = std::move(r), method, path, action, login]() mutable {
                --self->m_shared.busy;
                self->respond(std::move(r), method, path, action, login);
            });
        });
    }

    void respond(Reply r, const std::string& method, const std::string& path, const std::string& action,
                 const std::string& login)
    {
        // Last line of defence for the client's "log in again" rule.
        if (!r.json && !r.body.empty() && r.body[0] == 'T') r.body.insert(0, "Notice: ");
        auto res = std::make_shared<http::response<http::string_body>>(static_cast<http::status>(r.status), m_version);
        res->set(http::field::server, "ambervale");
        res->set(http::field::content_type, r.contentType);
        res->set(http::field::cache_control, "no-store");
        res->keep_alive(m_keepAlive && !m_shared.stopping);
        res->body() = std::move(r.body);
        res->prepare_payload();
        if (method == "HEAD") res->body().clear(); // the length of the answer a GET gets, without it
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_started).count();
        m_shared.log.write(m_ip, method, path, action, login, r.status, res->body().size(), ms);
        m_shared.metrics.request(path == "/api.php" ? (action.empty() ? "none" : action)
                                 : action.empty()   ? "file"
                                                    : action,
                                 r.status, ms / 1000);
        beast::get_lowest_layer(m_stream).expires_after(std::chrono::seconds(m_shared.options.readTimeoutSeconds));
        ++m_shared.busy;
        http::async_write(m_stream, *res, [self = shared_from_this(), res](beast::error_code ec, std::size_t) {
            --self->m_shared.busy;
            if (ec || !res->keep_alive()) return self->close();
            self->read();
        });
    }

    void close()
    {
        beast::get_lowest_layer(m_stream).expires_after(std::chrono::seconds(2));
        m_stream.async_shutdown([self = shared_from_this()](beast::error_code) {
            beast::error_code ignored;
            beast::get_lowest_layer(self->m_stream).socket().close(ignored);
        });
    }

    std::shared_ptr<ssl::context> m_tls; // outlives the stream made from it
    beast::ssl_stream<beast::tcp_stream> m_stream;
    Shared& m_shared;
    std::string m_addressKey;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::string m_ip;
    bool m_keepAlive = true;
    unsigned m_version = 11;
    std::chrono::steady_clock::time_point m_started;
};

class Listener : public std::enable_shared_from_this<Listener> {
public:
    Listener(net::io_context& ioc, tcp::endpoint ep, Shared& shared)
        : m_ioc(ioc), m_acceptor(net::make_strand(ioc)), m_pause(m_acceptor.get_executor()),
          m_shared(shared), m_reserve(::open("/dev/null", O_RDONLY | O_CLOEXEC))
    {
        m_acceptor.open(ep.protocol());
        m_acceptor.set_option(net::socket_base::reuse_address(true));
        m_acceptor.bind(ep);
        m_acceptor.listen(net::socket_base::max_listen_connections);
    }
    ~Listener()
    {
        if (m_reserve >= 0) ::close(m_reserve);
    }
    void run() { accept(); }
    void stop()
    {
        net::post(m_acceptor.get_executor(), [self = shared_from_this()] {
            beast::error_code ec;
            self->m_acceptor.close(ec);
        });
    }

private:
    void accept()
    {
        m_acceptor.async_accept(
            net::make_strand(m_ioc), [self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
                if (!self->m_acceptor.is_open()) return;
                if (ec == net::error::no_descriptors || ec == boost::system::errc::too_many_files_open_in_system ||
                    ec == net::error::no_buffer_space || ec == net::error::no_memory)
                    return self->outOfDescriptors(ec);
                if (!ec) self->start(std::move(socket));
                self->accept();
            });
    }

    void start(tcp::socket socket)
    {
        beast::error_code ec;
        const auto ep = socket.remote_endpoint(ec);
        if (ec) return;
        std::string key = AddressKey(ep.address());
        if (!m_shared.admit(key)) return; // over its share: closed at once, before any TLS work
        try {
            std::make_shared<Session>(std::move(socket), m_shared.tls(), m_shared, key)->run();
        } catch (const std::exception&) {
            m_shared.release(key); // no TLS state to be had: the connection goes, its place is given back
        }
    }

    // The waiting connection stays in the queue, so accepting again at once
    // would only spin. The reserve descriptor lets one waiting client be taken
    // and closed (it learns at once instead of hanging), then the loop rests
    // a moment before it tries again.
    void outOfDescriptors(const beast::error_code& ec)
    {
        if (m_reserve >= 0) {
            ::close(m_reserve);
            const int fd = ::accept4(m_acceptor.native_handle(), nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) ::close(fd);
            m_reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastComplaint > std::chrono::seconds(10)) {
            m_lastComplaint = now;
            std::cerr << "ambervale-service: accepting paused: " << ec.message() << std::endl;
        }
        m_pause.expires_after(std::chrono::milliseconds(100));
        m_pause.async_wait([self = shared_from_this()](beast::error_code waitEc) {
            if (!waitEc) self->accept();
        });
    }

    net::io_context& m_ioc;
    tcp::acceptor m_acceptor;
    net::steady_timer m_pause;
    Shared& m_shared;
    int m_reserve;
    std::chrono::steady_clock::time_point m_lastComplaint{};
};

// Plain HTTP on a local address of its own: one GET /metrics per connection.
class MetricsSession : public std::enable_shared_from_this<MetricsSession> {
public:
    MetricsSession(tcp::socket&& socket, Shared& shared) : m_stream(std::move(socket)), m_shared(shared) {}
    void run()
    {
        m_stream.expires_after(std::chrono::seconds(10));
        http::async_read(m_stream, m_buffer, m_req, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (!ec) self->answer();
        });
    }

private:
    void answer()
    {
        auto res = std::make_shared<http::response<http::string_body>>(http::status::ok, m_req.version());
        const std::string target(m_req.target());
        const bool get = m_req.method() == http::verb::get || m_req.method() == http::verb::head;
        if (get && target.substr(0, target.find('?')) == "/metrics") {
            res->set(http::field::content_type, "text/plain; version=0.0.4; charset=utf-8");
            res->body() = m_shared.metrics.render(m_shared.options.group);
        } else {
            res->result(http::status::not_found);
            res->set(http::field::content_type, "text/plain; charset=utf-8");
            res->body() = "Not found.\n";
        }
        res->keep_alive(false);
        res->prepare_payload();
        if (m_req.method() == http::verb::head) res->body().clear();
        http::async_write(m_stream, *res, [self = shared_from_this(), res](beast::error_code, std::size_t) {
            beast::error_code ignored;
            self->m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        });
    }

    beast::tcp_stream m_stream;
    Shared& m_shared;
    beast::flat_buffer m_buffer;
    http::request<http::string_body> m_req;
};

class MetricsListener : public std::enable_shared_from_this<MetricsListener> {
public:
    MetricsListener(net::io_context& ioc, tcp::endpoint ep, Shared& shared)
        : m_ioc(ioc), m_acceptor(net::make_strand(ioc)), m_shared(shared)
    {
        m_acceptor.open(ep.protocol());
        m_acceptor.set_option(net::socket_base::reuse_address(true));
        m_acceptor.bind(ep);
        m_acceptor.listen();
    }
    void run() { accept(); }
    void stop()
    {
        net::post(m_acceptor.get_executor(), [self = shared_from_this()] {
            beast::error_code ec;
            self->m_acceptor.close(ec);
        });
    }

private:
    void accept()
    {
        m_acceptor.async_accept(net::make_strand(m_ioc),
                                [self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
                                    if (!self->m_acceptor.is_open()) return;
                                    if (!ec) std::make_shared<MetricsSession>(std::move(socket), self->m_shared)->run();
                                    self->accept();
                                });
    }

    net::io_context& m_ioc;
    tcp::acceptor m_acceptor;
    Shared& m_shared;
};

std::shared_ptr<ssl::context> MakeTls(const ServerOptions& options)
{
    auto ctx = std::make_shared<ssl::context>(ssl::context::tls_server);
    ctx->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                     ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
    // TLS 1.3, and TLS 1.2 only with forward secrecy and an AEAD cipher.
    SSL_CTX_set_min_proto_version(ctx->native_handle(), TLS1_2_VERSION);
    if (SSL_CTX_set_cipher_list(ctx->native_handle(),
                                "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                                "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305") != 1)
        throw std::runtime_error("the TLS cipher list is not supported");
    ctx->use_certificate_chain_file(options.certFile.string());
    ctx->use_private_key_file(options.keyFile.string(), ssl::context::pem);
    return ctx;
}

} // namespace

int Serve(Service& service, const ServerOptions& options)
{
    auto tls = MakeTls(options);

    net::io_context ioc(options.ioThreads);
    net::thread_pool workers(options.workers);
    net::thread_pool hashers(options.hashWorkers);
    AccessLog log(options.accessLog);
    Shared shared(service, options, workers, hashers, log);
    shared.setTls(std::move(tls));

    auto listener = std::make_shared<Listener>(
        ioc, tcp::endpoint(net::ip::make_address(options.bindAddress), options.port), shared);
    listener->run();
    std::shared_ptr<MetricsListener> metrics;
    if (options.metricsPort) {
        metrics = std::make_shared<MetricsListener>(
            ioc, tcp::endpoint(net::ip::make_address(options.metricsAddress), options.metricsPort), shared);
        metrics->run();
    }

    // SIGHUP: the access log after a rotation, the certificate after a renewal.
    net::signal_set hangups(ioc, SIGHUP);
    std::function<void()> onHangup = [&] {
        hangups.async_wait([&](beast::error_code ec, int) {
            if (ec) return;
            if (!log.reopen()) std::cerr << "ambervale-service: cannot reopen the access log" << std::endl;
            try {
                shared.setTls(MakeTls(options));
                std::cerr << "ambervale-service: access log reopened, certificate loaded" << std::endl;
            } catch (const std::exception& e) {
                std::cerr << "ambervale-service: certificate not reloaded, the old one stays: " << e.what()
                          << std::endl;
            }
            onHangup();
        });
    };
    onHangup();

    // Periodic work and log flushing on a timer of their own.
    net::steady_timer tick(ioc);
    int seconds = 0;
    std::function<void()> schedule = [&] {
        tick.expires_after(std::chrono::seconds(1));
        tick.async_wait([&](beast::error_code ec) {
            if (ec) return;
            log.flush();
            if (++seconds % 60 == 0)
                net::post(workers, [&service] {
                    try {
                        service.sweep();
                    } catch (const std::exception& e) {
                        std::cerr << "sweep: " << e.what() << std::endl;
                    }
                });
            schedule();
        });
    };
    schedule();

    net::signal_set signals(ioc, SIGINT, SIGTERM);
    net::steady_timer drain(ioc);
    std::function<void(int)> waitDrained = [&](int left) {
        if (shared.busy == 0 || left == 0) return ioc.stop();
        drain.expires_after(std::chrono::milliseconds(50));
        drain.async_wait([&, left](beast::error_code) { waitDrained(left - 1); });
    };
    signals.async_wait([&](beast::error_code ec, int) {
        if (ec) return;
        std::cerr << "ambervale-service: stopping" << std::endl;
        shared.stopping = true;
        listener->stop();
        if (metrics) metrics->stop();
        beast::error_code ignored;
        hangups.cancel(ignored);
        tick.cancel();
        waitDrained(100); // at most 5 s for requests under way
    });

    std::cerr << "ambervale-service: listening on https://" << options.bindAddress << ":" << options.port << "/"
              << std::endl;
    if (options.metricsPort)
        std::cerr << "ambervale-service: metrics on http://" << options.metricsAddress << ":" << options.metricsPort
                  << "/metrics" << std::endl;
    std::vector<std::thread> threads;
    for (int i = 1; i < options.ioThreads; ++i) threads.emplace_back([&] { ioc.run(); });
    ioc.run();
    for (auto& t : threads) t.join();
    workers.join();
    hashers.join();
    log.flush();
    std::cerr << "ambervale-service: stopped" << std::endl;
    return 0;
}
