// Information, referral and faucet logic: the statistics total, the guide's
// address, the invite link, the advert addresses and the faucet's question.
#include "Community.h"
#include "NumberText.h"

#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

class CommunityFiguresTest : public QObject {
    Q_OBJECT
private slots:
    void totalEarned_data();
    void totalEarned();
    void totalEarnedRejectsNonNumbers_data();
    void totalEarnedRejectsNonNumbers();
    void guideAddress_data();
    void guideAddress();
    void inviteLink_data();
    void inviteLink();
    void adsAddresses();
    void question_data();
    void question();
    void randomQuestionsCoverTheRange();
};

void CommunityFiguresTest::totalEarned_data()
{
    QTest::addColumn<QString>("invests");
    QTest::addColumn<QString>("referrals");
    QTest::addColumn<QString>("total");
    QTest::newRow("0,5 and 0,25") << "0,50000000"
                                  << "0,25000000"
                                  << "0,75";
    QTest::newRow("nothing earned") << "0,00000000"
                                    << "0,00000000"
                                    << "0";
    QTest::newRow("whole") << "12,00000000"
                           << "3,00000000"
                           << "15";
    QTest::newRow("tiny goes to exponent form") << "0,00000100"
                                                << "0,00000200"
                                                << "3E-6";
    QTest::newRow("15 significant digits") << "1234567,12345678"
                                           << "0,00000001"
                                           << "1234567,12345679";
}

void CommunityFiguresTest::totalEarned()
{
    QFETCH(QString, invests);
    QFETCH(QString, referrals);
    QTEST(community::TotalEarned(invests, referrals), "total");
}

void CommunityFiguresTest::totalEarnedRejectsNonNumbers_data()
{
    QTest::addColumn<QString>("invests");
    QTest::addColumn<QString>("referrals");
    QTest::newRow("word") << "none"
                          << "0,1";
    QTest::newRow("empty") << "0,1"
                           << "";
    QTest::newRow("point instead of comma") << "0.5"
                                            << "0,1";
}

void CommunityFiguresTest::totalEarnedRejectsNonNumbers()
{
    QFETCH(QString, invests);
    QFETCH(QString, referrals);
    QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, community::TotalEarned(invests, referrals));
}

void CommunityFiguresTest::guideAddress_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("address");
    QTest::newRow("plain") << "/opt/ambervale"
                           << "file:///opt/ambervale/html/index.html";
    QTest::newRow("root") << "/"
                          << "file:////html/index.html";
    QTest::newRow("space") << "/home/a b"
                           << "file:///home/a b/html/index.html";
}

void CommunityFiguresTest::guideAddress()
{
    QFETCH(QString, directory);
    QTEST(community::GuideAddress(directory), "address");
    const QUrl url = community::GuideUrl(directory);
    QVERIFY(url.isLocalFile());
    QCOMPARE(QDir::cleanPath(url.toLocalFile()), QDir::cleanPath(directory + "/html/index.html"));
}

void CommunityFiguresTest::inviteLink_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("link");
    QTest::newRow("AB12") << "ambervale.example"
                          << "AB12"
                          << "ambervale.example/invite_user/?ref=AB12";
    QTest::newRow("with port") << "127.0.0.1:8443"
                               << "x7"
                               << "127.0.0.1:8443/invite_user/?ref=x7";
    QTest::newRow("code appended unencoded") << "h"
                                             << "a b&c"
                                             << "h/invite_user/?ref=a b&c";
    QTest::newRow("empty code") << "h"
                                << ""
                                << "h/invite_user/?ref=";
}

void CommunityFiguresTest::inviteLink()
{
    QFETCH(QString, host);
    QFETCH(QString, code);
    QTEST(community::InviteLink(host, code), "link");
}

void CommunityFiguresTest::adsAddresses()
{
    QCOMPARE(community::AdsBaseUrl("ambervale.example"), QStringLiteral("https://ambervale.example/morec/ads/"));
    QCOMPARE(community::AdsPages(), (QStringList{"a-ads_1.php", "a-ads_2.php"}));
    QCOMPARE(community::HostPort("://127.0.0.1:8443/"), QStringLiteral("127.0.0.1:8443"));
    QCOMPARE(community::HostPort("://ambervale.example/"), QStringLiteral("ambervale.example"));
}

void CommunityFiguresTest::question_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<bool>("subtract");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("answer");
    QTest::newRow("4-9") << 4 << 9 << true << "4-9=?" << -5;
    QTest::newRow("0+0") << 0 << 0 << false << "0+0=?" << 0;
    QTest::newRow("3+5") << 3 << 5 << false << "3+5=?" << 8;
    QTest::newRow("9+9") << 9 << 9 << false << "9+9=?" << 18;
    QTest::newRow("0-9") << 0 << 9 << true << "0-9=?" << -9;
    QTest::newRow("9-0") << 9 << 0 << true << "9-0=?" << 9;
}

void CommunityFiguresTest::question()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(bool, subtract);
    const community::FaucetQuestion q = community::MakeQuestion(a, b, subtract);
    QTEST(q.text, "text");
    QTEST(q.answer, "answer");
}

// Every question is one of the 200 allowed, its text and answer agree, and a
// few thousand draws reach both operators and every operand.
void CommunityFiguresTest::randomQuestionsCoverTheRange()
{
    QRandomGenerator random(12345);
    QSet<QString> texts;
    QSet<QChar> operators;
    QSet<int> firstOperands;
    QSet<int> secondOperands;
    static const QRegularExpression shape(QStringLiteral(R"(^(\d)([+-])(\d)=\?$)"));
    for (int i = 0; i < 5000; ++i) {
        const community::FaucetQuestion q = community::RandomQuestion(random);
        const QRegularExpressionMatch m = shape.match(q.text);
        QVERIFY2(m.hasMatch(), qPrintable(q.text));
        const int a = m.captured(1).toInt();
        const int b = m.captured(3).toInt();
        const bool subtract = m.captured(2) == QLatin1String("-");
        QCOMPARE(q.answer, subtract ? a - b : a + b);
        texts.insert(q.text);
        operators.insert(m.captured(2).at(0));
        firstOperands.insert(a);
        secondOperands.insert(b);
    }
    QCOMPARE(operators.size(), 2);
    QCOMPARE(firstOperands.size(), 10);
    QCOMPARE(secondOperands.size(), 10);
    QVERIFY2(texts.size() > 150, qPrintable(QString::number(texts.size())));
}

QTEST_GUILESS_MAIN(CommunityFiguresTest)
#include "tst_community_figures.moc"
