#include "ui/filesafe/DialogHelper.h"

#include "core/StringUtil.h"
#include "db/SyncSettingsDao.h"
#include "net/R7Session.h"
#include "sync/FolderIcon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSet>

DialogHelper::DialogHelper(const AppInfo* appInfo) : m_appInfo(appInfo) {}

QString DialogHelper::conflictText(const QString& folder, const QString& safeName, const QString& accountName,
                                   bool replace)
{
    const bool own = accountName == R7Session::instance()->userName();
    QString text = QCoreApplication::translate(
                           "QObject", "The local folder \"%1\" <ul><li>is already synchronized</li><li>or contains a "
                                      "folder which is synchronized</li><li>or is within a folder which is "
                                      "synchronized</li></ul>with the file safe ")
                           .arg(folder.toHtmlEscaped());
    if (own)
        text += QCoreApplication::translate("QObject", "<b>\"%1\"</b> used by <b>yourself</b>. ").arg(safeName.toHtmlEscaped());
    else
        text += QCoreApplication::translate("QObject", "<b>\"%1\"</b> used by ${APP_NAME} user <b>\"%2\"</b>. ")
                        .arg(safeName.toHtmlEscaped(), accountName.toHtmlEscaped());
    text += replace ? QCoreApplication::translate("QObject", "<br/><br/>Do you want to replace that synchronization setting?")
                    : QCoreApplication::translate("QObject", "<br/><br/>Please choose a different folder.");
    return text;
}

QMessageBox::StandardButton DialogHelper::plainBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                                  const QString& text, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return QMessageBox::StandardButton(box.exec());
}

QMessageBox::StandardButton DialogHelper::plainQuestion(QWidget* parent, const QString& title, const QString& text)
{
    return plainBox(parent, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No);
}

QString DialogHelper::chooseFolder(QWidget* parent, const QString& title, const char* prefix) const
{
    QFileDialog dialog(parent, title, QString(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted) {
        qDebug("%sselect local folder canceled", prefix);
        return QString();
    }
    const QStringList selected = dialog.selectedFiles();
    for (const QString& dir : selected)
        qDebug("%sselected dir: '%s'", prefix, qPrintable(StringUtil::escapeNonPrintable(dir)));
    if (selected.isEmpty()) {
        qDebug("%sno destination selected", prefix);
        return QString();
    }
    if (selected.first().isEmpty())
        return QString();
    return QDir::cleanPath(selected.first());
}

QString DialogHelper::pickValidFolder(QWidget* parent, const QString& title) const
{
    const QString candidate = chooseFolder(parent, title, "DialogHelper::pickValidFolder: ");
    return candidate.isEmpty() ? QString() : validateFolder(parent, candidate);
}

QString DialogHelper::pickValidDefaultFolder(QWidget* parent, const QString& title) const
{
    const QString candidate = chooseFolder(parent, title, "DialogHelper::pickValidDefaultFolder: ");
    return candidate.isEmpty() ? QString() : validateDefaultFolder(parent, candidate);
}

QString DialogHelper::validateFolder(QWidget* parent, const QString& candidate) const
{
    // Replacing one nesting setting can leave another: ask for each until none is left.
    QSet<int> removed;
    for (;;) {
        const QList<DuplicatedSyncPath> conflicts = SyncSettingsDao::instance()->getDuplicatedSynchedPaths(candidate);
        if (conflicts.isEmpty())
            break;
        const DuplicatedSyncPath& first = conflicts.first();
        if (removed.contains(first.syncSettingId()))
            return QString();
        if (QMessageBox::question(parent, QCoreApplication::translate("QObject", "Folder already used!"),
                                  conflictText(candidate, first.safeName(), first.accountName(), true),
                                  QMessageBox::Yes | QMessageBox::No)
            != QMessageBox::Yes)
            return QString();
        if (!SyncSettingsDao::instance()->remove(first.syncSettingId())) {
            plainBox(parent, QMessageBox::Warning, QCoreApplication::translate("QObject", "Warning"),
                     QCoreApplication::translate("QObject", "Failed to remove synchronization setting for filesafe \"%1\"")
                             .arg(first.safeName()));
            return QString();
        }
        removed.insert(first.syncSettingId());
        FolderIcon(m_appInfo).remove(first.localDir());
    }
    QDir dir(candidate);
    if (!dir.exists()) {
        if (QMessageBox::question(parent, QCoreApplication::translate("QObject", "Info"),
                                  QCoreApplication::translate("QObject",
                                                              "The local folder does not exist:<br/>    %1<br/><br/>Create it?")
                                          .arg(candidate.toHtmlEscaped()),
                                  QMessageBox::Yes | QMessageBox::No)
            != QMessageBox::Yes)
            return QString();
        if (!dir.mkpath(QStringLiteral("."))) {
            QMessageBox::information(parent, QCoreApplication::translate("QObject", "Info"),
                                     QCoreApplication::translate("QObject", "Cannot create folder:<br/>%1")
                                             .arg(candidate.toHtmlEscaped()),
                                     QMessageBox::Ok);
            return QString();
        }
    }
    return candidate;
}

QString DialogHelper::validateDefaultFolder(QWidget* parent, const QString& candidate) const
{
    const QList<DuplicatedSyncPath> conflicts = SyncSettingsDao::instance()->getDuplicatedSynchedPaths(candidate);
    if (!conflicts.isEmpty()) {
        const DuplicatedSyncPath& first = conflicts.first();
        QMessageBox::information(parent, QCoreApplication::translate("QObject", "Folder already synchronized"),
                                 conflictText(candidate, first.safeName(), first.accountName(), false), QMessageBox::Ok);
        return QString();
    }
    return candidate;
}
