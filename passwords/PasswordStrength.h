#pragma once

#include <QString>

class QJSEngine;

// The process-wide strength estimator: zxcvbn evaluated once in a JavaScript engine. Scores run
// from 0 (weak) to 4 (very good); a missing script or any script error scores 0.
class PasswordStrength
{
public:
    PasswordStrength() = delete;

    static QJSEngine *instance();
    static int score(const QString &password);

    // The steps behind the two above, on any engine: evaluates the script file (false when it cannot
    // be read) and rates with the engine's "zxcvbn".
    static bool loadScript(QJSEngine *engine, const QString &path = QStringLiteral(":/res/zxcvbn.js"));
    static int score(QJSEngine *engine, const QString &password);
};
