// The remembered-credentials file: exact line, reading back, atomic replace, owner-only mode.
#include "Credentials.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kDigest = QStringLiteral("0123456789abcdef0123456789abcdef");
const QString kOtherDigest = QStringLiteral("fedcba9876543210fedcba9876543210");

// The home folder this process was started with (see main); FilePath() derives from it.
QString g_home;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
    return f.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

int modeOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return int(st.st_mode & 07777);
}

} // namespace

class WalletCredentialsTest : public QObject {
    Q_OBJECT
private slots:
    void exactBytesAfterSave();
    void roundTrip_data();
    void roundTrip();
    void unreadableLineIsIgnored_data();
    void unreadableLineIsIgnored();
    void missingFile();
    void lineWithoutPassKeepsLogin();
    void onlyFirstLineIsRead_data();
    void onlyFirstLineIsRead();
    void saveCreatesMissingFolders();
    void saveReplacesPreviousFile();
    void unchangedContentIsNotRewritten();
    void failedSaveKeepsPreviousFile_data();
    void failedSaveKeepsPreviousFile();
    void saveUnderRegularFileFails();
    void modeIsOwnerOnly_data();
    void modeIsOwnerOnly();
    void filePathIsInDocuments();
};

void WalletCredentialsTest::exactBytesAfterSave()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jsini.iz");
    QVERIFY(credentials::Save(path, "bob", kDigest));
    const QByteArray expected = "{\"login\":\"bob\",\"pass\":\"" + kDigest.toLatin1() + "\"}\r\n";
    QCOMPARE(readAll(path), expected);
    QCOMPARE(credentials::Line("bob", kDigest), expected);
}

void WalletCredentialsTest::roundTrip_data()
{
    QTest::addColumn<QString>("login");
    QTest::newRow("plain") << "bob";
    QTest::newRow("double quote") << "bo\"b";
    QTest::newRow("backslash") << "bo\\b";
    QTest::newRow("quote and backslash together") << "\\\"x\"\\";
    QTest::newRow("ends with backslash") << "bob\\";
    QTest::newRow("looks like JSON") << "\",\"pass\":\"forged";
    QTest::newRow("line break inside") << "bob\r\nalice";
    QTest::newRow("tab and control") << QString("a\tb") + QChar(0x01);
    QTest::newRow("non-ASCII") << QString::fromUtf8("J\u00fcrgen \u2713 \u0416");
    QTest::newRow("e-mail") << "bob+wallet@example.org";
    QTest::newRow("long") << QString(4096, QLatin1Char('x'));
    QTest::newRow("empty") << "";
}

void WalletCredentialsTest::roundTrip()
{
    QFETCH(QString, login);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jsini.iz");
    QVERIFY(credentials::Save(path, login, kDigest));

    const credentials::Loaded loaded = credentials::Open(path);
    QVERIFY(loaded.fileFound);
    QVERIFY(loaded.login.has_value());
    QCOMPARE(*loaded.login, login);
    QVERIFY(loaded.pass.has_value());
    QCOMPARE(*loaded.pass, kDigest);
    QVERIFY(loaded.complete());

    // One line ending in CR LF, and that line is a JSON object with the two members.
    const QByteArray bytes = readAll(path);
    QVERIFY(bytes.endsWith("\r\n"));
    const QByteArray line = bytes.chopped(2);
    QVERIFY(!line.contains('\n'));
    QVERIFY(!line.contains('\r'));
    QVERIFY(!line.contains(' ') || login.contains(' '));
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(doc.isObject());
    QCOMPARE(doc.object().keys(), (QStringList{"login", "pass"}));
    QCOMPARE(doc.object().value("login").toString(), login);
    QCOMPARE(doc.object().value("pass").toString(), kDigest);
    QVERIFY(line.startsWith("{\"login\":\""));
}

void WalletCredentialsTest::unreadableLineIsIgnored_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("only CR LF") << QByteArray("\r\n");
    QTest::newRow("words") << QByteArray("hello world\r\n");
    QTest::newRow("truncated object") << QByteArray("{\"login\":\"bob\",\"pa");
    QTest::newRow("array") << QByteArray("[\"bob\",\"0123\"]\r\n");
    QTest::newRow("number") << QByteArray("42\r\n");
    QTest::newRow("object spread over two lines") << QByteArray("{\"login\":\"bob\",\r\n\"pass\":\"abc\"}\r\n");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe{\"login\"", 10);
}

void WalletCredentialsTest::unreadableLineIsIgnored()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jsini.iz");
    QVERIFY(writeBytes(path, content));

    const credentials::Loaded loaded = credentials::Open(path);
    QVERIFY(loaded.fileFound);
    QVERIFY(!loaded.login.has_value());
    QVERIFY(!loaded.pass.has_value());
    QVERIFY(!loaded.complete());
}

void WalletCredentialsTest::missingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString& path : {dir.filePath("jsini.iz"), dir.filePath("absent/folder/jsini.iz")}) {
        const credentials::Loaded loaded = credentials::Open(path);
        QVERIFY(!loaded.fileFound);
        QVERIFY(!loaded.login.has_value());
        QVERIFY(!loaded.pass.has_value());
        QVERIFY(!loaded.complete());
    }
}

void WalletCredentialsTest::lineWithoutPassKeepsLogin()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jsini.iz");
    QVERIFY(writeBytes(path, "{\"login\":\"bob\"}\r\n"));

    const credentials::Loaded loaded = credentials::Open(path);
    QVERIFY(loaded.fileFound);
    QVERIFY(loaded.login.has_value());
    QCOMPARE(*loaded.login, QStringLiteral("bob"));
    QVERIFY(!loaded.pass.has_value());
    QVERIFY(!loaded.complete());
}

void WalletCredentialsTest::onlyFirstLineIsRead_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("firstIsValid");
    QTest::newRow("two records, CR LF")
        << QByteArray("{\"login\":\"first\",\"pass\":\"aaa\"}\r\n{\"login\":\"second\",\"pass\":\"bbb\"}\r\n") << true;
    QTest::newRow("two records, LF") << QByteArray("{\"login\":\"first\",\"pass\":\"aaa\"}\n{\"login\":\"second\"}\n")
                                     << true;
    QTest::newRow("garbage after the record")
        << QByteArray("{\"login\":\"first\",\"pass\":\"aaa\"}\r\nnot json at all") << true;
    QTest::newRow("no line end") << QByteArray("{\"login\":\"first\",\"pass\":\"aaa\"}") << true;
    QTest::newRow("record only on the second line")
        << QByteArray("not json\r\n{\"login\":\"second\",\"pass\":\"bbb\"}\r\n") << false;
    QTest::newRow("record after an empty line")
        << QByteArray("\r\n{\"login\":\"second\",\"pass\":\"bbb\"}\r\n") << false;
}

void WalletCredentialsTest::onlyFirstLineIsRead()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, firstIsValid);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jsini.iz");
    QVERIFY(writeBytes(path, content));

    const credentials::Loaded loaded = credentials::Open(path);
    QVERIFY(loaded.fileFound);
    if (firstIsValid) {
        QCOMPARE(loaded.login.value_or("<none>"), QStringLiteral("first"));
        QCOMPARE(loaded.pass.value_or("<none>"), QStringLiteral("aaa"));
    } else {
        QVERIFY(!loaded.login.has_value());
        QVERIFY(!loaded.pass.has_value());
    }
}

void WalletCredentialsTest::saveCreatesMissingFolders()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("Documents/deeper/jsini.iz");
    QVERIFY(!QFileInfo::exists(dir.filePath("Documents")));
    QVERIFY(credentials::Save(path, "bob", kDigest));
    QCOMPARE(readAll(path), "{\"login\":\"bob\",\"pass\":\"" + kDigest.toLatin1() + "\"}\r\n");
    const credentials::Loaded loaded = credentials::Open(path);
    QCOMPARE(loaded.login.value_or("<none>"), QStringLiteral("bob"));
}

void WalletCredentialsTest::saveReplacesPreviousFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jsini.iz");
    // A longer old line must not leave a tail behind the shorter new one.
    QVERIFY(credentials::Save(path, "a-rather-long-login-name@example.org", kOtherDigest));
    QVERIFY(credentials::Save(path, "bob", kDigest));
    QCOMPARE(readAll(path), "{\"login\":\"bob\",\"pass\":\"" + kDigest.toLatin1() + "\"}\r\n");
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"jsini.iz"});
}

void WalletCredentialsTest::unchangedContentIsNotRewritten()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jsini.iz");
    QVERIFY(credentials::Save(path, "bob", kDigest));
    const QDateTime past(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    const auto stampPast = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadWrite) && f.setFileTime(past, QFileDevice::FileModificationTime);
    };
    const auto inode = [&] {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    QVERIFY(stampPast());
    const ino_t first = inode();

    // The same line again, as every automatic re-login saves it: the file stays as it was.
    for (int i = 0; i < 3; ++i) QVERIFY(credentials::Save(path, "bob", kDigest));
    QCOMPARE(QFileInfo(path).fileTime(QFileDevice::FileModificationTime).toUTC(), past);
    QCOMPARE(inode(), first);
    QCOMPARE(modeOf(path), 0600);

    // Same line but readable by others: only the mode is mended.
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    QVERIFY(credentials::Save(path, "bob", kDigest));
    QCOMPARE(modeOf(path), 0600);
    QCOMPARE(inode(), first);

    // A different digest is written.
    QVERIFY(credentials::Save(path, "bob", kOtherDigest));
    QVERIFY(QFileInfo(path).fileTime(QFileDevice::FileModificationTime).toUTC() > past);
    QCOMPARE(readAll(path), "{\"login\":\"bob\",\"pass\":\"" + kOtherDigest.toLatin1() + "\"}\r\n");
}

void WalletCredentialsTest::failedSaveKeepsPreviousFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("sizeLimit");
    QTest::newRow("read-only folder") << "readonly" << 0;
    // No byte fits: the new file would be empty. Some bytes fit: it would be torn.
    QTest::newRow("file size limit, nothing written") << "fsize" << 0;
    QTest::newRow("file size limit, part written") << "fsize" << 8;
}

void WalletCredentialsTest::failedSaveKeepsPreviousFile()
{
    QFETCH(QString, how);
    QFETCH(int, sizeLimit);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath("docs");
    QVERIFY(QDir().mkpath(folder));
    const QString path = QDir(folder).filePath("jsini.iz");
    QVERIFY(credentials::Save(path, "alice", kOtherDigest));
    const QByteArray before = readAll(path);
    QVERIFY(before.startsWith("{\"login\":\"alice\""));

    bool saved = true;
    if (how == "readonly") {
        // Permission bits do not stop root; the file size limit row covers that case.
        if (::geteuid() == 0) QSKIP("running as root: a read-only folder does not stop writes");
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        saved = credentials::Save(path, "bob", kDigest);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    } else {
        // A per-process file size limit makes the write itself fail, even for root.
        struct rlimit old {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit tight = old;
        tight.rlim_cur = rlim_t(sizeLimit);
        auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
        saved = credentials::Save(path, "bob", kDigest);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previousHandler);
    }
    QVERIFY(!saved);
    QCOMPARE(readAll(path), before);
    const credentials::Loaded loaded = credentials::Open(path);
    QCOMPARE(loaded.login.value_or("<none>"), QStringLiteral("alice"));
    QCOMPARE(loaded.pass.value_or("<none>"), kOtherDigest);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"jsini.iz"});
}

void WalletCredentialsTest::saveUnderRegularFileFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString blocker = dir.filePath("Documents");
    QVERIFY(writeBytes(blocker, "a file, not a folder\n"));
    QVERIFY(!credentials::Save(QDir(blocker).filePath("jsini.iz"), "bob", kDigest));
    QCOMPARE(readAll(blocker), QByteArray("a file, not a folder\n"));
    QVERIFY(QFileInfo(blocker).isFile());
}

void WalletCredentialsTest::modeIsOwnerOnly_data()
{
    QTest::addColumn<int>("oldMode"); // 0: no previous file
    QTest::newRow("new file") << 0;
    QTest::newRow("old file 0644") << 0644;
    QTest::newRow("old file 0666") << 0666;
}

void WalletCredentialsTest::modeIsOwnerOnly()
{
    QFETCH(int, oldMode);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jsini.iz");
    const mode_t oldMask = ::umask(0);
    if (oldMode != 0) {
        QVERIFY(writeBytes(path, "{\"login\":\"old\",\"pass\":\"x\"}\r\n"));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(oldMode)), 0);
        QCOMPARE(modeOf(path), oldMode);
    }
    // A permissive umask must not widen the file either.
    const bool saved = credentials::Save(path, "bob", kDigest);
    ::umask(oldMask);
    QVERIFY(saved);
    QCOMPARE(modeOf(path), 0600);
    // The "User" flags mirror the owner's for the owner; compare owner, group and others only.
    const QFileDevice::Permissions everyone = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                              QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                              QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFile::permissions(path) & everyone,
             QFileDevice::Permissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
}

void WalletCredentialsTest::filePathIsInDocuments()
{
    const QString path = credentials::FilePath();
    QVERIFY(path.endsWith(QStringLiteral("/jsini.iz")));
    QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("jsini.iz"));
    QCOMPARE(QDir::cleanPath(path), QDir::cleanPath(g_home + "/Documents/jsini.iz"));
}

int main(int argc, char** argv)
{
    // A fresh home with no user-dirs configuration, so the documents folder is $HOME/Documents.
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    g_home = home.path();
    ::setenv("HOME", QFile::encodeName(g_home).constData(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DOCUMENTS_DIR");
    QCoreApplication app(argc, argv);
    WalletCredentialsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wallet_credentials.moc"
