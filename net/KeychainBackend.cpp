#include "net/KeychainBackend.h"

KeychainBackend::~KeychainBackend() = default;
