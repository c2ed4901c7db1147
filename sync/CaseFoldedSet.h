#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// Texts told apart by their case-folded form (QString::toCaseFolded): each text added is answered
// with the text added before it that case folding makes equal to it, if any. For an ASCII text the
// folded form is never made, and nothing is allocated per text: the set is a table of hashes over
// the folded forms and of the texts' places, which must stay valid while the set is used.
class CaseFoldedSet
{
public:
    // Room for about this many texts before the table grows.
    explicit CaseFoldedSet(int expected = 0);

    // The earlier text equal to `text` under case folding (`text` itself is then not kept), or null
    // when there is none and `text` is kept.
    const QString *add(const QString &text);
    // Empty again, keeping the room.
    void clear();

private:
    struct Slot
    {
        quint64 hash;
        const QString *text;
    };
    static quint64 foldedHash(const QString &text);
    static bool equalFolded(const QString &a, const QString &b);
    void grow();

    std::vector<Slot> m_slots;
    size_t m_used = 0;
};
