#pragma once
// The kinds of HTTP client the service client holds, so that nobody wires
// time-outs and user agent by hand.
#include "HttpClient.h"

namespace clients {

enum class Preset {
    Account,     // the account client: 30 s, no cookies, browser agent
    Settings,    // the settings client: 10 s, browser agent
    Message,     // the money actions' client: 30 s, browser agent
    Screen,      // the deposit address and swap clients: 60 s, the library's agent
    LotteryFile, // the lottery's file clients: 60 s, the library's agent
};

HttpClient::Options OptionsFor(Preset preset);

// A client of that kind owned by parent; name is the component's name.
HttpClient* Make(const QString& name, Preset preset, QObject* parent);

} // namespace clients
