#pragma once
// The withdraw screen's check of an address before the confirmation opens,
// with the same library the service refuses with. That library brings OpenSSL
// and a Keccak implementation, so it lives in a module loaded at the first
// check, not at start-up (libambervale_addresscheck.so beside the program).
#include <QString>

namespace addresscheck {

struct Result {
    bool ok = false;
    QString message; // what is wrong, for the message panel; empty when ok
};

// coinLower: "btc"; shownNetwork: as the withdraw screen lists it ("Main",
// "BEP-20 (Binance)", ...). When the module cannot be loaded the address is
// let through (the service checks it again) and message says the check was not made.
Result Check(const QString& coinLower, const QString& shownNetwork, const QString& address);

// The network's code as the address library names it ("main", "bep20", ...), or empty.
QString NetworkCode(const QString& shownNetwork);

// Where the module is looked for, and why loading it failed (empty once loaded).
QString ModulePath();
QString LoadError();

} // namespace addresscheck
