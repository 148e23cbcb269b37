#pragma once
// HTTPS front: a few I/O threads run every connection asynchronously; actions
// that touch the database run on a small worker pool, so a slow query never
// stalls other connections. Actions that make a password hash (registration,
// password change) run on a pool of their own with a bounded queue, so a flood
// of them cannot take the workers that money actions and reads need.
#include "Service.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

class GroupCommit;

struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    unsigned short port = 8443;
    int ioThreads = 2;
    int workers = 4;
    int hashWorkers = 1;       // threads for the hashing actions
    int hashQueue = 8;         // hashing actions waiting beyond those running; more are refused at once (503)
    int connectionsPerAddress = 256; // open connections per client address (IPv6: per /64); more are closed at once
    std::filesystem::path certFile, keyFile, accessLog;
    std::size_t maxBodyBytes = 8 * 1024;
    int readTimeoutSeconds = 15; // a whole request, headers and body, or the connection goes
    int handshakeTimeoutSeconds = 10;
    // GET /healthz answers 200 "ready" only while this says the database answers (none: always ready).
    std::function<bool()> ready;
    // Prometheus' text at http://metricsAddress:metricsPort/metrics (plain HTTP; port 0: not served).
    std::string metricsAddress = "127.0.0.1";
    unsigned short metricsPort = 0;
    const GroupCommit* group = nullptr; // the store's shared write transactions, for the metrics
};

// Serves until SIGTERM or SIGINT, then lets the requests under way finish.
// SIGHUP reopens the access log (after a rotation) and loads the certificate
// and key again for new connections. Returns the process exit code.
int Serve(Service& service, const ServerOptions& options);
