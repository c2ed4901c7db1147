#pragma once

#include <QMessageBox>
#include <QString>

class AppInfo;
class QWidget;

// Lets the user choose a local folder and refuses folders that nest with a folder already
// synchronised on this computer, under any account. Every refusal answers an empty text.
class DialogHelper
{
public:
    explicit DialogHelper(const AppInfo* appInfo);

    // A folder that exists and nests with no synchronised folder; conflicts may be replaced.
    QString pickValidFolder(QWidget* parent, const QString& title) const;
    // A folder that nests with no synchronised folder; it need not exist.
    QString pickValidDefaultFolder(QWidget* parent, const QString& title) const;

    // The checks after the folder dialog, for a chosen folder in "/" form.
    QString validateFolder(QWidget* parent, const QString& candidate) const;
    QString validateDefaultFolder(QWidget* parent, const QString& candidate) const;

    // The question or notice about a conflict; names and paths are escaped for the rich text.
    static QString conflictText(const QString& folder, const QString& safeName, const QString& accountName,
                                bool replace);

    // A box that shows its text as it is: a name or path never turns into markup.
    static QMessageBox::StandardButton plainBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                                const QString& text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    // The same for a question answered Yes or No.
    static QMessageBox::StandardButton plainQuestion(QWidget* parent, const QString& title, const QString& text);

private:
    QString chooseFolder(QWidget* parent, const QString& title, const char* prefix) const;

    const AppInfo* m_appInfo;
};
