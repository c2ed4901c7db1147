#pragma once

#include <QObject>
#include <QString>

class QWidget;

// Keeps a window's geometry under a settings key: restored at once, stored whenever the window
// moves, is resized or closes.
class GeometryKeeper : public QObject
{
public:
    GeometryKeeper(QWidget* window, const QString& settingsKey);
    void store();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QString m_key;
};
