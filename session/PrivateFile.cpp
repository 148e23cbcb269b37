#include "PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace privatefile {

namespace {
constexpr auto OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}

QString Folder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir(base).filePath(QStringLiteral("ambervale"));
}

QString PathOf(const QString& name)
{
    return QDir(Folder()).filePath(name);
}

bool Write(const QString& path, const QByteArray& data)
{
    const QFileInfo info(path);
    const QString dir = info.absolutePath();
    if (!QFileInfo::exists(dir)) {
        if (!QDir().mkpath(dir)) return false;
        QFile::setPermissions(dir, OwnerOnly | QFileDevice::ExeOwner);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // Set before the rename, so the file is never readable by others for a moment.
    file.setPermissions(OwnerOnly);
    // commit() does not notice a write that fails while flushing: a short file
    // would replace the good one.
    if (file.write(data) != data.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

ReadResult Read(const QString& path, qint64 maxBytes)
{
    ReadResult out;
    QFile file(path);
    if (!file.exists()) return out;
    out.found = true;
    // Only a plain file: opening a pipe planted under the name would wait for a writer forever.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return out;
    // A device or a pipe reports no size: read one byte past the cap to tell.
    QByteArray data = file.read(maxBytes + 1);
    if (data.size() > maxBytes) {
        out.tooLarge = true;
        return out;
    }
    out.data = std::move(data);
    return out;
}

bool MoveAside(const QString& path)
{
    const QString aside = path + QStringLiteral(".unreadable");
    QFile::remove(aside);
    return QFile::rename(path, aside);
}

} // namespace privatefile
