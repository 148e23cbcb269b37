// Pages served by GET: the lottery files, the house adverts and the invitation page.
#include "ServiceCommon.h"

using namespace service_detail;

bool Service::servesAtOnce(const std::string& target) const
{
    return target.rfind("/lotto/", 0) != 0;
}

namespace {

std::string HtmlEscape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string PercentDecode(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+')
            out += ' ';
        else if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
                 std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else
            out += s[i];
    }
    return out;
}

const char* PageHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Ambervale</title>"
                       "<style>body{font-family:sans-serif;margin:0;padding:8px;background:#1d1a16;color:#f3e6cf}"
                       "a{color:#f0b44c}b{color:#f0b44c}</style></head><body>";

} // namespace

Reply Service::get(const std::string& target)
{
    const auto q = target.find('?');
    const std::string path = target.substr(0, q);
    const std::string query = q == std::string::npos ? "" : target.substr(q + 1);
    if (path.rfind("/lotto/", 0) == 0 && path.size() > 12 && path.ends_with(".json")) {
        std::string name = path.substr(7, path.size() - 12);
        const bool winnersFile = name.rfind("winner_", 0) == 0;
        if (winnersFile) name = name.substr(7);
        const bool drawFile = name.rfind("draw_", 0) == 0; // the open draw's commitment
        if (drawFile) name = name.substr(5);
        if (const Coin* c = m_config.find(name)) {
            try {
                settleDraws(c->code, m_clock.now());
                return Reply::Json(winnersFile ? winners(c->code)
                                   : drawFile  ? drawCommitment(c->code)
                                               : players(c->code));
            } catch (const std::exception&) {
                return Reply::Text(msg::Internal, 500);
            }
        }
    }
    if (path == "/morec/ads/a-ads_1.php")
        return Reply::Html(std::string(PageHead) + rules::InvestAdvert(m_config) + "</body></html>");
    if (path == "/morec/ads/a-ads_2.php")
        return Reply::Html(std::string(PageHead) + rules::InviteAdvert(m_config) + "</body></html>");
    if (path == "/invite_user/" || path == "/invite_user") {
        std::string ref;
        for (size_t start = 0; start <= query.size();) {
            size_t end = query.find('&', start);
            if (end == std::string::npos) end = query.size();
            const std::string part = query.substr(start, end - start);
            if (part.rfind("ref=", 0) == 0) {
                ref = PercentDecode(part.substr(4));
                break;
            }
            start = end + 1;
        }
        if (ref.size() > 32 || !ValidUtf8(ref)) ref.clear();
        return Reply::Html(std::string(PageHead) + "<h2>You are invited to Ambervale</h2>" +
                           "<ol><li>Get the Ambervale desktop client from " + HtmlEscape(m_options.webHost) +
                           " (or build it from its source with <code>scripts/run.sh</code>).</li>"
                           "<li>On the login screen press <i>Create Account</i>, choose a login and a password.</li>"
                           "<li>Enter the invite code <b>" +
                           HtmlEscape(ref.empty() ? std::string("(none given)") : ref) +
                           "</b> in the <i>Invite code</i> field and press <i>Create Account</i> again.</li></ol>"
                           "<p>With the code you receive 15 DOGE at once.</p></body></html>");
    }
    return Reply::Text("Not found.", 404);
}
