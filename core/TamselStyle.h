#pragma once

#include "core/Style.h"

// The Tamsel white label.
class TamselStyle : public Style
{
    Q_OBJECT

public:
    TamselStyle() = default;

    QStringList fonts() const override;
    Variables variables() const override;
    QStringList styleSheetParts() const override;
};
