#include "Smtp.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iostream>

namespace smtp {

bool IsMailAddress(const std::string& login)
{
    const auto at = login.find('@');
    if (at == std::string::npos || at == 0 || login.find('@', at + 1) != std::string::npos) return false;
    const std::string domain = login.substr(at + 1);
    if (domain.size() < 3 || domain.find('.') == std::string::npos || domain.front() == '.' || domain.back() == '.')
        return false;
    for (unsigned char c : login)
        if (c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>' || c == '(' || c == ')' || c == ',' ||
            c == ';' || c == '\\' || c == '[' || c == ']')
            return false;
    return true;
}

std::string Message(const std::string& from, const std::string& to, const std::string& code,
                    std::int64_t validMinutes, std::int64_t now)
{
    char date[64];
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    return "Date: " + std::string(date) + "\r\nFrom: Ambervale <" + from + ">\r\nTo: <" + to +
           ">\r\nSubject: Your Ambervale security code\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n\r\n"
           "Your security code is " + code + ".\r\n\r\nType it in the password change of the Ambervale client, "
           "with your new password. It is valid for " + std::to_string(validMinutes) +
           " minutes.\r\nIf you did not ask for it, ignore this mail: your password stays as it is.\r\n";
}

} // namespace smtp

namespace {

struct Upload {
    const std::string* text;
    std::size_t at = 0;
};

std::size_t Read(char* buffer, std::size_t size, std::size_t n, void* user)
{
    auto* u = static_cast<Upload*>(user);
    const std::size_t take = std::min(size * n, u->text->size() - u->at);
    std::memcpy(buffer, u->text->data() + u->at, take);
    u->at += take;
    return take;
}

// The address as logged: the first character of the name and the domain.
std::string Masked(const std::string& login)
{
    const auto at = login.find('@');
    if (at == std::string::npos || at == 0) return "***";
    return login.substr(0, 1) + "***" + login.substr(at);
}

} // namespace

Mailer::Mailer(Store& store, SmtpRelay relay, std::string password)
    : m_store(store), m_relay(std::move(relay)), m_password(std::move(password))
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_thread = std::thread([this] { run(); });
}

Mailer::~Mailer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    m_thread.join();
    curl_global_cleanup();
}

void Mailer::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_cv.notify_all();
}

void Mailer::run()
{
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            // Woken by a new mail, else a look once a second for retries that are due.
            m_cv.wait_for(lock, std::chrono::seconds(1), [this] { return m_stop || m_woken; });
            if (m_stop) return;
            m_woken = false;
        }
        try {
            sendDue();
        } catch (const std::exception& e) {
            std::cerr << "ambervale-service: reset mails: " << e.what() << std::endl;
        }
    }
}

void Mailer::sendDue()
{
    std::vector<ResetMail> mails;
    m_store.read([&](StoreTx& tx) { mails = tx.resetMails(); });
    const auto now = std::chrono::steady_clock::now();
    std::map<std::int64_t, Retry> still;
    for (const ResetMail& m : mails) {
        if (!smtp::IsMailAddress(m.login)) continue; // stays for the operator's reset-codes
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
        }
        Retry r = m_retry.count(m.id) ? m_retry[m.id] : Retry{};
        if (r.failures > 0 && now < r.next) {
            still[m.id] = r;
            continue;
        }
        std::string error;
        if (send(m, &error)) {
            // Delivered to the relay: the clear code leaves the database.
            m_store.write([&](StoreTx& tx) { tx.dropResetMails({m.id}); });
            std::cerr << "ambervale-service: reset mail " << m.id << " to " << Masked(m.login) << " sent" << std::endl;
            continue;
        }
        if (stopping()) return; // cut off by the stop, not the relay's fault: it stays for the next start
        ++r.failures;
        // 5 s, 10 s, 20 s ... at most 5 minutes between tries; the code's own expiry ends them.
        const auto wait = std::chrono::seconds(std::min<std::int64_t>(300, 5LL << std::min(r.failures - 1, 6)));
        r.next = std::chrono::steady_clock::now() + wait;
        still[m.id] = r;
        std::cerr << "ambervale-service: reset mail " << m.id << " to " << Masked(m.login) << " not sent (" << error
                  << "), try " << r.failures << ", next in " << wait.count() << " s" << std::endl;
    }
    m_retry = std::move(still); // mails gone from the outbox (sent, retired, expired) are forgotten
}

// Ends a transfer at once when the service stops, instead of at the relay's time-out.
static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Mailer*>(user)->stopping() ? 1 : 0;
}

bool Mailer::stopping()
{
    std::lock_guard lock(m_mutex);
    return m_stop;
}

bool Mailer::send(const ResetMail& m, std::string* error)
{
    CURL* curl = curl_easy_init();
    if (!curl) {
        *error = "libcurl could not start";
        return false;
    }
    const std::string url = "smtp://" + m_relay.host + ":" + std::to_string(m_relay.port);
    const std::int64_t minutes = std::max<std::int64_t>(1, (m.expires - m.created) / 60);
    const std::string text = smtp::Message(m_relay.from, m.login, m.code, minutes, m.created);
    Upload upload{&text};
    curl_slist* rcpt = curl_slist_append(nullptr, ("<" + m.login + ">").c_str());
    char message[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_relay.timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(m_relay.timeoutSeconds));
    if (m_relay.starttls) curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (!m_relay.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, m_relay.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, m_password.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, ("<" + m_relay.from + ">").c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, Read);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    const CURLcode rc = curl_easy_perform(curl);
    if (rc != CURLE_OK) *error = message[0] ? message : curl_easy_strerror(rc);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    return rc == CURLE_OK;
}
