#include "passwords/RandomPasswordGenerator.h"

#include "passwords/RandomUtil.h"

QString RandomPasswordGenerator::charset(bool upperCase, bool special, bool digits)
{
    QString chars = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    if (upperCase) {
        chars += QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    }
    if (special) {
        chars += QStringLiteral("\\!@#$%&*()=+{}[]><.,:;/-");
    }
    if (digits) {
        chars += QStringLiteral("1234567890");
    }
    return chars;
}

QString RandomPasswordGenerator::generate(int length, bool upperCase, bool special, bool digits)
{
    const QString chars = charset(upperCase, special, digits);
    QString password;
    password.reserve(qMax(length, 0));
    for (int i = 0; i < length; ++i) {
        password += RandomUtil::pick(chars);
    }
    return password;
}
