#pragma once

#include <QMetaType>

// Outcome codes of every service call. The numbers are an interface (the login view, the session
// and the synchroniser switch on them); 13 and 28 stay unassigned.
enum ErrorCode {
    EC_OK = 0,
    EC_ABORTED = 1,
    EC_BAD_URL = 2,
    EC_NETWORK = 3,
    EC_TIMEOUT = 4,
    EC_UNKNOWN_NETWORK = 5,
    EC_SERVICE_UNAVAILABLE = 6,
    EC_HTTP_REDIRECT = 7,
    EC_HTTP_STATUS = 8,
    EC_SERVICE_STATUS = 9,
    EC_HOST_NOT_FOUND = 10,
    EC_PROXY_AUTH = 11,
    EC_SSL_HANDSHAKE = 12,
    EC_CONNECTION_REFUSED = 14,
    EC_UNSUPPORTED_CLIENT = 15,
    EC_UNSUPPORTED_VERSION = 16,
    EC_LOGIN_FAILED = 17,
    EC_ACCOUNT_EXPIRED = 18,
    EC_ACCOUNT_INHERITED = 19,
    EC_ACCOUNT_LOCKED = 20,
    EC_QUOTA_EXCEEDED = 21,
    EC_SERVICE_STATUS_10910 = 22,
    EC_SERVICE_STATUS_10911 = 23,
    EC_EMPTY_RESPONSE = 24,
    EC_BAD_RESPONSE = 25,
    EC_LOCAL_FILE = 26,
    EC_SERVICE_STATUS_10904 = 27,
    EC_CLIENT = 29,
};

// Carried by signals (and recorded by signal spies).
Q_DECLARE_METATYPE(ErrorCode)
