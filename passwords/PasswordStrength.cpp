#include "passwords/PasswordStrength.h"

#include <QFile>
#include <QJSEngine>
#include <QJSValue>

QJSEngine *PasswordStrength::instance()
{
    // Built on first use; the script (about 800 kB) is evaluated once per process.
    static QJSEngine *const engine = [] {
        static QJSEngine e;
        loadScript(&e);
        return &e;
    }();
    return engine;
}

int PasswordStrength::score(const QString &password)
{
    return score(instance(), password);
}

bool PasswordStrength::loadScript(QJSEngine *engine, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    engine->evaluate(QString::fromUtf8(file.readAll()), QString(), 1);
    return true;
}

int PasswordStrength::score(QJSEngine *engine, const QString &password)
{
    QJSValue zxcvbn = engine->globalObject().property(QStringLiteral("zxcvbn"));
    if (!zxcvbn.isCallable()) {
        return 0;
    }
    const QJSValue result = zxcvbn.call({QJSValue(password)});
    if (result.isError() || !result.isObject()) {
        return 0;
    }
    const int value = result.property(QStringLiteral("score")).toInt();
    return qBound(0, value, 4);
}
