#include "passwords/RandomUtil.h"

#include <QRandomGenerator>

int RandomUtil::index(int count)
{
    if (count < 1) {
        return 0;
    }
    // Draws below 2^32 mod count would favour the low results; drawing again removes the bias
    // (QRandomGenerator::bounded scales without rejecting and keeps a trace of it).
    const quint32 n = quint32(count);
    const quint32 threshold = quint32(-n) % n;
    quint32 draw = 0;
    do {
        draw = QRandomGenerator::system()->generate();
    } while (draw < threshold);
    return int(draw % n);
}

QChar RandomUtil::pick(const QString &text)
{
    return text.isEmpty() ? QChar() : text.at(index(text.size()));
}
