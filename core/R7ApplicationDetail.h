#pragma once

#include "core/StringUtil.h"

#include <QByteArray>
#include <QString>

// What the member files of R7Application share; not for use outside them.
namespace R7ApplicationDetail {

// The build's application type: "systemtray_app", "hybrid" or "desktop_app".
const char *const AppType = "hybrid";
const bool useSystemTray = qstrcmp(AppType, "desktop_app") != 0;

inline QString escaped(const QString &text)
{
    return StringUtil::escapeNonPrintable(text);
}

inline const char *yesNo(bool value)
{
    return value ? "yes" : "no";
}

} // namespace R7ApplicationDetail
