#include "ServiceClient.h"

#include <QPointer>
#include <utility>

namespace {
ServiceClient* g_instance = nullptr;

struct ChannelMake {
    const char* name;
    clients::Preset preset;
};

ChannelMake MakeOf(ServiceClient::Channel channel)
{
    using C = ServiceClient::Channel;
    switch (channel) {
    case C::Account:
        return {"NetHTTPClient1", clients::Preset::Account};
    case C::Settings:
        return {"NetHTTPClient_c_coin_name", clients::Preset::Settings};
    case C::Message:
        return {"NetHTTP_MessageResult", clients::Preset::Message};
    case C::Deposit:
        return {"NetHTTP_Get_Deposit", clients::Preset::Screen};
    case C::Swap:
        return {"NetHTTP_get_swap", clients::Preset::Screen};
    case C::LotteryPlayers:
        return {"HTTPGetPlayers", clients::Preset::LotteryFile};
    case C::LotteryWinners:
        return {"HTTPGetWinner", clients::Preset::LotteryFile};
    }
    return {"", clients::Preset::Screen};
}
} // namespace

ServiceClient::ServiceClient(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("ServiceClient"));
    for (Channel c : {Channel::Account, Channel::Settings, Channel::Message, Channel::Deposit, Channel::Swap,
                      Channel::LotteryPlayers, Channel::LotteryWinners}) {
        const ChannelMake m = MakeOf(c);
        m_clients.insert(int(c), clients::Make(QString::fromLatin1(m.name), m.preset, this));
    }
    g_instance = this;
}

ServiceClient::~ServiceClient()
{
    if (g_instance == this) g_instance = nullptr;
}

ServiceClient* ServiceClient::Instance()
{
    return g_instance;
}

ServiceClient& Service()
{
    Q_ASSERT(g_instance);
    return *g_instance;
}

HttpClient* ServiceClient::Client(Channel channel) const
{
    return m_clients.value(int(channel));
}

void ServiceClient::ReplaceClient(Channel channel, HttpClient* client)
{
    client->setParent(this);
    HttpClient* old = m_clients.value(int(channel));
    m_clients.insert(int(channel), client);
    // The old one goes once nothing it sent can still answer: with its
    // parent, which outlives every request.
    if (old) old->setObjectName(old->objectName() + QStringLiteral("_replaced"));
}

bool ServiceClient::Busy(const QString& action) const
{
    return m_out.contains(action);
}

bool ServiceClient::Begin(const QString& action, Overlap overlap, quint64* generation)
{
    if (overlap == Overlap::Refuse && m_out.contains(action)) return false;
    *generation = ++m_generation[action];
    m_out.insert(action, *generation);
    return true;
}

HttpClient::Answer ServiceClient::Finish(const QString& action, quint64 generation, HttpClient::Answer answer)
{
    return [this, action, generation, answer = std::move(answer)](const HttpClient::Outcome& outcome) {
        // Superseded: a later request of the action answers instead.
        if (m_out.value(action) != generation) return;
        m_out.remove(action);
        answer(outcome);
    };
}

bool ServiceClient::Post(const QString& action, Channel channel, const QUrl& url, const FormFields& fields,
                         QObject* context, HttpClient::Answer answer, Overlap overlap)
{
    quint64 generation = 0;
    if (!Begin(action, overlap, &generation)) return false;
    // Bound to this object rather than the context, so that the action is free
    // again even when the one who asked has gone; Finish then finds it gone.
    Client(channel)->Post(url, fields, this,
                          Finish(action, generation, [context = QPointer<QObject>(context), bound = context != nullptr,
                                                      answer = std::move(answer)](const HttpClient::Outcome& o) {
                              if (bound && !context) return;
                              answer(o);
                          }));
    return true;
}

bool ServiceClient::Get(const QString& action, Channel channel, const QUrl& url, QObject* context,
                        HttpClient::Answer answer, Overlap overlap)
{
    quint64 generation = 0;
    if (!Begin(action, overlap, &generation)) return false;
    Client(channel)->Get(url, this,
                         Finish(action, generation, [context = QPointer<QObject>(context), bound = context != nullptr,
                                                     answer = std::move(answer)](const HttpClient::Outcome& o) {
                             if (bound && !context) return;
                             answer(o);
                         }));
    return true;
}
