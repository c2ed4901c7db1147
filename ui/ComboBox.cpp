#include "ui/ComboBox.h"

#include <QListView>

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent)
{
    setView(new QListView(this));
}
