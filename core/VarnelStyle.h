#pragma once

#include "core/Style.h"

// The maker's own brand.
class VarnelStyle : public Style
{
    Q_OBJECT

public:
    VarnelStyle() = default;

    QStringList fonts() const override;
    Variables variables() const override;
    QStringList styleSheetParts() const override;
};
