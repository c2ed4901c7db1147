#pragma once

#include <QByteArray>
#include <QString>

// The result of a transport encryption: ciphertext and its IV as 32 lower-case hex digits.
struct EncryptedBytes
{
    QByteArray ciphertext;
    QString iv;
};
