#pragma once
// Widget-free parts of the information, referral and faucet screens.
#include <QString>
#include <QStringList>
#include <QUrl>

class QRandomGenerator;

namespace community {

// The service's web host, "host" or "host:port", from a "://host:port/"
// server address: the host of the API, the invite link and the adverts.
QString HostPort(const QString& serverAddress);

// ---- information ----

// "file://" + working directory + "/html/index.html", as the guide tab's
// address is written (native separators).
QString GuideAddress(const QString& workingDirectory);
// The same address as a URL; a directory holding "#", "?" or "%" stays one path.
QUrl GuideUrl(const QString& workingDirectory);
// The guide below the working directory when it is there; otherwise the one
// an installed program ships in installedDirectory (e.g. /usr/share/ambervale),
// when that is there; otherwise the working directory's address all the same.
QUrl GuideUrl(const QString& workingDirectory, const QString& installedDirectory);

// Earned on investments plus earned on referrals, both in the client's number
// format, as the shortest general text: "0,50000000" and "0,25000000" give
// "0,75". Throws numtext::ConversionError when either is not a number.
QString TotalEarned(const QString& earnedOnInvests, const QString& earnedOnReferrals);

QString NotLoggedInText();

// ---- referral ----

// host + "/invite_user/?ref=" + code, the code appended as it is.
QString InviteLink(const QString& host, const QString& code);

// ---- faucet ----

// "https://" + host + "/morec/ads/", whatever scheme the API uses.
QString AdsBaseUrl(const QString& host);
// The two advert pages, for the upper and the lower web view.
const QStringList& AdsPages();

struct FaucetQuestion {
    int answer = 0;
    QString text; // "4-9=?"
};

// a + b or a - b, operands 0 to 9.
FaucetQuestion MakeQuestion(int a, int b, bool subtract);
// Operator first, then a, then b, each uniformly drawn.
FaucetQuestion RandomQuestion(QRandomGenerator& random);

} // namespace community
