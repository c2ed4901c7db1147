#include "tests/net/LoginRecorder.h"
