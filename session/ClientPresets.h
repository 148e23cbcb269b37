#pragma once
// The kinds of HTTP client the screens own, so that no screen wires time-outs,
// user agent and mode by hand.
#include "HttpClient.h"

namespace clients {

enum class Preset {
    Account,     // the login screen's account client: background, 30 s, no cookies, browser agent
    Settings,    // the login screen's settings client: background, 10 s, browser agent
    Message,     // the shared message client: blocking, 30 s, browser agent
    Screen,      // any other screen's client: background, 60 s, the library's agent
    LotteryFile, // the lottery's file clients: blocking, 60 s, the library's agent
};

HttpClient::Options OptionsFor(Preset preset);

// A client of that kind owned by parent; name is the component's name.
HttpClient* Make(const QString& name, Preset preset, QObject* parent);

} // namespace clients
