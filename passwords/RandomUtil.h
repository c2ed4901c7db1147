#pragma once

#include <QChar>
#include <QString>

// Uniform picks from the system's cryptographic random source, without modulo bias.
class RandomUtil
{
public:
    RandomUtil() = delete;

    // A uniform integer in [0, count); 0 when count < 1.
    static int index(int count);
    // A uniform character of the text; a null character for an empty text.
    static QChar pick(const QString &text);
};
