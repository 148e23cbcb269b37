#include "Credentials.h"
#include "Json.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>

namespace credentials {

QString FilePath()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty()) return QStringLiteral("jsini.iz");
    return QDir(docs).filePath(QStringLiteral("jsini.iz"));
}

QByteArray Line(const QString& login, const QString& passHash)
{
    // Keys sort as "login" < "pass", so the compact document keeps the file's order.
    QJsonObject o;
    o.insert(QStringLiteral("login"), login);
    o.insert(QStringLiteral("pass"), passHash);
    const QString text = QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    QStringEncoder encoder(QStringEncoder::System);
    QByteArray line = encoder.encode(text);
    line.append("\r\n");
    return line;
}

bool Save(const QString& path, const QString& login, const QString& passHash)
{
    const QFileInfo info(path);
    if (!info.absoluteDir().exists() && !QDir().mkpath(info.absolutePath())) return false;
    // The digest opens the account: nobody but the owner may read it.
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const QByteArray line = Line(login, passHash);
    {
        // Every login saves; most find the same line there already and leave the file alone.
        QFile current(path);
        if (current.open(QIODevice::ReadOnly) && current.size() == line.size() && current.readAll() == line) {
            const auto everyone = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                  QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                  QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
            if ((current.permissions() & everyone) != ownerOnly) return current.setPermissions(ownerOnly);
            return true;
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.setPermissions(ownerOnly);
    // QSaveFile buffers, and commit() does not notice a write that fails while
    // flushing: it would put an empty or short file in place of the old one.
    if (file.write(line) != line.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

Loaded Open(const QString& path)
{
    Loaded out;
    QFile file(path);
    if (!file.exists()) return out;
    out.fileFound = true;
    if (!file.open(QIODevice::ReadOnly)) return out;
    QByteArray first = file.readLine(64 * 1024);
    while (first.endsWith('\n') || first.endsWith('\r')) first.chop(1);
    QStringDecoder decoder(QStringDecoder::System);
    const QString text = decoder.decode(first);
    try {
        const QJsonObject o = json::ParseObject(text);
        out.login = json::MemberText(o, QStringLiteral("login"));
        out.pass = json::MemberText(o, QStringLiteral("pass"));
    } catch (const json::JsonError&) {
        // A line that is not ours is ignored, as if there were no file.
    }
    return out;
}

} // namespace credentials
