#include "net/crypto/R7Exception.h"

R7Exception::R7Exception(const std::string &message)
    : std::runtime_error(message)
{}
