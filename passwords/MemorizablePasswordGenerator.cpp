#include "passwords/MemorizablePasswordGenerator.h"

#include "passwords/RandomUtil.h"

MemorizablePasswordGenerator::MemorizablePasswordGenerator()
    : m_digitCount(2)
    , m_length(12)
    , m_forbidden({"ku", "ky", "sj", "ko", "kj", "ka", "fj", "fy", "ny", "nj", "vy", "vu", "vj", "mj",
                   "hj", "sy", "hy", "pj", "py", "xu", "xy", "cy", "xe", "xa", "xo", "xi", "cj", "xj",
                   "ty", "wy", "wu", "wj", "bj", "rj", "ry", "zu", "zy", "za", "ze", "zj", "zi", "zo",
                   "qo", "qj", "qi", "qe", "qa", "qy", "dy", "dj", "tj", "lu", "lj", "gj", "gy"})
    , m_consonants("bcdfghklmnpqrstvwxz")
    , m_vowels("aeijouy")
    , m_digits("1234567890")
{}

QString MemorizablePasswordGenerator::syllable() const
{
    QString pair(2, QChar());
    do {
        pair[0] = RandomUtil::pick(m_consonants);
        pair[1] = RandomUtil::pick(m_vowels);
    } while (m_forbidden.contains(pair));
    return pair;
}

QString MemorizablePasswordGenerator::generate() const
{
    QString password;
    for (int i = 0; i < (m_length - m_digitCount) / 2; ++i) {
        password += syllable();
    }
    switch (RandomUtil::index(3)) {
    case 0:
        password.insert(4, RandomUtil::pick(m_digits));
        password.insert(5, RandomUtil::pick(m_digits));
        break;
    case 1:
        password.remove(4, 2);
        password.insert(4, RandomUtil::pick(m_consonants));
        password.insert(5, RandomUtil::pick(m_digits));
        password.insert(6, RandomUtil::pick(m_digits));
        password.insert(7, RandomUtil::pick(m_vowels));
        break;
    default:
        password.insert(6, RandomUtil::pick(m_digits));
        password.insert(7, RandomUtil::pick(m_digits));
        break;
    }
    return password;
}
