#pragma once

#include <stdexcept>
#include <string>

// Thrown where the program cannot go on, such as when OpenSSL cannot allocate a number.
class R7Exception : public std::runtime_error
{
public:
    explicit R7Exception(const std::string &message);
};
