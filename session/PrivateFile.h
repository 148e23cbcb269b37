#pragma once
// Small files of the client's own in its data folder (address book, local
// preferences): written whole and atomically, readable by the owner only,
// read with a size cap so a planted file cannot make the client read gigabytes.
#include <QByteArray>
#include <QString>
#include <optional>

namespace privatefile {

// ~/.local/share/ambervale (the platform's data folder + "ambervale"); made
// owner-only when it is created.
QString Folder();
QString PathOf(const QString& name);

// Replaces path with data at once (a failed write leaves the old file), mode 0600.
bool Write(const QString& path, const QByteArray& data);

struct ReadResult {
    bool found = false;         // a file is there
    bool tooLarge = false;      // larger than the cap: not read
    std::optional<QByteArray> data; // the contents, when read
};
ReadResult Read(const QString& path, qint64 maxBytes);

// Moves a file that cannot be read aside (name + ".unreadable", replacing an
// older one) so the next save does not overwrite what the user may still want.
bool MoveAside(const QString& path);

} // namespace privatefile
