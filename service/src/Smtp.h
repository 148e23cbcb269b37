#pragma once
// Reset codes by e-mail: a background sender that takes the reset outbox's mails
// for logins that are e-mail addresses and hands them to the operator's SMTP relay
// (libcurl), retrying with back-off. Nothing here runs on a request's answer path.
#include "Config.h"
#include "Store.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace smtp {
// A login that can take mail: one "@", something either side, a dot in the domain, printable ASCII
// without spaces, quotes or angle brackets.
bool IsMailAddress(const std::string& login);
// The mail as sent: headers and body with CRLF line ends.
std::string Message(const std::string& from, const std::string& to, const std::string& code,
                    std::int64_t validMinutes, std::int64_t now);
} // namespace smtp

class Mailer {
public:
    // password: the relay's, already read from its file.
    Mailer(Store& store, SmtpRelay relay, std::string password);
    ~Mailer(); // stops the thread; a send under way ends at its time-out at most
    void wake(); // a new mail is in the outbox
    bool stopping();

private:
    void run();
    void sendDue();
    bool send(const ResetMail& m, std::string* error);

    Store& m_store;
    SmtpRelay m_relay;
    std::string m_password;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false, m_woken = false;
    struct Retry {
        int failures = 0;
        std::chrono::steady_clock::time_point next;
    };
    std::map<std::int64_t, Retry> m_retry; // by mail id; only the sender thread touches it
    std::thread m_thread;
};
