#include "core/SorelStyle.h"

QStringList SorelStyle::fonts() const
{
    return {QStringLiteral("sorel_univers_430_regular")};
}

// 48 entries.
Style::Variables SorelStyle::variables() const
{
    // The first ten names are the palette; the others repeat palette colours.
    return {
            {QStringLiteral("GRAY_DARK"), QStringLiteral("#666666")},
            {QStringLiteral("GRAY_DARK_LIGHT"), QStringLiteral("#888888")},
            {QStringLiteral("GRAY_DARK_LIGHTER"), QStringLiteral("#999999")},
            {QStringLiteral("GRAY"), QStringLiteral("#C3C3C3")},
            {QStringLiteral("GRAY_LIGHT_DARK"), QStringLiteral("#ECEAE7")},
            {QStringLiteral("GRAY_LIGHT"), QStringLiteral("#F4F3F2")},
            {QStringLiteral("BLUE_DARKER"), QStringLiteral("#002244")},
            {QStringLiteral("BLUE_DARK"), QStringLiteral("#133C7F")},
            {QStringLiteral("BLUE"), QStringLiteral("#2282C1")},
            {QStringLiteral("WHITE"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("CONTENT_BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("LIGHTER_BG_COLOR"), QStringLiteral("#ECEAE7")},
            {QStringLiteral("LIGHT_BG_COLOR"), QStringLiteral("#C3C3C3")},
            {QStringLiteral("STATUS_BAR_COLOR"), QStringLiteral("#999999")},
            {QStringLiteral("MAIN_TAB_COLOR"), QStringLiteral("#666666")},
            {QStringLiteral("MAIN_TAB_BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("MAIN_TAB_SELECTED_COLOR"), QStringLiteral("#0098DB")},
            {QStringLiteral("MAIN_TAB_SELECTED_BG_COLOR"), QStringLiteral("#FFFFFF")},
            {QStringLiteral("LIGHT_CONTROL_COLOR"), QStringLiteral("#0098DB")},
            {QStringLiteral("LIGHT_HOVER_COLOR"), QStringLiteral("#ECEAE7")},
            {QStringLiteral("COMBO_COLOR"), QStringLiteral("#ECEAE7")},
            {QStringLiteral("SUCCESS_COLOR"), QStringLiteral("#5DA564")},
            {QStringLiteral("ERROR_COLOR"), QStringLiteral("#D05542")},
            {QStringLiteral("ERROR_BG_COLOR"), QStringLiteral("#EAA18E")},
            {QStringLiteral("TOOLTIP_BG_COLOR"), QStringLiteral("#0098DB")},
            {QStringLiteral("COLORFUL_CONTROL_COLOR"), QStringLiteral("#0098DB")},
            {QStringLiteral("SLIDER_START_COLOR"), QStringLiteral("#2282C1")},
            {QStringLiteral("SLIDER_END_COLOR"), QStringLiteral("#2282C1")},
            {QStringLiteral("SLIDER_GROOVE_COLOR"), QStringLiteral("#C3C3C3")},
            {QStringLiteral("SLIDER_HANDLE_BG_COLOR"), QStringLiteral("#2282C1")},
            {QStringLiteral("SLIDER_HANDLE_COLOR"), QStringLiteral("#C3C3C3")},
            {QStringLiteral("SLIDER_HANDLE_HOVER_BG_COLOR"), QStringLiteral("#0098DB")},
            {QStringLiteral("SLIDER_HANDLE_HOVER_COLOR"), QStringLiteral("#ECEAE7")},
            {QStringLiteral("LIGHT_TEXT_COLOR"), QStringLiteral("#ECEAE7")},
            {QStringLiteral("MEDIUM_TEXT_COLOR"), QStringLiteral("#999999")},
            {QStringLiteral("MAIN_TEXT_COLOR"), QStringLiteral("#002244")},
            {QStringLiteral("CONTROL_TEXT_COLOR"), QStringLiteral("#002244")},
            {QStringLiteral("COMBO_TEXT_COLOR"), QStringLiteral("#666666")},
            {QStringLiteral("BUTTON_BGCOLOR"), QStringLiteral("#2282C1")},
            {QStringLiteral("BUTTON_COLOR"), QStringLiteral("#ECEAE7")},
            {QStringLiteral("BUTTON_HOVER_BGCOLOR"), QStringLiteral("#0098DB")},
            {QStringLiteral("BUTTON_HOVER_COLOR"), QStringLiteral("#ECEAE7")},
            {QStringLiteral("BUTTON_PRESSED_BGCOLOR"), QStringLiteral("#133C7F")},
            {QStringLiteral("BUTTON_PRESSED_COLOR"), QStringLiteral("#002244")},
            {QStringLiteral("BUTTON_DISABLED_BGCOLOR"), QStringLiteral("#C3C3C3")},
            {QStringLiteral("BUTTON_DISABLED_COLOR"), QStringLiteral("#999999")},
            {QStringLiteral("BUTTON_BORDER_RADIUS"), QStringLiteral("4px")},
    };
}

QStringList SorelStyle::styleSheetParts() const
{
    return Style::styleSheetParts() << QStringList{QStringLiteral("sorel/common"), QStringLiteral("sorel/buttons"),
                                                   QStringLiteral("sorel/tableview"), QStringLiteral("sorel/loginview"),
                                                   QStringLiteral("sorel/mainwindow")};
}
