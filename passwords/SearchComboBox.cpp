#include "passwords/SearchComboBox.h"

#include <QIcon>

SearchComboBox::SearchComboBox(QWidget *parent)
    : ComboBox(parent)
{
    addItem(QIcon(), tr("All fields"), AllFields);
    addItem(QIcon(), tr("Title"), Title);
    addItem(QIcon(), tr("Web Address"), WebAddress);
    addItem(QIcon(), tr("Password"), Password);
}
