#include "passwords/PasswordsView.h"

#include "db/Storage.h"
#include "net/R7Session.h"
#include "passwords/CreateViewEditPasswordDialog.h"
#include "passwords/CustomSortFilterProxyModel.h"
#include "passwords/LockedOverlay.h"
#include "passwords/PasswordCellDelegate.h"
#include "passwords/PasswordController.h"
#include "passwords/SearchComboBox.h"
#include "ui/ColumnWidthFitter.h"
#include "ui_PasswordsView.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QMovie>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTextDocument>
#include <QTimer>

namespace {
const char *const SpinnerPath = ":/res/tabs/spinner_animated_32x32.gif";
const char *const MaskedPassword = "******";
const char *const StateModelKey = "model";
const int LockCheckIntervalMs = 1000;
const int PasswordSearchDelayMs = 1000;
// A maximum from here on is shown as no limit.
const int UnlimitedPasswords = 10000;

// Whoever can write entries (another device of the account, the service) writes the comment: its tool
// tip must show it as it stands, never as markup that draws a prompt over the page.
QString commentToolTip(const QString &comment)
{
    return comment.isEmpty() ? QString() : Qt::convertFromPlainText(comment);
}

// Replaces every row in one reset: the proxy and the table then sort and lay out the new rows
// once, where inserting them one by one made both react to each row (quadratic in the entries).
class EntryModel : public QStandardItemModel
{
public:
    using QStandardItemModel::QStandardItemModel;

    void replaceRows(const QList<QList<QStandardItem *>> &rows)
    {
        beginResetModel();
        {
            const QSignalBlocker quiet(this);
            removeRows(0, rowCount());
            for (const QList<QStandardItem *> &row : rows)
                appendRow(row);
        }
        endResetModel();
    }
};
}

PasswordsView::PasswordsView(PasswordController *controller, Storage *storage, QWidget *parent)
    : QFrame(parent)
    , m_ui(new Ui::PasswordsView)
    , m_lockTimer(new QTimer(this))
    , m_controller(controller)
    , m_storage(storage)
{
    qRegisterMetaType<QSharedPointer<PasswordViewModel>>("QSharedPointer<PasswordViewModel>");

    m_ui->setupUi(this);
    setupModel();
    QPalette palette = m_ui->passwordsTableView->palette();
    palette.setColor(QPalette::All, QPalette::HighlightedText, Qt::black);
    m_ui->passwordsTableView->setPalette(palette);

    m_searchSpinner = new QMovie(QString::fromLatin1(SpinnerPath), QByteArray(), this);
    m_searchSpinner->setScaledSize(QSize(20, 20));
    m_loadingSpinner = new QMovie(QString::fromLatin1(SpinnerPath), QByteArray(), this);
    m_loadingSpinner->setScaledSize(QSize(20, 20));
    m_ui->searchFeedbackIndicatorLabel->setMovie(m_searchSpinner);
    m_ui->loadingProgressBarLabel->setMovie(m_loadingSpinner);
    m_ui->searchFeedbackIndicatorLabel->hide();
    m_ui->loadingProgressBarLabel->hide();

    connect(m_ui->searchFieldsComboBox, SIGNAL(currentIndexChanged(int)), this, SLOT(filterFieldChanged(int)));
    connect(m_ui->searchEdit, &QLineEdit::textChanged, this, &PasswordsView::performFiltering);
    connect(m_ui->refreshButton, &QPushButton::clicked, this, &PasswordsView::requestPasswords);
    connect(m_ui->addPasswordButton, &QToolButton::clicked, this, &PasswordsView::addNewPassword);
    connect(m_ui->deletePasswordButton, &QToolButton::clicked, this, &PasswordsView::deleteSelectedPassword);
    connect(m_ui->lockButton, &QPushButton::clicked, this, &PasswordsView::lockAnimated);

    if (R7Session::instance()->isLoggedIn()) {
        requestPasswords();
    }

    connect(m_lockTimer, &QTimer::timeout, this, &PasswordsView::checkLockTimeout);
    m_lockTimer->start(LockCheckIntervalMs);

    if (R7Application *app = R7Application::instance()) {
        connect(app, SIGNAL(appStateChanged(R7Application::AppState)), this,
                SLOT(applicationStateChanged(R7Application::AppState)));
    }

    restoreState();

    if (m_controller->isLocked()) {
        lockImmediate();
    }

    const QList<QPair<QKeySequence, void (PasswordsView::*)()>> shortcuts{
        {QKeySequence(QKeySequence::New), &PasswordsView::addNewPassword},
        {QKeySequence(QKeySequence::Delete), &PasswordsView::deleteSelectedPassword},
        {QKeySequence(Qt::Key_Backspace), &PasswordsView::deleteSelectedPassword},
        {QKeySequence(QKeySequence::Refresh), &PasswordsView::requestPasswords},
        {QKeySequence(QKeySequence::Close), &PasswordsView::lockAnimated},
        {QKeySequence(QKeySequence::Find), &PasswordsView::initiateFiltering},
    };
    for (const auto &shortcut : shortcuts) {
        auto *action = new QAction(this);
        action->setShortcut(shortcut.first);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        // Nothing may act behind the lock overlay.
        action->setEnabled(!m_locked);
        connect(action, &QAction::triggered, this, shortcut.second);
        addAction(action);
        m_shortcuts << action;
    }

    // Never inside the constructor: the caller is in the middle of a state change, and the page is
    // neither shown nor known to be unlocked yet.
    if (m_restoredEntry) {
        QTimer::singleShot(0, this, &PasswordsView::openRestoredEntry);
    }
}

PasswordsView::~PasswordsView()
{
    delete m_ui;
}

void PasswordsView::setupModel()
{
    m_model = new EntryModel(this);
    const QStringList headers{tr("Title"), tr("Username"), tr("Password"), tr("Web Address"), tr("Comment")};
    for (int column = 0; column < headers.size(); ++column) {
        m_model->setHorizontalHeaderItem(column, new QStandardItem(headers.at(column)));
    }

    m_proxy = new CustomSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setFilterColumns(m_allFieldsColumns);
    m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->sort(TitleColumn, Qt::AscendingOrder);

    TableView *table = m_ui->passwordsTableView;
    table->setModel(m_proxy);
    QHeaderView *header = table->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft);
    // The widths the columns are designed with; the password column keeps the header's default.
    QMap<int, int> widths{{TitleColumn, 200}, {UsernameColumn, 180}, {UrlColumn, 120}};
    for (auto it = widths.cbegin(); it != widths.cend(); ++it) {
        header->setSectionResizeMode(it.key(), QHeaderView::Interactive);
        header->resizeSection(it.key(), it.value());
    }
    header->setSectionResizeMode(CommentColumn, QHeaderView::Stretch);
    header->setSortIndicator(TitleColumn, Qt::AscendingOrder);
    widths.insert(PasswordColumn, header->defaultSectionSize());
    new ColumnWidthFitter(table, widths);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(table, SIGNAL(doubleClicked(QModelIndex)), this, SLOT(on_doubleClickRow(QModelIndex)));
    table->setAttribute(Qt::WA_MouseTracking);
    table->installEventFilter(this);

    auto *titleDelegate = new PasswordCellDelegate(table, PasswordCellDelegate::EditTitle);
    table->setItemDelegateForColumn(TitleColumn, titleDelegate);
    connect(titleDelegate, &PasswordCellDelegate::selected, this, &PasswordsView::on_titleEditButtonClicked);
    auto *passwordDelegate = new PasswordCellDelegate(table, PasswordCellDelegate::CopyPassword);
    table->setItemDelegateForColumn(PasswordColumn, passwordDelegate);
    connect(passwordDelegate, &PasswordCellDelegate::selected, m_controller,
            &PasswordController::loadPasswordForClipboard);
    auto *usernameDelegate = new PasswordCellDelegate(table, PasswordCellDelegate::CopyUsername);
    table->setItemDelegateForColumn(UsernameColumn, usernameDelegate);
    connect(usernameDelegate, &PasswordCellDelegate::selected, m_controller,
            &PasswordController::copyUsernameToClipboard);
    auto *urlDelegate = new PasswordCellDelegate(table, PasswordCellDelegate::OpenUrl);
    table->setItemDelegateForColumn(UrlColumn, urlDelegate);
    connect(urlDelegate, &PasswordCellDelegate::selected, this,
            [this](const QPoint &origin, const QString &url) { m_controller->openUrlInBrowser(origin, url, this); });
}

QList<QStandardItem *> PasswordsView::makeRowItems(const QString &title, const QString &username, const QString &url,
                                                   const QString &id, const QString &comment) const
{
    auto *titleItem = new QStandardItem(title);
    titleItem->setData(id, Qt::UserRole);
    auto *passwordItem = new QStandardItem(QString::fromLatin1(MaskedPassword));
    passwordItem->setData(id, Qt::UserRole);
    auto *commentItem = new QStandardItem(comment);
    commentItem->setToolTip(commentToolTip(comment));
    QList<QStandardItem *> items{titleItem, new QStandardItem(username), passwordItem, new QStandardItem(url),
                                 commentItem};
    for (QStandardItem *item : items) {
        item->setEditable(true);
    }
    return items;
}

QModelIndex PasswordsView::findIndexById(const QString &id) const
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row, TitleColumn);
        if (index.data(Qt::UserRole).toString() == id) {
            return index;
        }
    }
    return QModelIndex();
}

// ---- loading

void PasswordsView::startLoading()
{
    m_ui->loadingProgressBarLabel->show();
    m_loadingSpinner->start();
    m_ui->refreshButton->setEnabled(false);
}

void PasswordsView::requestPasswords()
{
    startLoading();
    m_controller->loadPasswords(bindResult(this, &PasswordsView::on_getPasswords));
}

void PasswordsView::on_getPasswords(const Result<EmptyPasswordsTO> &result)
{
    if (result.isOk()) {
        qDebug("PasswordsView::on_getPasswords: Loaded %d passwords", result.payload().passwords().size());
        fillModel(result.payload());
        m_passwordsMax = result.payload().passwordsMax();
        m_passwordCount = result.payload().passwords().size();
        updateQuotaLabel();
        m_ui->lastSyncLabel->setText(QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    } else {
        m_ui->lastSyncLabel->setText(QStringLiteral("Failed to retrieve passwords!"));
        qCritical("PasswordsView::on_getPasswords: Failed to retrieve passwords: %s",
                  result.message().toLocal8Bit().constData());
    }
    m_ui->loadingProgressBarLabel->hide();
    m_loadingSpinner->stop();
    m_ui->refreshButton->setEnabled(true);
}

void PasswordsView::fillModel(const EmptyPasswordsTO &passwords)
{
    QList<QList<QStandardItem *>> rows;
    rows.reserve(passwords.passwords().size());
    for (const EmptyPasswordTO &entry : passwords.passwords()) {
        rows << makeRowItems(entry.title(), entry.username(), entry.url(), entry.id(), entry.comment());
    }
    static_cast<EntryModel *>(m_model)->replaceRows(rows);
}

void PasswordsView::updateQuotaLabel()
{
    if (m_passwordsMax >= UnlimitedPasswords) {
        m_ui->passwordRestrictionsLabel->setText(tr("Number of passwords: %1").arg(m_passwordCount));
        m_ui->upgradeLinkLabel->hide();
        return;
    }
    const QString text = m_passwordCount == 1 ? tr("Used %1 password of %2 available")
                                              : tr("Used %1 passwords of %2 available");
    m_ui->passwordRestrictionsLabel->setText(text.arg(m_passwordCount).arg(m_passwordsMax));
    m_ui->upgradeLinkLabel->show();
}

// ---- search

void PasswordsView::filterFieldChanged(int index)
{
    // A search by password still pending must not replace the filter of the newly chosen field.
    stopPasswordSearch();
    // Not clear(): Undo would bring a password typed for the search back, now in clear text.
    m_ui->searchEdit->setText(QString());
    switch (index) {
    case SearchComboBox::AllFields:
        m_proxy->setFilterColumns(m_allFieldsColumns);
        break;
    case SearchComboBox::Title:
        m_proxy->setFilterColumns(TitleColumn);
        break;
    case SearchComboBox::WebAddress:
        m_proxy->setFilterColumns(UrlColumn);
        break;
    case SearchComboBox::Password:
        m_proxy->setFilterColumns(PasswordColumn);
        break;
    default:
        return;
    }
    m_proxy->setFilterWildcard(QString());
}

void PasswordsView::performFiltering(QString text)
{
    if (m_ui->searchFieldsComboBox->currentIndex() == SearchComboBox::Password) {
        m_ui->searchEdit->setEchoMode(QLineEdit::Password);
        if (!text.isEmpty()) {
            // A reply still travelling answers for a text that is no longer there.
            ++m_searchSerial;
            m_ui->searchFeedbackIndicatorLabel->show();
            m_searchSpinner->start();
            if (!m_delayTimer) {
                m_delayTimer = new QTimer(this);
                m_delayTimer->setSingleShot(true);
                connect(m_delayTimer, &QTimer::timeout, this, &PasswordsView::delayPasswordSearch);
            }
            m_delayTimer->start(PasswordSearchDelayMs);
        } else {
            stopPasswordSearch();
            m_proxy->setFilterWildcard(QString());
        }
    } else {
        m_ui->searchEdit->setEchoMode(QLineEdit::Normal);
        m_proxy->setFilterWildcard(text);
    }
    if (!text.isEmpty()) {
        m_ui->passwordsTableView->setStyleSheet(QStringLiteral("QTableView{ border : 2px solid gold }"));
    } else {
        m_proxy->setFilterRegExp(QString());
        m_ui->passwordsTableView->setStyleSheet(QString());
    }
}

void PasswordsView::stopPasswordSearch()
{
    ++m_searchSerial;
    if (m_delayTimer) {
        m_delayTimer->stop();
    }
    m_ui->searchFeedbackIndicatorLabel->hide();
    m_searchSpinner->stop();
}

void PasswordsView::delayPasswordSearch()
{
    if (m_delayTimer) {
        m_delayTimer->stop();
        m_delayTimer->deleteLater();
        m_delayTimer = nullptr;
    }
    const quint64 search = ++m_searchSerial;
    QPointer<PasswordsView> self(this);
    m_controller->checkBreached(m_ui->searchEdit->text(), [self, search](const Result<QList<qint64>> &result) {
        if (self) {
            self->on_passwordSearchResult(result, search);
        }
    });
}

void PasswordsView::on_passwordSearchResult(const Result<QList<qint64>> &result, quint64 search)
{
    // A newer search, a cleared text or another field has taken over.
    if (search != m_searchSerial) {
        return;
    }
    m_ui->searchFeedbackIndicatorLabel->hide();
    m_searchSpinner->stop();
    if (!result.isOk()) {
        qWarning("PasswordsView::on_passwordSearchResult: %s", result.message().toLocal8Bit().constData());
        return;
    }
    QStringList ids;
    for (qint64 id : result.payload()) {
        ids << QString::number(id);
    }
    if (!ids.isEmpty()) {
        m_proxy->setFilterFixedString(ids.join(QLatin1Char(';')));
    } else {
        m_proxy->setFilterRegExp(QStringLiteral("-1"));
    }
}

void PasswordsView::initiateFiltering()
{
    m_ui->searchEdit->setFocus(Qt::OtherFocusReason);
}

// ---- add, view, edit

void PasswordsView::addNewPassword()
{
    if (m_locked || m_dialogOpen) {
        return;
    }
    if (m_passwordCount < m_passwordsMax) {
        m_currentEntry = QSharedPointer<PasswordViewModel>::create(QString(), QString(), QString(), QString(),
                                                                   QString());
        m_currentEntry->setMode(PasswordViewModel::Add);
        showPasswordDialog();
        return;
    }
    QMessageBox::critical(this, tr("Password quota exceeded"),
                          tr("You used all the passwords available in your subscription. You can upgrade your "
                             "subscription to increase this limit."),
                          QMessageBox::Ok);
}

void PasswordsView::on_doubleClickRow(QModelIndex index)
{
    qDebug("PasswordsView::on_doubleClickRow");
    const QString id = index.sibling(index.row(), PasswordColumn).data(Qt::UserRole).toString();
    prepareForEdit(findIndexById(id), PasswordViewModel::View);
}

void PasswordsView::on_titleEditButtonClicked(QPoint origin, QString pwdId)
{
    Q_UNUSED(origin)
    prepareForEdit(findIndexById(pwdId), PasswordViewModel::Edit);
}

void PasswordsView::prepareForEdit(const QModelIndex &index, int mode)
{
    qDebug("PasswordsView::prepareForEdit");
    if (!index.isValid() || m_locked || m_dialogOpen) {
        return;
    }
    const QAbstractItemModel *model = index.model();
    const int row = index.row();
    const QString idText = model->index(row, PasswordColumn).data(Qt::UserRole).toString();
    bool isNumber = false;
    const qint64 id = idText.toLongLong(&isNumber);
    if (!isNumber) {
        return;
    }
    auto entry = QSharedPointer<PasswordViewModel>::create(
            model->index(row, TitleColumn).data().toString(), QString(), model->index(row, UrlColumn).data().toString(),
            model->index(row, UsernameColumn).data().toString(), model->index(row, CommentColumn).data().toString());
    entry->setId(idText);
    entry->setRow(row);
    entry->setMode(mode);
    // A later request supersedes this one: its reply then finds another current entry and is dropped.
    m_currentEntry = entry;
    QPointer<PasswordsView> self(this);
    m_controller->getPassword(id, [self, entry](const Result<SinglePasswordTO> &result) {
        if (self) {
            self->on_getPasswordForEdit(result, entry);
        }
    });
}

void PasswordsView::on_getPasswordForEdit(const Result<SinglePasswordTO> &result,
                                          const QSharedPointer<PasswordViewModel> &entry)
{
    if (!m_currentEntry || m_currentEntry != entry) {
        return;
    }
    QString error;
    QString plain;
    if (result.isOk()) {
        plain = m_controller->decryptPassword(result.payload().password(), result.payload().transportIv(), &error);
    }
    // An undecryptable secret must not open the entry: saving it would store an empty password.
    if (!result.isOk() || !error.isEmpty()) {
        m_currentEntry.clear();
        qWarning("PasswordsView::on_getPasswordForEdit: %s",
                 (result.isOk() ? error : result.message()).toLocal8Bit().constData());
        showMessage(QMessageBox::Warning, tr("Error"), tr("Failed to retrieve password from server for editing!"));
        return;
    }
    if (m_locked) {
        // Locked while the secret travelled: it is not shown behind the overlay.
        PasswordViewModel::blank(plain);
        m_currentEntry.clear();
        return;
    }
    entry->setPassword(plain);
    PasswordViewModel::blank(plain);
    showPasswordDialog();
}

void PasswordsView::showPasswordDialog()
{
    const QSharedPointer<PasswordViewModel> entry = m_currentEntry;
    if (!entry) {
        return;
    }
    QPointer<PasswordsView> self(this);
    QPointer<CreateViewEditPasswordDialog> dialog = new CreateViewEditPasswordDialog(m_controller, entry, this);
    m_entryDialog = dialog;
    m_entryDialogLocked = false;
    m_dialogOpen = true;
    const int result = dialog->exec();
    // The page may have gone with its main view while the dialog ran.
    if (!self) {
        return;
    }
    m_dialogOpen = false;
    if (m_entryDialogLocked) {
        // Ended by the lock: what was typed comes back after the unlock.
        m_entryDialogLocked = false;
        m_restoredEntry = entry;
        if (dialog && dialog->isSavePending()) {
            m_suspendedSave = dialog;
            connect(dialog, &QDialog::finished, this,
                    [this, entry](int saved) { onSuspendedSaveFinished(entry, saved); });
        } else {
            delete dialog;
        }
        focusUnlockField();
    } else {
        delete dialog;
        if (result == QDialog::Accepted) {
            applySavedEntry(entry);
        }
    }
    if (m_currentEntry == entry) {
        m_currentEntry.clear();
    }
}

void PasswordsView::applySavedEntry(const QSharedPointer<PasswordViewModel> &entry)
{
    if (entry->mode() == PasswordViewModel::Add) {
        // A reload during the dialog may already list the new entry.
        if (!findIndexById(entry->id()).isValid()) {
            m_model->appendRow(makeRowItems(entry->title(), entry->username(), entry->url(), entry->id(), entry->comment()));
            ++m_passwordCount;
            updateQuotaLabel();
        }
    } else if (entry->mode() == PasswordViewModel::Edit) {
        // By id: the table may have been reloaded, or the entry come from an earlier page.
        const QModelIndex index = findIndexById(entry->id());
        if (index.isValid()) {
            const int row = index.row();
            m_model->setData(m_model->index(row, TitleColumn), entry->title(), Qt::EditRole);
            m_model->setData(m_model->index(row, UsernameColumn), entry->username(), Qt::EditRole);
            m_model->setData(m_model->index(row, UrlColumn), entry->url(), Qt::EditRole);
            const QModelIndex comment = m_model->index(row, CommentColumn);
            m_model->setData(comment, entry->comment(), Qt::EditRole);
            m_model->setData(comment, commentToolTip(entry->comment()), Qt::ToolTipRole);
        }
    }
}

void PasswordsView::onSuspendedSaveFinished(const QSharedPointer<PasswordViewModel> &entry, int result)
{
    if (m_suspendedSave) {
        m_suspendedSave->deleteLater();
        m_suspendedSave = nullptr;
    }
    if (result == QDialog::Accepted) {
        applySavedEntry(entry);
        // Stored now: saving the reopened entry again updates it instead of adding it twice.
        if (entry->mode() == PasswordViewModel::Add) {
            entry->setMode(PasswordViewModel::Edit);
        }
    }
    openRestoredEntry();
}

// ---- delete

void PasswordsView::deleteSelectedPassword()
{
    if (m_locked || m_dialogOpen) {
        return;
    }
    QItemSelectionModel *selection = m_ui->passwordsTableView->selectionModel();
    if (!selection || !selection->hasSelection()) {
        QMessageBox::critical(this, tr("No password selected"), tr("Please select the password to be deleted!"),
                              QMessageBox::Ok);
        return;
    }
    const int row = selection->selectedIndexes().first().row();
    const QString id = m_proxy->index(row, PasswordColumn).data(Qt::UserRole).toString();
    const QString title = m_proxy->index(row, TitleColumn).data().toString();

    QPointer<PasswordsView> self(this);
    QMessageBox question(QMessageBox::Question, tr("Delete"), tr("Are you sure you want to delete password %1 ?").arg(title),
                         QMessageBox::Yes | QMessageBox::No, this);
    // The title is the entry's, not ours: markup in it could hide the rest of the question.
    question.setTextFormat(Qt::PlainText);
    const int answer = question.exec();
    if (!self || answer != QMessageBox::Yes) {
        return;
    }
    // The id travels with its own request: two deletions in flight each remove their own row.
    m_controller->deletePassword(id, [self, id](const Result<Nothing> &result) {
        if (self) {
            self->on_deletePassword(result, id);
        }
    });
}

void PasswordsView::on_deletePassword(const Result<Nothing> &result, const QString &id)
{
    if (!result.isOk()) {
        qWarning("PasswordsView::on_deletePassword: %s", result.message().toLocal8Bit().constData());
        showMessage(QMessageBox::Critical, tr("Delete failed"), tr("Unable to delete password"));
        return;
    }
    const QModelIndex index = findIndexById(id);
    if (index.isValid()) {
        m_model->removeRow(index.row());
        --m_passwordCount;
        updateQuotaLabel();
    }
}

// ---- lock

void PasswordsView::checkLockTimeout()
{
    if (!m_controller->isLocked() && m_controller->isLockExpired()) {
        lockAnimated();
    }
}

void PasswordsView::lockAnimated()
{
    lock(true);
}

void PasswordsView::lockImmediate()
{
    lock(false);
}

void PasswordsView::lock(bool animated)
{
    setLocked(true);
    // A modal window would stay readable above the overlay and take the keys typed for the unlock.
    closeWindowsForLock();
    // One overlay is enough; a second would have to be unlocked twice.
    if (m_overlay) {
        return;
    }
    m_overlay = new LockedOverlay(this);
    connect(m_overlay, &LockedOverlay::unlocked, this, &PasswordsView::unlock);
    if (animated) {
        m_overlay->fadeIn();
    } else {
        m_overlay->showImmediately();
    }
    // Once the ended windows' loops have returned.
    QTimer::singleShot(0, this, &PasswordsView::focusUnlockField);
}

void PasswordsView::closeWindowsForLock()
{
    if (m_entryDialog && m_entryDialog->isVisible()) {
        m_entryDialog->suspend();
        m_entryDialogLocked = true;
    }
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *dialog = qobject_cast<QDialog *>(window);
        if (!dialog || !dialog->isVisible()) {
            continue;
        }
        for (QWidget *parent = dialog->parentWidget(); parent; parent = parent->parentWidget()) {
            if (parent == this) {
                dialog->reject();
                break;
            }
        }
    }
}

void PasswordsView::focusUnlockField()
{
    if (!m_locked || !m_overlay || !isVisible()) {
        return;
    }
    // Without a window manager nobody else gives the focus back once the ended window is unmapped.
    window()->activateWindow();
    m_overlay->fitToParent();
}

void PasswordsView::unlock()
{
    // The overlay deletes itself later, maybe only after an entry reopened below has been closed:
    // a lock meanwhile needs an overlay of its own.
    m_overlay = nullptr;
    setLocked(false);
    m_ui->searchEdit->setFocus(Qt::OtherFocusReason);
    // After the overlay has finished: its unlocked() is still being delivered.
    QPointer<PasswordsView> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self) {
            self->showDeferredMessages();
        }
        if (self) {
            self->openRestoredEntry();
        }
    });
}

void PasswordsView::showMessage(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    if (m_locked) {
        m_deferredMessages.append({icon, title, text});
        return;
    }
    QPointer<QMessageBox> box = new QMessageBox(icon, title, text, QMessageBox::Ok, this);
    box->exec();
    delete box;
}

void PasswordsView::showDeferredMessages()
{
    QPointer<PasswordsView> self(this);
    while (self && !m_locked && !m_deferredMessages.isEmpty()) {
        const Message message = m_deferredMessages.takeFirst();
        showMessage(message.icon, message.title, message.text);
    }
}

void PasswordsView::setLocked(bool locked)
{
    setFramesLocked(locked);
    m_controller->setLocked(locked);
}

void PasswordsView::setFramesLocked(bool locked)
{
    m_locked = locked;
    m_ui->topFrame->setEnabled(!locked);
    m_ui->contentFrame->setEnabled(!locked);
    m_ui->bottomFrame->setEnabled(!locked);
    for (QAction *action : qAsConst(m_shortcuts)) {
        action->setEnabled(!locked);
    }
}

// ---- sign-out and sign-in

void PasswordsView::applicationStateChanged(R7Application::AppState state)
{
    if (state == R7Application::APP_STATE_LOGGED_OUT) {
        if (m_storage) {
            const QSharedPointer<PasswordViewModel> entry = m_currentEntry ? m_currentEntry : m_restoredEntry;
            QVariantMap values;
            values.insert(QString::fromLatin1(StateModelKey), QVariant::fromValue(entry));
            m_storage->storeState(this, values, Storage::ContextBound | Storage::RemoveOnRestore);
        }
    } else if (state == R7Application::APP_STATE_LOGGED_IN) {
        requestPasswords();
    }
}

void PasswordsView::restoreState()
{
    if (!m_storage) {
        return;
    }
    const QVariant model = m_storage->restoreState(this).value(QString::fromLatin1(StateModelKey));
    if (model.isValid()) {
        m_restoredEntry = model.value<QSharedPointer<PasswordViewModel>>();
    }
}

void PasswordsView::openRestoredEntry()
{
    // A save still travelling decides whether the entry comes back to be added or to be updated.
    if (!m_restoredEntry || m_locked || m_dialogOpen || m_suspendedSave) {
        return;
    }
    m_currentEntry = m_restoredEntry;
    m_restoredEntry.clear();
    showPasswordDialog();
}

// ---- keyboard

bool PasswordsView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->passwordsTableView && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Space || key == Qt::Key_Return) {
            const QModelIndex current = m_ui->passwordsTableView->currentIndex();
            auto *delegate = qobject_cast<PasswordCellDelegate *>(
                    m_ui->passwordsTableView->itemDelegateForColumn(current.column()));
            if (current.isValid() && delegate) {
                emit delegate->activate();
                return true;
            }
        }
    }
    return false;
}

void PasswordsView::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    if (!m_controller->isLocked()) {
        m_ui->searchEdit->setFocus(Qt::OtherFocusReason);
    }
}
