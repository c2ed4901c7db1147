#include "core/VarnelStyle.h"

QStringList VarnelStyle::fonts() const
{
    return {};
}

// 41 entries.
Style::Variables VarnelStyle::variables() const
{
    return {
            {QStringLiteral("BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("CONTENT_BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("LIGHTER_BG_COLOR"), QStringLiteral("#E5E5E5")},
            {QStringLiteral("LIGHT_BG_COLOR"), QStringLiteral("#CDCDCC")},
            {QStringLiteral("STATUS_BAR_COLOR"), QStringLiteral("#C2C2C2")},
            {QStringLiteral("MAIN_TAB_COLOR"), QStringLiteral("black")},
            {QStringLiteral("MAIN_TAB_BG_COLOR"), QStringLiteral("#C2C2C2")},
            {QStringLiteral("MAIN_TAB_SELECTED_COLOR"), QStringLiteral("#C99C30")},
            {QStringLiteral("MAIN_TAB_SELECTED_BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("LIGHT_CONTROL_COLOR"), QStringLiteral("#969696")},
            {QStringLiteral("LIGHT_HOVER_COLOR"), QStringLiteral("#EDEDED")},
            {QStringLiteral("COMBO_COLOR"), QStringLiteral("#EDEDED")},
            {QStringLiteral("DARK_HOVER_COLOR"), QStringLiteral("#787878")},
            {QStringLiteral("DARK_CONTROL_COLOR"), QStringLiteral("#575757")},
            {QStringLiteral("DARK_ACTIVE_CONTROL_COLOR"), QStringLiteral("#898989")},
            {QStringLiteral("SUCCESS_COLOR"), QStringLiteral("#70AC15")},
            {QStringLiteral("ERROR_COLOR"), QStringLiteral("#E4A4A8")},
            {QStringLiteral("ERROR_BG_COLOR"), QStringLiteral("#C8767B")},
            {QStringLiteral("TOOLTIP_BG_COLOR"), QStringLiteral("#787878")},
            {QStringLiteral("COLORFUL_CONTROL_COLOR"), QStringLiteral("#C99C30")},
            {QStringLiteral("COLORFUL_HOVER_COLOR"), QStringLiteral("#E9B639")},
            {QStringLiteral("SLIDER_START_COLOR"), QStringLiteral("#FFC53D")},
            {QStringLiteral("SLIDER_END_COLOR"), QStringLiteral("#C99C30")},
            {QStringLiteral("SLIDER_GROOVE_COLOR"), QStringLiteral("#BBBBBB")},
            {QStringLiteral("SLIDER_HANDLE_BG_COLOR"), QStringLiteral("#DDDDDD")},
            {QStringLiteral("SLIDER_HANDLE_COLOR"), QStringLiteral("#777777")},
            {QStringLiteral("SLIDER_HANDLE_HOVER_BG_COLOR"), QStringLiteral("#DDDDDD")},
            {QStringLiteral("SLIDER_HANDLE_HOVER_COLOR"), QStringLiteral("#444444")},
            {QStringLiteral("LIGHT_TEXT_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("MEDIUM_TEXT_COLOR"), QStringLiteral("#969696")},
            {QStringLiteral("MAIN_TEXT_COLOR"), QStringLiteral("black")},
            {QStringLiteral("CONTROL_TEXT_COLOR"), QStringLiteral("black")},
            {QStringLiteral("BUTTON_BGCOLOR"), QStringLiteral("#C99C30")},
            {QStringLiteral("BUTTON_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("BUTTON_HOVER_BGCOLOR"), QStringLiteral("#E9B639")},
            {QStringLiteral("BUTTON_HOVER_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("BUTTON_PRESSED_BGCOLOR"), QStringLiteral("#FFC63E")},
            {QStringLiteral("BUTTON_PRESSED_COLOR"), QStringLiteral("black")},
            {QStringLiteral("BUTTON_DISABLED_BGCOLOR"), QStringLiteral("#CDCDCC")},
            {QStringLiteral("BUTTON_DISABLED_COLOR"), QStringLiteral("#969696")},
            {QStringLiteral("BUTTON_BORDER_RADIUS"), QStringLiteral("4px")},
    };
}

QStringList VarnelStyle::styleSheetParts() const
{
    return Style::styleSheetParts() << QStringList{QStringLiteral("varnel/background-shield"),
                                                   QStringLiteral("varnel/common")};
}
