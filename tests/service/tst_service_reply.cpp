// The pieces the account reply is written with, on the service's own code: amounts appended in place read
// exactly as money::Format writes them, at the edges of the 64-bit range too.
#include "ServiceCommon.h"

#include <QTest>

#include <limits>

class ServiceReplyTest : public QObject {
    Q_OBJECT

private slots:
    void appendedAmountsReadAsFormatted_data()
    {
        QTest::addColumn<qint64>("units");
        const qint64 most = std::numeric_limits<qint64>::max(), least = std::numeric_limits<qint64>::min();
        const std::pair<const char*, qint64> rows[] = {
            {"zero", 0},
            {"one unit", 1},
            {"just under a coin", money::Unit - 1},
            {"a coin", money::Unit},
            {"a coin and a unit", money::Unit + 1},
            {"leading zeros in the decimals", 12 * money::Unit + 3400},
            {"ten digits of coins", 9'999'999'999 * money::Unit + 99'999'999},
            {"largest", most},
            {"minus one unit", -1},
            {"minus a coin and a half", -(money::Unit + money::Unit / 2)},
            {"smallest", least},
            {"smallest plus one", least + 1},
        };
        for (const auto& [name, units] : rows) QTest::newRow(name) << units;
    }
    void appendedAmountsReadAsFormatted()
    {
        QFETCH(qint64, units);
        std::string out = "prefix:";
        service_detail::AppendAmount(out, units);
        QCOMPARE(QString::fromStdString(out), QString::fromStdString("prefix:" + money::Format(units)));
    }
};

QTEST_GUILESS_MAIN(ServiceReplyTest)
#include "tst_service_reply.moc"
