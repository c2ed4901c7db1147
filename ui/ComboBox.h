#pragma once

#include <QComboBox>

// A combo box whose pop-up is a plain list view, so the style sheet's item rules reach its entries.
class ComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit ComboBox(QWidget* parent = nullptr);
};
