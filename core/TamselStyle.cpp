#include "core/TamselStyle.h"

QStringList TamselStyle::fonts() const
{
    return {};
}

// 40 entries.
Style::Variables TamselStyle::variables() const
{
    return {
            {QStringLiteral("BG_COLOR"), QStringLiteral("#BE4963")},
            {QStringLiteral("CONTENT_BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("LIGHTER_BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("LIGHT_BG_COLOR"), QStringLiteral("#BE99A3")},
            {QStringLiteral("STATUS_BAR_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("MAIN_TAB_COLOR"), QStringLiteral("black")},
            {QStringLiteral("MAIN_TAB_BG_COLOR"), QStringLiteral("#BE4963")},
            {QStringLiteral("MAIN_TAB_SELECTED_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("MAIN_TAB_SELECTED_BG_COLOR"), QStringLiteral("#BE99A3")},
            {QStringLiteral("LIGHT_CONTROL_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("LIGHT_HOVER_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("COMBO_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("DARK_HOVER_COLOR"), QStringLiteral("#BE99A3")},
            {QStringLiteral("DARK_CONTROL_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("DARK_ACTIVE_CONTROL_COLOR"), QStringLiteral("#BE99A3")},
            {QStringLiteral("SUCCESS_COLOR"), QStringLiteral("#9BCC60")},
            {QStringLiteral("ERROR_COLOR"), QStringLiteral("#F1A899")},
            {QStringLiteral("ERROR_BG_COLOR"), QStringLiteral("#C8767B")},
            {QStringLiteral("TOOLTIP_BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("COLORFUL_CONTROL_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("SLIDER_START_COLOR"), QStringLiteral("#BE4963")},
            {QStringLiteral("SLIDER_END_COLOR"), QStringLiteral("#BE4963")},
            {QStringLiteral("SLIDER_GROOVE_COLOR"), QStringLiteral("#BBBBBB")},
            {QStringLiteral("SLIDER_HANDLE_BG_COLOR"), QStringLiteral("#DDDDDD")},
            {QStringLiteral("SLIDER_HANDLE_COLOR"), QStringLiteral("#777777")},
            {QStringLiteral("SLIDER_HANDLE_HOVER_BG_COLOR"), QStringLiteral("#DDDDDD")},
            {QStringLiteral("SLIDER_HANDLE_HOVER_COLOR"), QStringLiteral("#444444")},
            {QStringLiteral("LIGHT_TEXT_COLOR"), QStringLiteral("#BE4963")},
            {QStringLiteral("MEDIUM_TEXT_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("MAIN_TEXT_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("CONTROL_TEXT_COLOR"), QStringLiteral("#6F6F6F")},
            {QStringLiteral("BUTTON_BGCOLOR"), QStringLiteral("#BE4963")},
            {QStringLiteral("BUTTON_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("BUTTON_HOVER_BGCOLOR"), QStringLiteral("#BE99A3")},
            {QStringLiteral("BUTTON_HOVER_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("BUTTON_PRESSED_BGCOLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("BUTTON_PRESSED_COLOR"), QStringLiteral("#BE4963")},
            {QStringLiteral("BUTTON_DISABLED_BGCOLOR"), QStringLiteral("#6F6F6F")},
            {QStringLiteral("BUTTON_DISABLED_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("BUTTON_BORDER_RADIUS"), QStringLiteral("2px")},
    };
}

QStringList TamselStyle::styleSheetParts() const
{
    return Style::styleSheetParts() << QStringList{QStringLiteral("tamsel/loginview"),
                                                   QStringLiteral("tamsel/wizardview")};
}
