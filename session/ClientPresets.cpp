#include "ClientPresets.h"

namespace clients {

HttpClient::Options OptionsFor(Preset preset)
{
    HttpClient::Options o; // 60 s time-outs, cookies kept, the library's agent
    auto browser = [&o](int timeoutMs, bool keepCookies) {
        o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = timeoutMs;
        o.keepCookies = keepCookies;
        o.userAgent = HttpClient::BrowserUserAgent;
    };
    switch (preset) {
    case Preset::Account:
        browser(30000, false);
        break;
    case Preset::Settings:
        browser(10000, true);
        break;
    case Preset::Message:
        browser(30000, true);
        break;
    case Preset::Screen:
        break;
    case Preset::LotteryFile:
        break;
    }
    return o;
}

HttpClient* Make(const QString& name, Preset preset, QObject* parent)
{
    return new HttpClient(name, OptionsFor(preset), parent);
}

} // namespace clients
