#pragma once
// Withdrawal addresses the user saved, with a label, per coin and network: one
// JSON file in the client's data folder, written atomically, owner-only. A file
// that cannot be read gives an empty book and a message, never a failure.
#include <QList>
#include <QString>

class AddressBook {
public:
    struct Entry {
        QString coin;    // lower case, "btc"
        QString network; // as the withdraw screen lists it, "Main"
        QString label;
        QString address;
        bool operator==(const Entry&) const = default;
    };

    // Limits on what is kept and read.
    static constexpr int MaxEntries = 1000;
    static constexpr int MaxLabelChars = 64;
    static constexpr int MaxAddressChars = 200;
    static constexpr qint64 MaxFileBytes = 1024 * 1024;

    // The book of the data folder ("addresses.json").
    static QString DefaultPath();

    explicit AddressBook(QString path = DefaultPath());

    // Reads the file; a missing file is an empty book. A file that cannot be
    // read is moved aside and the book starts empty; LoadMessage() says so.
    void Load();
    QString LoadMessage() const { return m_loadMessage; }

    // The entries of one coin and network, in the order they were saved.
    QList<Entry> For(const QString& coin, const QString& network) const;
    const QList<Entry>& All() const { return m_entries; }

    // Adds (or relabels the same address of that coin and network) and writes
    // the file. Returns an empty text when saved, else what is wrong.
    QString Save(const Entry& entry);
    // Removes the address of that coin and network and writes the file.
    bool Remove(const QString& coin, const QString& network, const QString& address);

    // A label the book accepts: trimmed, 1-64 characters, no control characters.
    static QString CheckLabel(const QString& label);

private:
    bool Write() const;

    QString m_path;
    QList<Entry> m_entries;
    QString m_loadMessage;
};
