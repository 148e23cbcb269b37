#include "AddressBook.h"
#include "PrivateFile.h"

#include <QJsonArray>
#include <algorithm>
#include <iterator>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool Printable(const QString& text)
{
    for (QChar c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            return false;
    return true;
}

bool ValidEntry(const AddressBook::Entry& e)
{
    static const QString networks[] = {QStringLiteral("Main"),          QStringLiteral("BEP-20 (Binance)"),
                                       QStringLiteral("ERC-20 (Ethereum)"), QStringLiteral("TRC-20 (Tron)"),
                                       QStringLiteral("SOL (Solana)"),  QStringLiteral("PRC-20 (Polygon)")};
    if (e.coin.isEmpty() || e.coin.size() > 16) return false;
    for (QChar c : e.coin)
        if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))) return false;
    if (std::find(std::begin(networks), std::end(networks), e.network) == std::end(networks)) return false;
    if (!AddressBook::CheckLabel(e.label).isEmpty() || e.label != e.label.trimmed()) return false;
    if (e.address.isEmpty() || e.address.size() > AddressBook::MaxAddressChars) return false;
    for (QChar c : e.address)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f) return false;
    return true;
}

} // namespace

QString AddressBook::DefaultPath()
{
    return privatefile::PathOf(QStringLiteral("addresses.json"));
}

AddressBook::AddressBook(QString path) : m_path(std::move(path)) {}

QString AddressBook::CheckLabel(const QString& label)
{
    const QString t = label.trimmed();
    if (t.isEmpty()) return QStringLiteral("Give the address a label first.");
    if (t.size() > MaxLabelChars) return QStringLiteral("The label is too long: at most 64 characters.");
    if (!Printable(t)) return QStringLiteral("The label has characters that cannot be shown.");
    return {};
}

void AddressBook::Load()
{
    m_entries.clear();
    m_loadMessage.clear();
    const privatefile::ReadResult file = privatefile::Read(m_path, MaxFileBytes);
    if (!file.found) return;
    QString why;
    if (file.tooLarge)
        why = QStringLiteral("it is too large");
    else if (!file.data)
        why = QStringLiteral("it cannot be opened");
    else {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(*file.data, &error);
        const QJsonValue list = doc.object().value(QStringLiteral("addresses"));
        if (error.error != QJsonParseError::NoError || !doc.isObject() || !list.isArray())
            why = QStringLiteral("it is not an address book");
        else {
            const QJsonArray items = list.toArray();
            if (items.size() > MaxEntries) why = QStringLiteral("it holds too many addresses");
            for (qsizetype i = 0; why.isEmpty() && i < items.size(); ++i) {
                const QJsonObject o = items.at(i).toObject();
                Entry e{o.value(QStringLiteral("coin")).toString(), o.value(QStringLiteral("network")).toString(),
                        o.value(QStringLiteral("label")).toString(), o.value(QStringLiteral("address")).toString()};
                if (!items.at(i).isObject() || !ValidEntry(e))
                    why = QStringLiteral("entry %1 is damaged").arg(i + 1);
                else
                    m_entries.append(e);
            }
        }
    }
    if (why.isEmpty()) return;
    m_entries.clear();
    const bool kept = privatefile::MoveAside(m_path);
    m_loadMessage = QStringLiteral("The address book could not be read (%1), so it starts empty.").arg(why);
    if (kept) m_loadMessage += QStringLiteral(" The old file is kept as addresses.json.unreadable.");
}

QList<AddressBook::Entry> AddressBook::For(const QString& coin, const QString& network) const
{
    QList<Entry> out;
    for (const Entry& e : m_entries)
        if (e.coin == coin && e.network == network) out.append(e);
    return out;
}

QString AddressBook::Save(const Entry& entry)
{
    Entry e = entry;
    e.label = e.label.trimmed();
    e.address = e.address.trimmed();
    if (const QString bad = CheckLabel(e.label); !bad.isEmpty()) return bad;
    if (!ValidEntry(e)) return QStringLiteral("This address cannot be saved.");
    const QList<Entry> before = m_entries;
    bool replaced = false;
    for (Entry& old : m_entries)
        if (old.coin == e.coin && old.network == e.network && old.address == e.address) {
            old.label = e.label;
            replaced = true;
        }
    if (!replaced) {
        if (m_entries.size() >= MaxEntries) return QStringLiteral("The address book is full.");
        m_entries.append(e);
    }
    if (!Write()) {
        m_entries = before;
        return QStringLiteral("The address book could not be written.");
    }
    return {};
}

bool AddressBook::Remove(const QString& coin, const QString& network, const QString& address)
{
    const QList<Entry> before = m_entries;
    m_entries.removeIf([&](const Entry& e) { return e.coin == coin && e.network == network && e.address == address; });
    if (m_entries.size() == before.size()) return false;
    if (!Write()) {
        m_entries = before;
        return false;
    }
    return true;
}

bool AddressBook::Write() const
{
    QJsonArray items;
    for (const Entry& e : m_entries)
        items.append(QJsonObject{{QStringLiteral("coin"), e.coin},
                                 {QStringLiteral("network"), e.network},
                                 {QStringLiteral("label"), e.label},
                                 {QStringLiteral("address"), e.address}});
    const QJsonObject root{{QStringLiteral("version"), 1}, {QStringLiteral("addresses"), items}};
    return privatefile::Write(m_path, QJsonDocument(root).toJson(QJsonDocument::Indented));
}
