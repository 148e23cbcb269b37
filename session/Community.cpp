#include "Community.h"
#include "NumberText.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

namespace community {

QString HostPort(const QString& serverAddress)
{
    QString host = serverAddress;
    if (host.startsWith(QLatin1String("://"))) host.remove(0, 3);
    while (host.endsWith(QLatin1Char('/'))) host.chop(1);
    return host;
}

namespace {
QString GuidePath(const QString& workingDirectory)
{
    return QDir::toNativeSeparators(workingDirectory + QStringLiteral("/html/index.html"));
}
} // namespace

QString GuideAddress(const QString& workingDirectory)
{
    return QStringLiteral("file://") + GuidePath(workingDirectory);
}

QUrl GuideUrl(const QString& workingDirectory)
{
    return QUrl::fromLocalFile(QDir::fromNativeSeparators(GuidePath(workingDirectory)));
}

QUrl GuideUrl(const QString& workingDirectory, const QString& installedDirectory)
{
    if (QFileInfo::exists(GuidePath(workingDirectory)) || installedDirectory.isEmpty() ||
        !QFileInfo::exists(GuidePath(installedDirectory)))
        return GuideUrl(workingDirectory);
    return GuideUrl(QDir::cleanPath(installedDirectory));
}

QString TotalEarned(const QString& earnedOnInvests, const QString& earnedOnReferrals)
{
    return numtext::General(numtext::ParseNumber(earnedOnInvests) + numtext::ParseNumber(earnedOnReferrals));
}

QString NotLoggedInText()
{
    return QStringLiteral("You are not logged into your account for this feature. Please log in to your account");
}

QString InviteLink(const QString& host, const QString& code)
{
    return host + QStringLiteral("/invite_user/?ref=") + code;
}

QString AdsBaseUrl(const QString& host)
{
    return QStringLiteral("https://") + host + QStringLiteral("/morec/ads/");
}

const QStringList& AdsPages()
{
    static const QStringList pages{QStringLiteral("a-ads_1.php"), QStringLiteral("a-ads_2.php")};
    return pages;
}

FaucetQuestion MakeQuestion(int a, int b, bool subtract)
{
    FaucetQuestion q;
    q.answer = subtract ? a - b : a + b;
    q.text = QString::number(a) + QLatin1Char(subtract ? '-' : '+') + QString::number(b) + QStringLiteral("=?");
    return q;
}

FaucetQuestion RandomQuestion(QRandomGenerator& random)
{
    const bool subtract = random.bounded(2) == 1;
    const int a = static_cast<int>(random.bounded(10));
    const int b = static_cast<int>(random.bounded(10));
    return MakeQuestion(a, b, subtract);
}

} // namespace community
