// The checks the settings screen makes before it sends a password change.
#include "PasswordChange.h"

#include <QtTest>

using password::ChangeCheck;
Q_DECLARE_METATYPE(password::ChangeCheck)

class MoneyPasswordTest : public QObject {
    Q_OBJECT
private slots:
    void check_data();
    void check();
    void messages();
};

void MoneyPasswordTest::check_data()
{
    QTest::addColumn<QString>("newPass");
    QTest::addColumn<QString>("rePass");
    QTest::addColumn<QString>("proof");
    QTest::addColumn<ChangeCheck>("expected");
    QTest::newRow("all given") << "n3w"
                               << "n3w"
                               << "old" << ChangeCheck::Ok;
    QTest::newRow("differ") << "n3w"
                            << "n3W"
                            << "old" << ChangeCheck::Mismatch;
    QTest::newRow("differ by a trailing blank") << "n3w"
                                                << "n3w "
                                                << "old" << ChangeCheck::Mismatch;
    QTest::newRow("differ and no proof: mismatch first") << "a"
                                                         << "b"
                                                         << "" << ChangeCheck::Mismatch;
    QTest::newRow("no proof") << "n3w"
                              << "n3w"
                              << "" << ChangeCheck::MissingProof;
    QTest::newRow("two empty count as equal") << ""
                                              << ""
                                              << "code" << ChangeCheck::Ok;
    QTest::newRow("blank proof is a proof") << "n3w"
                                            << "n3w"
                                            << " " << ChangeCheck::Ok;
}

void MoneyPasswordTest::check()
{
    QFETCH(QString, newPass);
    QFETCH(QString, rePass);
    QFETCH(QString, proof);
    QFETCH(ChangeCheck, expected);
    QCOMPARE(password::CheckChange(newPass, rePass, proof), expected);
}

void MoneyPasswordTest::messages()
{
    QCOMPARE(password::CheckMessage(ChangeCheck::MissingProof),
             QStringLiteral("Please enter the \"Security Code\" or your old password."));
    const QString mismatch = password::CheckMessage(ChangeCheck::Mismatch);
    QVERIFY(!mismatch.isEmpty());
    QVERIFY(mismatch != password::CheckMessage(ChangeCheck::MissingProof));
    QVERIFY(password::CheckMessage(ChangeCheck::Ok).isEmpty());
}

QTEST_GUILESS_MAIN(MoneyPasswordTest)
#include "tst_money_password.moc"
