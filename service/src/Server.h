#pragma once
// HTTPS front: a few I/O threads run every connection asynchronously; actions
// that touch the database or hash passwords run on a small worker pool, so a
// slow query never stalls other connections.
#include "Service.h"

#include <cstdint>
#include <filesystem>
#include <string>

struct ServerOptions {
    std::string bindAddress = "0.0.0.0";
    unsigned short port = 8443;
    int ioThreads = 2;
    int workers = 4;
    std::filesystem::path certFile, keyFile, accessLog;
    std::size_t maxBodyBytes = 8 * 1024;
    int readTimeoutSeconds = 15; // a whole request, headers and body, or the connection goes
    int handshakeTimeoutSeconds = 10;
};

// Serves until SIGTERM or SIGINT, then lets the requests under way finish.
// Returns the process exit code.
int Serve(Service& service, const ServerOptions& options);
