#pragma once

#include <QString>

// Characters drawn uniformly from the chosen alphabet; no class is guaranteed to occur.
class RandomPasswordGenerator
{
public:
    RandomPasswordGenerator() = default;

    // Lower case always, then upper case, special characters and digits as asked (26 to 86 characters).
    static QString charset(bool upperCase, bool special, bool digits);
    // An empty text for a length below 1.
    static QString generate(int length, bool upperCase, bool special, bool digits);
};
