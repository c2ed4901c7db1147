#include "sync/CaseFoldedSet.h"

namespace {

bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// Case folding of ASCII lowers A-Z and leaves everything else.
ushort asciiFolded(ushort c)
{
    return c >= 'A' && c <= 'Z' ? ushort(c + ('a' - 'A')) : c;
}

size_t roomFor(int expected)
{
    size_t size = 16;
    while (size < size_t(qMax(expected, 0)) * 2)
        size *= 2;
    return size;
}

} // namespace

CaseFoldedSet::CaseFoldedSet(int expected)
    : m_slots(roomFor(expected), Slot{0, nullptr})
{}

quint64 CaseFoldedSet::foldedHash(const QString &text)
{
    const bool ascii = isAscii(text);
    const QString folded = ascii ? QString() : text.toCaseFolded();
    quint64 hash = 14695981039346656037ULL;
    for (const QChar c : ascii ? text : folded) {
        hash ^= ascii ? asciiFolded(c.unicode()) : c.unicode();
        hash *= 1099511628211ULL;
    }
    // The low bits pick the slot: mixed from all of them.
    hash ^= hash >> 29;
    hash *= 0xbf58476d1ce4e5b9ULL;
    return hash ^ (hash >> 32);
}

bool CaseFoldedSet::equalFolded(const QString &a, const QString &b)
{
    if (isAscii(a) && isAscii(b)) {
        if (a.size() != b.size())
            return false;
        for (int i = 0; i < a.size(); ++i) {
            if (asciiFolded(a.at(i).unicode()) != asciiFolded(b.at(i).unicode()))
                return false;
        }
        return true;
    }
    return a.toCaseFolded() == b.toCaseFolded();
}

const QString *CaseFoldedSet::add(const QString &text)
{
    if ((m_used + 1) * 2 > m_slots.size())
        grow();
    const quint64 hash = foldedHash(text);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (!slot.text) {
            slot = Slot{hash, &text};
            ++m_used;
            return nullptr;
        }
        if (slot.hash == hash && equalFolded(*slot.text, text))
            return slot.text;
    }
}

void CaseFoldedSet::clear()
{
    if (m_used == 0)
        return;
    // A table that once grew for a large folder is not swept whole for every small one after it.
    const size_t room = roomFor(int(m_used));
    if (m_slots.size() > room * 4)
        m_slots.assign(room, Slot{0, nullptr});
    else
        std::fill(m_slots.begin(), m_slots.end(), Slot{0, nullptr});
    m_used = 0;
}

void CaseFoldedSet::grow()
{
    std::vector<Slot> old(m_slots.size() * 2, Slot{0, nullptr});
    old.swap(m_slots);
    const size_t mask = m_slots.size() - 1;
    for (const Slot &slot : old) {
        if (!slot.text)
            continue;
        size_t i = size_t(slot.hash) & mask;
        while (m_slots[i].text)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}
