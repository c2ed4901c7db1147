#pragma once

#include "ui/ComboBox.h"

// The choice of the field that the password page searches; the item data is the choice's number.
class SearchComboBox : public ComboBox
{
    Q_OBJECT

public:
    enum Field {
        AllFields = 0,
        Title = 1,
        WebAddress = 2,
        Password = 3,
    };

    explicit SearchComboBox(QWidget *parent = nullptr);
};
