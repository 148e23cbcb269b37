#pragma once
// The remembered login and password digest: one JSON line in "jsini.iz" in
// the user's documents folder, so the next start logs in by itself.
#include <QByteArray>
#include <QString>
#include <optional>

namespace credentials {

// Documents folder + "jsini.iz"; the bare name when there is no such folder.
QString FilePath();

// {"login":"...","pass":"..."} and CR LF; the login JSON-escaped so it reads back.
QByteArray Line(const QString& login, const QString& passHash);

// Replaces the file atomically (never torn or emptied by a failed write),
// readable by its owner only. A file that already holds exactly this line is
// not rewritten. False on any failure; the old file then stays.
bool Save(const QString& path, const QString& login, const QString& passHash);

// What a read found: the login is taken before the digest, so a line missing
// "pass" still yields the login.
struct Loaded {
    bool fileFound = false;
    std::optional<QString> login;
    std::optional<QString> pass;
    bool complete() const { return login && pass; }
};
Loaded Open(const QString& path);

} // namespace credentials
