// The sign-in steps' form replies ("key=value;key=value") as the request reads them, and the
// values the SRP client takes from them: B, salt, M2, the login state and a device value.
#include "net/LoginRI.h"
#include "net/SrpClient.h"
#include "tools/fuzz/FuzzInput.h"

#include <QUrlQuery>

int fuzzSigninForm(const uint8_t *data, size_t size)
{
    QUrlQuery form;
    form.setQueryDelimiters(QLatin1Char('='), QLatin1Char(';'));
    form.setQuery(QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)));
    (void)LoginRI::stateFromString(form.queryItemValue(QStringLiteral("loginState")));

    static SrpClient *client = nullptr;
    if (!client) {
        client = new SrpClient;
    }
    client->initWithSecret(QStringLiteral("alice"), QStringLiteral("password123"),
                           QStringLiteral("60975527035cf2ad1989806f0407210bc81edc04e2762a56afd529ddda2d4393"));
    QString text;
    QString error;
    if (!client->computeA(text, error)) {
        return 0;
    }
    client->setB(form.queryItemValue(QStringLiteral("B")));
    client->setSalt(form.queryItemValue(QStringLiteral("salt")));
    if (client->checkServerValue(error) && client->computeSessionKey(text, error) && client->computeM1(text, error)) {
        client->setM2(form.queryItemValue(QStringLiteral("M2")));
        (void)client->keyHex();
        (void)client->nextDeviceKeyValue(form.queryItemValue(QStringLiteral("deviceKey")));
    }
    return 0;
}

TESSARVALE_FUZZ_ENTRY(fuzzSigninForm)
