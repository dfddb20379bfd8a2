#include "Entry.h"

namespace nixora
{

QString verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Found:
        return QStringLiteral("found");
    case Verdict::Phantom:
        return QStringLiteral("phantom");
    case Verdict::Unknown:
        return QStringLiteral("unknown");
    case Verdict::Plain:
        break;
    }
    return QStringLiteral("plain");
}

void EntryList::clear()
{
    m_entries.clear();
    m_byRowKey.clear();
}

Entry* EntryList::add(Entry entry)
{
    QString key = entry.rowKey();
    if (m_byRowKey.contains(key))
        return nullptr;
    Entry* added = &m_entries.emplace_back(std::move(entry));
    m_byRowKey.insert(std::move(key), added);
    return added;
}

} // namespace nixora
