#pragma once
// The one client of the service. It holds the HTTP components (time-outs, user
// agent and cookie policy per kind of request) and sends every request of the
// screens: a call returns at once and its answer comes later, on the GUI
// thread, to the continuation given with it. Nothing waits for the network.
#include "ClientPresets.h"
#include "HttpClient.h"

#include <QHash>
#include <QObject>

class ServiceClient : public QObject {
    Q_OBJECT
public:
    enum class Channel {
        Account,        // NetHTTPClient1: login, registration, account refreshes
        Settings,       // NetHTTPClient_c_coin_name: the platform settings
        Message,        // NetHTTP_MessageResult: money actions and password requests
        Deposit,        // NetHTTP_Get_Deposit: deposit addresses
        Swap,           // NetHTTP_get_swap: quotes and swaps
        LotteryPlayers, // HTTPGetPlayers
        LotteryWinners, // HTTPGetWinner
    };
    // What a second request of an action does while the first is out.
    enum class Overlap {
        Refuse,    // it is not sent (the action is one request at a time)
        Supersede, // it is sent and the earlier one's answer is dropped
    };

    explicit ServiceClient(QObject* parent = nullptr);
    ~ServiceClient() override;

    // The one alive, or null.
    static ServiceClient* Instance();

    // Sends fields to url for action over channel. Returns false, sending
    // nothing, while an earlier request of the same action is out (Refuse).
    // answer runs once the outcome is in, unless context has gone by then.
    bool Post(const QString& action, Channel channel, const QUrl& url, const FormFields& fields, QObject* context,
              HttpClient::Answer answer, Overlap overlap = Overlap::Refuse);
    bool Get(const QString& action, Channel channel, const QUrl& url, QObject* context, HttpClient::Answer answer,
             Overlap overlap = Overlap::Refuse);

    // A request of this action is out.
    bool Busy(const QString& action) const;

    HttpClient* Client(Channel channel) const;
    // Puts client (parented here) in the place of the channel's component;
    // requests already out still answer.
    void ReplaceClient(Channel channel, HttpClient* client);

    // Asks for a fresh account snapshot: whoever composes account requests
    // (the login screen, which holds the typed login) sends it.
    void RefreshAccount() { emit AccountRefreshWanted(); }

signals:
    void AccountRefreshWanted();

private:
    bool Begin(const QString& action, Overlap overlap, quint64* generation);
    HttpClient::Answer Finish(const QString& action, quint64 generation, HttpClient::Answer answer);

    QHash<int, HttpClient*> m_clients;
    QHash<QString, quint64> m_out;        // action -> generation of the request out
    QHash<QString, quint64> m_generation; // action -> last generation sent
};

// ServiceClient::Instance(), which must exist.
ServiceClient& Service();
