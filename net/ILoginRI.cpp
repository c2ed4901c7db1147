#include "net/ILoginRI.h"

ILoginRI::~ILoginRI() = default;
