#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

class CipherCalculator;

// The body of an upload: hands out the AES-256-CBC ciphertext of a source device while the network
// layer reads it, so the file never sits in memory. The plain size is fixed when the device is
// opened; the ciphertext length, and with it the Content-Length, is known in advance.
class AesCryptDevice : public QIODevice
{
    Q_OBJECT

public:
    AesCryptDevice(const QByteArray &key, const QString &ivText, QIODevice *source, QObject *parent = nullptr);
    ~AesCryptDevice() override;

    bool isSequential() const override;
    bool open(OpenMode mode) override;
    void close() override;
    qint64 size() const override;
    // Only a rewind to the start is possible: the network layer uses it to send the body again.
    bool seek(qint64 pos) override;

    // Ciphertext length of plainSize bytes with PKCS#7 padding.
    static qint64 cipherSize(qint64 plainSize);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    bool startCipher();
    qint64 drainSurplus(char *data, qint64 maxSize);
    qint64 fail(const QString &why);

    QIODevice *m_source;
    QByteArray m_surplus;
    qint64 m_surplusPos = 0;
    QString m_ivText;
    QByteArray m_key;
    std::unique_ptr<CipherCalculator> m_cipher;
    bool m_finished = false;
    bool m_cipherReady = false;
    qint64 m_plainSize = -1;
    qint64 m_plainRead = 0;
    QByteArray m_readBuffer;
};
