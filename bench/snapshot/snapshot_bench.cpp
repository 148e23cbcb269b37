// One account reply: derive the balance snapshot of fifteen coins and write the
// dashboard's fifteen coin rows (TFormLogin::ParseJsonUserAcc).
#include "AccountModel.h"
#include "AppState.h"
#include "Login.h"
#include "Screens.h"
#include "dashboard.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>

#include <benchmark/benchmark.h>

namespace {

const char* const Coins[] = {"btc",  "ltc", "bnb", "eth",  "doge", "trx", "usdt", "bch",
                             "dash", "xmr", "etc", "shib", "zec",  "sol", "matic"};

// A logged-in account with every coin's five amounts, as the service sends them.
QJsonObject FillAccount()
{
    QJsonArray names;
    QJsonObject account;
    int n = 0;
    for (const char* c : Coins) {
        const QString code = QString::fromLatin1(c);
        names.append(code);
        ++n;
        account.insert(QStringLiteral("wall_") + code, QStringLiteral("%1.%2").arg(n * 137).arg(12345678 + n));
        account.insert(QStringLiteral("inv_") + code, QStringLiteral("%1.5").arg(n * 1000));
        account.insert(QStringLiteral("dep_val_") + code, QStringLiteral("0.000%1").arg(n));
        account.insert(QStringLiteral("earned_inv_") + code, QStringLiteral("%1.00000001").arg(n));
        account.insert(QStringLiteral("earned_ref_") + code, QStringLiteral("0"));
        account.insert(QStringLiteral("rental_days_") + code, QStringLiteral("30"));
    }
    QJsonArray fullNames;
    for (const QJsonValue& code : names) fullNames.append(code.toString().toUpper());
    QJsonObject limits{{"perc_withdraw", "2"}};
    Account().ApplySettings(QJsonObject{{"min_withdraw_coin", limits}, {"arr_name_coin", names},
                                        {"arr_fullname_coin", fullNames}});
    State().LoggedIn = true;
    return account;
}

QLabel* RowBalance(const char* coin)
{
    return ScreenNamed("dashboard")->findChild<QLabel*>(QStringLiteral("wall_") + QString::fromLatin1(coin));
}

void BM_ParseJsonUserAcc(benchmark::State& state)
{
    const QJsonObject account = FillAccount();
    for (const char* c : Coins)
        if (QLabel* row = RowBalance(c)) row->setText(QStringLiteral("0"));

    for (auto _ : state) static_cast<TFormLogin*>(ScreenNamed("login"))->ParseJsonUserAcc(account);

    // A call that failed half-way would be quicker and still look fine: check what it wrote.
    for (const char* c : Coins)
        for (auto amount : {AccountModel::Amount::Wallet, AccountModel::Amount::Invested, AccountModel::Amount::Deposited,
                            AccountModel::Amount::EarnedOnInvestments, AccountModel::Amount::EarnedOnReferrals})
            if (!Account().FindAmountText(amount, QString::fromLatin1(c))) {
                state.SkipWithError("the balance snapshot does not hold 15 coins x 5 amounts");
                return;
            }
    for (const char* c : Coins) {
        QLabel* row = RowBalance(c);
        const QString expected =
            Account().FindAmountText(AccountModel::Amount::Wallet, QString::fromLatin1(c)).value_or(QString());
        if (!row || expected.isEmpty() || row->text() != expected) {
            state.SkipWithError("a dashboard row does not show its coin's balance");
            return;
        }
    }
    if (RowBalance("btc")->text() != QLatin1String("137,12345679")) {
        state.SkipWithError("unexpected balance text for btc");
        return;
    }
    state.counters["rows"] = 15;
}
BENCHMARK(BM_ParseJsonUserAcc)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CreateScreens();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DestroyScreens();
    return 0;
}
