#pragma once

#include "core/Style.h"

// The Sorel white label. Its first ten names are its palette; the others reuse palette colours.
class SorelStyle : public Style
{
    Q_OBJECT

public:
    SorelStyle() = default;

    QStringList fonts() const override;
    Variables variables() const override;
    QStringList styleSheetParts() const override;
};
