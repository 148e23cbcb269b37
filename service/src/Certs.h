#pragma once
#include <filesystem>
#include <string>

namespace certs {

struct Paths {
    std::filesystem::path caCert, caKey, serverCert, serverKey;
};

Paths In(const std::filesystem::path& dataDir);

// Makes the local CA once, and a server certificate for host (plus localhost
// and the loopback addresses) whenever it is missing, for another host, or
// close to expiry. Keys are readable by the owner only.
Paths Ensure(const std::filesystem::path& dataDir, const std::string& host);

} // namespace certs
