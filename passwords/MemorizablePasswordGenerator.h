#pragma once

#include <QString>
#include <QStringList>

// A pronounceable password: five consonant-vowel syllables with two adjacent digits inside.
class MemorizablePasswordGenerator
{
public:
    MemorizablePasswordGenerator();

    // Two letters, consonant then vowel, never one of the forbidden pairs.
    QString syllable() const;
    // Twelve characters: ten lower-case letters and two adjacent digits at 4-5, 5-6 or 6-7.
    QString generate() const;

    const QStringList &forbiddenSyllables() const { return m_forbidden; }
    const QString &consonants() const { return m_consonants; }
    const QString &vowels() const { return m_vowels; }
    const QString &digits() const { return m_digits; }

private:
    int m_digitCount;
    int m_length;
    QStringList m_forbidden;
    QString m_consonants;
    QString m_vowels;
    QString m_digits;
};
