// The daily lottery: stakes, draws and the public players, commitment and winners files.
#include "ServiceCommon.h"

using namespace service_detail;

Reply Service::lottery(const Fields& f)
{
    for (const char* n : {"coin", "val"})
        if (!f.find(n)) return Reply::Text(msg::Missing);
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    const Coin* c = m_config.find(AsciiLower(f.get("coin")));
    if (!c) return Reply::Text(msg::BadCoin);
    auto amount = money::Parse(f.get("val"));
    if (!amount) return Reply::Text(msg::BadAmount);
    if (*amount <= 0) return Reply::Text(msg::ZeroAmount);
    const std::int64_t now = m_clock.now();
    settleDraws(c->code, now);
    bool drawn = false;
    const auto staked = [&] {
        return Reply::Text("Your stake of " + money::Format(*amount) + " " + Upper(c->code) + " is in the draw." +
                           (drawn ? " With this the draw was full and has just taken place." : ""));
    };
    try {
        m_store.write([&](StoreTx& tx) {
            drawn = false;
            ThrowIfAnswered(tx);
            auto d = tx.openDraw(c->code);
            // A new draw commits to its seed at once: its hash is public before anyone else joins.
            const std::string seed = d ? d->seed : lottery::NewSeedHex();
            const std::int64_t id = d ? d->id : tx.createDraw(c->code, now, seed);
            tx.post("lottery-stake",
                    {{a->id, c->code, Bucket::Wallet, -*amount},
                     {system_account::Lottery, c->code, Bucket::Wallet, *amount}},
                    now);
            tx.addStake(id, Stake{a->id, AsciiLower(a->login), *amount}, now);
            history::Add(tx, a->id, c->code, history::kind::LotteryStake, -*amount, now, 0, {}, id);
            if (static_cast<int>(tx.stakes(id).size()) >= m_config.lotteryPlayers) {
                drawWinner(tx, Draw{id, c->code, d ? d->opened : now, seed}, now);
                drawn = true;
            }
            RecordAnswer(tx, staked());
        });
    } catch (const InsufficientFunds&) {
        return Reply::Text(msg::NotEnough(Upper(c->code)));
    }
    return staked();
}

void Service::drawWinner(StoreTx& tx, const Draw& d, std::int64_t now)
{
    const auto stakes = tx.stakes(d.id);
    std::int64_t total = 0;
    for (const Stake& s : stakes) total = money::Add(total, s.amount);
    if (stakes.empty() || total <= 0) {
        if (!tx.closeDraw(d.id, 0, "", 0, now)) throw std::runtime_error("draw closed meanwhile");
        return;
    }
    // Stake-weighted and checkable: a function of the committed seed and the final list. A draw opened
    // before seeds were committed has none to reveal: it is drawn from a fresh seed, as draws were then.
    std::vector<std::int64_t> amounts;
    for (const Stake& s : stakes) amounts.push_back(s.amount);
    const auto index = lottery::PickWinner(d.seed, amounts);
    const auto fallback = d.seed.empty() ? lottery::PickWinner(lottery::NewSeedHex(), amounts) : std::nullopt;
    if (!index && !fallback) throw std::runtime_error("draw " + std::to_string(d.id) + " has a damaged seed");
    const Stake* winner = &stakes[index ? *index : *fallback];
    const std::int64_t fee = money::PercentOf(total, m_config.lotteryFeePercent);
    const std::int64_t payout = total - fee;
    tx.post("lottery-draw",
            {{system_account::Lottery, d.coin, Bucket::Wallet, -total},
             {winner->account, d.coin, Bucket::Wallet, payout},
             {system_account::House, d.coin, Bucket::Wallet, fee}},
            now);
    history::Add(tx, winner->account, d.coin, history::kind::LotteryWin, payout, now, fee, {}, d.id);
    if (!tx.closeDraw(d.id, winner->account, winner->nickname, payout, now))
        throw std::runtime_error("draw closed meanwhile"); // undoes the payout
}

void Service::settleDraws(const std::string& coin, std::int64_t now)
{
    bool due = false;
    m_store.read([&](StoreTx& tx) {
        auto d = tx.openDraw(coin);
        due = d && UtcDay(now) > UtcDay(d->opened);
    });
    if (!due) return;
    m_store.write([&](StoreTx& tx) {
        auto d = tx.openDraw(coin);
        if (d && UtcDay(now) > UtcDay(d->opened)) drawWinner(tx, *d, now);
    });
}

namespace {

// The lottery files are public: an e-mail login is published as at most its
// first three characters before the "@" followed by "***" ("alice@example.org"
// -> "ali***"); other logins as they are. The client applies the same rule to
// its own login to find its stake.
std::string PublicName(const std::string& login)
{
    const size_t at = login.find('@');
    if (at == std::string::npos) return login;
    size_t end = 0;
    for (int chars = 0; chars < 3 && end < at; ++chars) {
        ++end; // whole UTF-8 characters: continuation bytes go with their lead
        while (end < at && (static_cast<unsigned char>(login[end]) & 0xC0) == 0x80) ++end;
    }
    return login.substr(0, end) + "***";
}

} // namespace

std::string Service::players(const std::string& coin)
{
    nlohmann::ordered_json arr = nlohmann::json::array();
    m_store.read([&](StoreTx& tx) {
        auto d = tx.openDraw(coin);
        if (!d) return;
        for (const Stake& s : tx.stakes(d->id))
            arr.push_back({{"nickname", PublicName(s.nickname)}, {"value", money::FormatMillionths(s.amount)}});
    });
    return arr.dump();
}

std::string Service::drawCommitment(const std::string& coin)
{
    nlohmann::ordered_json j{{"coin", coin}, {"draw", 0}, {"opened", ""}, {"commitment", ""}};
    m_store.read([&](StoreTx& tx) {
        auto d = tx.openDraw(coin);
        if (!d) return;
        j["draw"] = d->id;
        j["opened"] = UtcText(d->opened);
        j["commitment"] = lottery::CommitmentHex(d->seed); // the seed itself stays secret until the draw
    });
    return j.dump();
}

std::string Service::winners(const std::string& coin)
{
    nlohmann::ordered_json arr = nlohmann::json::array();
    m_store.read([&](StoreTx& tx) {
        for (const Winner& w : tx.winners(coin, 50)) {
            nlohmann::ordered_json e{
                {"name", PublicName(w.name)}, {"amount", money::Format(w.amount)}, {"date", UtcText(w.at)}};
            // What it takes to recompute the draw: the revealed seed, its commitment and the final list.
            e["draw"] = w.draw;
            e["seed"] = w.seed;
            e["commitment"] = lottery::CommitmentHex(w.seed);
            nlohmann::ordered_json list = nlohmann::json::array();
            for (const Stake& s : tx.stakes(w.draw))
                list.push_back({{"nickname", PublicName(s.nickname)}, {"stake", money::Format(s.amount)}});
            e["players"] = std::move(list);
            arr.push_back(std::move(e));
        }
    });
    return arr.dump();
}
