// The client on a desktop as people have it: the main window at its first size of 800 x 600, English
// and German, a larger desktop font. The gallery's fit measurement is shown to catch each way a view
// once did not fit; the views that a unit can place are measured themselves.
#include "ContrastCheck.h"
#include "FitCheck.h"
#include "core/AppInfo.h"
#include "core/BrandingTranslator.h"
#include "core/Style.h"
#include "core/VarnelStyle.h"
#include "db/FileSafeDao.h"
#include "db/SyncSettingsDao.h"
#include "db/SettingsStorage.h"
#include "db/SyncHistoryDao.h"
#include "net/FilesafeRI.h"
#include "net/LoginRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "passwords/CreateViewEditPasswordDialog.h"
#include "passwords/LockedOverlay.h"
#include "passwords/PasswordController.h"
#include "sync/MultiSyncher.h"
#include "sync/SyncAction.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/ColumnWidthFitter.h"
#include "ui/ElidingLabel.h"
#include "ui/LogDialog.h"
#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "ui/WizardView.h"
#include "ui/filesafe/FileSyncSettingsView.h"
#include "ui/filesafe/MainFileSafeView.h"
#include "ui/filesafe/RemoteFolderDialog.h"
#include "ui/filesafe/SyncHistoryView.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include <memory>

namespace {

void settle(QWidget* window, const QSize& size = QSize())
{
    if (size.isValid())
        window->resize(size);
    window->show();
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// The main window signed in, on its file-safe tab, at its first size, with what it needs alive.
struct FileSafeWindow
{
    UserCredUtil creds;
    ServerList servers;
    LoginRI loginRI;
    PasswordController controller;
    MultiSyncher syncher;
    SettingsStorage storage;
    MainWindow window;

    FileSafeWindow(AppInfo* info, FileSafeDao* dao, QObject* owner)
        : creds(info), servers(*info), loginRI(&creds, info, R7Session::instance()),
          controller(R7Session::instance(), nullptr), syncher(nullptr, nullptr), storage(new QSettings(owner), owner),
          window(dao, info, &creds, &controller, &syncher, &storage, R7Session::instance(), &loginRI, &servers)
    {
    }

    MainFileSafeView* show(int tab)
    {
        settle(&window, QSize(800, 600));
        window.on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
        window.mainView()->selectTab(MainView::MAIN_TAB_FILESAFE);
        auto* fileSafe = window.mainView()->findChild<MainFileSafeView*>();
        fileSafe->setCurrentTab(tab);
        return fileSafe;
    }
};

template<typename Finding>
QString listed(const QList<Finding>& findings)
{
    QStringList lines;
    for (const Finding& finding : findings)
        lines << finding.widget + QStringLiteral(": ") + finding.problem;
    return lines.join(QLatin1Char('\n'));
}

// A window holding one widget in its layout.
QWidget* windowWith(QWidget* widget)
{
    auto* window = new QWidget;
    (new QVBoxLayout(window))->addWidget(widget);
    return window;
}

// A label and a button in a row of the given width, placed as a table places its cell widgets.
QWidget* row(QWidget* label, QWidget* button, int width)
{
    auto* window = new QWidget;
    auto* frame = new QWidget(window);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(6, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(label, 1);
    if (button)
        layout->addWidget(button);
    frame->setGeometry(0, 0, width, 30);
    window->resize(width + 100, 50);
    return window;
}

QPushButton* infoButton(bool keepsSize)
{
    auto* button = new QPushButton(QStringLiteral("i"));
    button->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; min-height: 0px; font-size: 12px; }"));
    button->setMaximumSize(20, 20);
    if (keepsSize)
        button->setMinimumSize(20, 20);
    return button;
}

QWidget* wrapped(const QString& text, int maxHeight)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setMaximumHeight(maxHeight);
    QWidget* window = windowWith(label);
    window->resize(320, 200);
    return window;
}

// A table of 400 px: two columns of fixed widths, one stretched, one sized to a long text.
QWidget* table(int fixedWidth)
{
    auto* view = new QTableView;
    auto* model = new QStandardItemModel(1, 4, view);
    model->setHorizontalHeaderLabels({"Action", "Safe: Item", "Status", "Date/Time"});
    model->setItem(0, 3, new QStandardItem(QStringLiteral("12/7/26 11:43:18 AM")));
    view->setModel(model);
    QHeaderView* header = view->horizontalHeader();
    header->setMinimumSectionSize(20);
    header->resizeSection(0, fixedWidth);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->resizeSection(2, fixedWidth);
    header->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    view->setMinimumWidth(0);
    QWidget* window = windowWith(view);
    window->resize(400, 150);
    return window;
}

QMessageBox* messageBox(const QString& sheet)
{
    qApp->setStyleSheet(sheet);
    return new QMessageBox(QMessageBox::Question, QStringLiteral("Remove all"),
                           QStringLiteral("<b>Clear list of synchronized folders</b><br/><br/>The contents of the "
                                          "synchronized folders will not be deleted."),
                           QMessageBox::Yes | QMessageBox::No);
}

// A dialog at its minimum size, at a desktop font of 12 pt, with the style sheet's button rule.
QWidget* buttonAtLargerFont(const QString& rule)
{
    QFont larger = QApplication::font();
    larger.setPointSize(12);
    QApplication::setFont(larger);
    qApp->setStyleSheet(QStringLiteral("QPushButton { border: none; %1 }").arg(rule));
    auto* dialog = new QWidget;
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(new QLabel(QStringLiteral("Version: 2.2.4")));
    layout->addWidget(new QPushButton(QStringLiteral("Schließen")));
    dialog->resize(10, 10);
    return dialog;
}

// A form in a scroll area: 200 px of view for a row of 300.
QWidget* scrolledForm()
{
    auto* area = new QScrollArea;
    area->setWidgetResizable(true);
    auto* content = new QWidget;
    content->setMinimumWidth(300);
    area->setWidget(content);
    QWidget* window = windowWith(area);
    window->resize(200, 100);
    return window;
}

// Each way a view once did not fit, and the way it fits now. keep: the window must keep this size.
QWidget* build(const QString& fault, QSize* keep)
{
    const QString name = QStringLiteral("Team Alpha/Projects");
    if (fault == "columns behind the scroll bar")
        return table(150);
    if (fault == "columns fit")
        return table(60);
    if (fault == "help button squeezed")
        return row(new QLabel(QStringLiteral("Speicherplatz überschritten")), infoButton(false), 130);
    if (fault == "help button kept")
        return row(new ElidingLabel(QStringLiteral("Speicherplatz überschritten")), infoButton(true), 130);
    if (fault == "name cut")
        return row(new QLabel(name), nullptr, 100);
    if (fault == "name cut without an ellipsis") {
        auto* label = new QLabel(name);
        label->setProperty(FitCheck::kShownText, QStringLiteral("Team Alpha/Project"));
        return row(label, nullptr, 200);
    }
    if (fault == "name elided")
        return row(new ElidingLabel(name), nullptr, 100);
    if (fault == "message box icon widened")
        return messageBox(QStringLiteral("QMessageBox QLabel { min-width: 280px; }"));
    if (fault == "message text held at a minimum width")
        return messageBox(QStringLiteral("QMessageBox QLabel#qt_msgbox_label { min-width: 280px; }"));
    if (fault == "message box sized by itself")
        return messageBox(QString());
    if (fault == "window widened by a view" || fault == "window kept") {
        auto* window = new QMainWindow;
        const QString text(120, QLatin1Char('W'));
        window->setCentralWidget(fault == "window kept" ? new ElidingLabel(text) : new QLabel(text));
        *keep = QSize(800, 600);
        window->resize(*keep);
        return window;
    }
    if (fault == "prompt cut at both ends") {
        auto* overlay = new QWidget;
        auto* label = new QLabel(QStringLiteral("Enter your password to unlock"), overlay);
        QFont larger = label->font();
        larger.setPixelSize(18);
        label->setFont(larger);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(202, 170, 240, 25);
        overlay->resize(600, 300);
        return overlay;
    }
    if (fault == "description cut by a maximum height")
        return wrapped(
                QStringLiteral("Select the space - Team-Space or Private Safe - you would like to synchronize. In "
                               "the next step, you will be able to configure advanced settings for the new item."),
                50);
    if (fault == "button minimum in pixels")
        return buttonAtLargerFont(QStringLiteral("padding: 6px 16px; min-height: 18px;"));
    if (fault == "button as high as its text")
        return buttonAtLargerFont(QStringLiteral("padding: 7px 16px;"));
    if (fault == "form scrolled sideways")
        return scrolledForm();
    if (fault == "field framed while read-only" || fault == "field framed when editable") {
        const QString readOnly = fault == "field framed while read-only" ? QStringLiteral("[readOnly=\"true\"]")
                                                                         : QStringLiteral(":read-only");
        qApp->setStyleSheet(
                QStringLiteral("QWidget { background-color: white; } QLineEdit { border: 1px solid #969696; } "
                               "QLineEdit%1 { border: none; background: transparent; }")
                        .arg(readOnly));
        // Made editable once shown, as Edit does in the entry dialog; measured by its contrast.
        auto* field = new QLineEdit(QStringLiteral("Mail"));
        field->setObjectName(QStringLiteral("titleEdit"));
        field->setReadOnly(true);
        field->setProperty("editableOnceShown", true);
        QWidget* window = windowWith(field);
        window->resize(300, 60);
        return window;
    }
    if (fault == "path wider than the desktop")
        return windowWith(new QLabel(QString(250, QLatin1Char('W'))));
    return nullptr;
}

} // namespace

class TestDesktopFit : public QObject
{
    Q_OBJECT

private slots:
    // The font of the desktop session the gallery draws with, not the offscreen platform's own.
    void initTestCase() { QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9)); }

    void init()
    {
        m_env.reset(new TestEnv);
        QDir::setCurrent(m_env->home());
        m_db.reset(new TestDatabase);
        m_db->open();
        QVERIFY(m_db->rawExec(
                {"INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0)"}));
        m_db->closeRaw();
        R7Session::instance()->setServer(ServerInfo("eu", "Europe", "Europe", "https://127.0.0.1:1", true));
        R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
    }

    void cleanup()
    {
        initTestCase();
        qApp->setStyleSheet(QString());
        QLocale::setDefault(QLocale::system());
        R7Session::instance()->setUser(User());
        m_db.reset();
        m_env.reset();
    }

    // Each row: a fault of the views reproduced small, and what the measurement must say about it.
    void checkCatchesFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("finding");
        QTest::newRow("activity") << "columns behind the scroll bar"
                                  << "the last ones hide behind the scroll bar";
        QTest::newRow("activity mended") << "columns fit"
                                         << "";
        QTest::newRow("status cell") << "help button squeezed"
                                     << "too small to hit";
        QTest::newRow("status cell mended") << "help button kept"
                                            << "";
        QTest::newRow("folder row") << "name cut"
                                    << "QLabel# \"Team Alpha/Projects\": text needs";
        QTest::newRow("folder row, elided badly") << "name cut without an ellipsis"
                                                  << "without an ellipsis";
        QTest::newRow("folder row mended") << "name elided"
                                           << "";
        QTest::newRow("message box") << "message box icon widened"
                                     << "QLabel#qt_msgboxex_icon_label \"\": is 280 px wide";
        QTest::newRow("message box, text only") << "message text held at a minimum width"
                                                << "QLabel#qt_msgbox_label";
        QTest::newRow("message box mended") << "message box sized by itself"
                                            << "";
        QTest::newRow("entry dialog") << "field framed while read-only"
                                      << "QLineEdit#titleEdit \"\": field outline";
        QTest::newRow("entry dialog mended") << "field framed when editable"
                                             << "";
        QTest::newRow("main window") << "window widened by a view"
                                     << "was given 800x600";
        QTest::newRow("main window mended") << "window kept"
                                            << "";
        QTest::newRow("lock prompt") << "prompt cut at both ends"
                                     << "\"Enter your password to unlock\": text needs";
        QTest::newRow("add-folder description") << "description cut by a maximum height"
                                                << "wrapped text needs";
        QTest::newRow("button at a larger font") << "button minimum in pixels"
                                                 << "\"Schließen\": is";
        QTest::newRow("button at a larger font mended") << "button as high as its text"
                                                        << "";
        QTest::newRow("debug dialog") << "form scrolled sideways"
                                      << "scrolls sideways";
        QTest::newRow("log path") << "path wider than the desktop"
                                  << "larger than a 1280x800 desktop";
    }

    void checkCatchesFaults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, finding);
        QSize keep;
        std::unique_ptr<QWidget> window(build(fault, &keep));
        QVERIFY2(window, qPrintable(fault));
        settle(window.get());
        QList<FitCheck::Finding> findings = FitCheck().check(window.get());
        if (keep.isValid())
            findings += FitCheck::checkSize(window.get(), keep);
        QString text = listed(findings);
        if (auto* field = window->findChild<QLineEdit*>(); field && field->property("editableOnceShown").toBool()) {
            field->setReadOnly(false);
            settle(window.get());
            text += listed(ContrastCheck(QColor()).check(window.get()));
        }
        if (finding.isEmpty())
            QVERIFY2(text.isEmpty(), qPrintable(text));
        else
            QVERIFY2(text.contains(finding), qPrintable(QStringLiteral("expected \"%1\" in:\n%2").arg(finding, text)));
    }

    // At every width a folder row's name may get, its shortened form fits the label in whole pixels:
    // shortened to a fraction of a pixel, it once needed one more at a few widths.
    void elidedNameFitsEveryWidth()
    {
        auto* label = new ElidingLabel(QStringLiteral("Team Projects/Reports"));
        label->setFont(QFont(label->font().family(), 13));
        std::unique_ptr<QWidget> window(row(label, nullptr, 400));
        settle(window.get());
        QStringList cut;
        for (int width = 40; width < label->fontMetrics().horizontalAdvance(label->text()); ++width) {
            label->setFixedWidth(width);
            const QString text = listed(FitCheck().check(window.get()));
            if (!text.isEmpty())
                cut << text;
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }

    // A property selector is not matched again when the property changes: after Edit the fields kept
    // the read-only look of the view, without a frame.
    void entryFieldsFramedAfterEdit()
    {
        AppInfo& info = m_db->appInfo();
        info.brandKey = QStringLiteral("varnel");
        applyBrandStyle(qApp, &info);
        auto entry = QSharedPointer<PasswordViewModel>::create(QStringLiteral("Mail"), QStringLiteral("secret"),
                                                               QStringLiteral("https://mail.example"),
                                                               QStringLiteral("jane"), QString());
        entry->setMode(PasswordViewModel::View);
        CreateViewEditPasswordDialog dialog(nullptr, entry);
        settle(&dialog);
        dialog.findChild<QPushButton*>(QStringLiteral("editButton"))->click();
        settle(&dialog);
        QVERIFY(!dialog.findChild<QLineEdit*>(QStringLiteral("titleEdit"))->isReadOnly());
        const QColor disabledFace(VarnelStyle().variables().value(QStringLiteral("BUTTON_DISABLED_BGCOLOR")));
        const QString text = listed(ContrastCheck(disabledFace).check(&dialog));
        QVERIFY2(!text.contains(QLatin1String("field outline")), qPrintable(text));
    }

    void activityShowsWhatAndWhen_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("locale");
        QTest::newRow("English") << "en"
                                 << "en_US";
        QTest::newRow("German") << "de"
                                << "de_DE";
    }

    // In the main window at 800 x 600, with enough rows to scroll and the longest action among them,
    // "Safe: Item" shows 20 characters and "Date/Time" lies within the view; a time range widens nothing.
    void activityShowsWhatAndWhen()
    {
        QFETCH(QString, language);
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        AppInfo& info = m_db->appInfo();
        info.brandKey = QStringLiteral("varnel");
        applyBrandStyle(qApp, &info);
        const BrandingTranslator::Installed translators = BrandingTranslator::installBoth(&info, {language});
        const SyncHistory run = SyncHistoryDao::instance()->startSync();
        for (int i = 0; i < 40; ++i) {
            SyncAction action;
            action.setAction(i == 0 ? SyncAction::BackupDownloadFile : SyncAction::UploadFile);
            action.setLocalBase(m_env->home() + QStringLiteral("/Team Projects"));
            action.setRemoteSafeName(QStringLiteral("Team Projects"));
            action.setName(QStringLiteral("Invoices/2026/invoice-%1.pdf").arg(i, 3, 10, QLatin1Char('0')));
            action.setExecuted(i % 3 ? SyncAction::STATUS_OK : SyncAction::WARN_SKIPPED, QString());
            SyncHistoryDao::instance()->storeSyncHistoryObject(&action, run.id());
        }
        SyncHistoryDao::instance()->finishSync(run.id());

        QSettings().setValue(QStringLiteral("app/show_pwd_safe"), false);
        FileSafeDao dao(&info, nullptr);
        FileSafeWindow main(&info, &dao, this);
        MainWindow& window = main.window;
        auto* fileSafe = main.show(0);
        // The last hour holds the run whether or not midnight passed since it was stored.
        fileSafe->historyView()->findChild<QComboBox*>(QStringLiteral("selectFilterComboBox"))->setCurrentIndex(2);
        settle(&window);

        auto* view = fileSafe->historyView()->findChild<QTableView*>(QStringLiteral("historyTableView"));
        QVERIFY(view->verticalScrollBar()->isVisible());
        const QHeaderView* header = view->horizontalHeader();
        const int time = header->sectionViewportPosition(SyncHistoryView::ColTime) +
                         header->sectionSize(SyncHistoryView::ColTime);
        QVERIFY2(time <= view->viewport()->width(),
                 qPrintable(QStringLiteral("Date/Time ends at %1 of %2").arg(time).arg(view->viewport()->width())));
        // The text as the cell draws it: within the cell's margins, its middle left out.
        const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const QString path = fileSafe->historyView()->model()->index(0, SyncHistoryView::ColPath).data().toString();
        const QString shown = view->fontMetrics().elidedText(
                path, Qt::ElideMiddle, header->sectionSize(SyncHistoryView::ColPath) - 2 * margin);
        QVERIFY2(shown.size() - 1 >= 20, qPrintable(shown));

        fileSafe->historyView()->findChild<QComboBox*>(QStringLiteral("selectFilterComboBox"))->setCurrentIndex(3);
        settle(&window);
        QCOMPARE(window.width(), 800);
        window.on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
        for (BrandingTranslator* translator : {translators.program, translators.framework}) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }

    void columnsFitTheirTable_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("designed");
        QTest::newRow("wide window") << 1000 << true;
        QTest::newRow("first window size") << 574 << false;
    }

    // The password page's columns: their designed widths where the table has room, narrowed in
    // proportion where it has not, so that every column shows; a column the user drags stays so.
    void columnsFitTheirTable()
    {
        QFETCH(int, width);
        QFETCH(bool, designed);
        auto* view = new QTableView;
        QStandardItemModel model(2, 5);
        model.setHorizontalHeaderLabels({"Title", "Username", "Password", "Web Address", "Comment"});
        view->setModel(&model);
        QHeaderView* header = view->horizontalHeader();
        for (const auto& [column, size] : {std::make_pair(0, 200), std::make_pair(1, 180), std::make_pair(3, 120)})
            header->resizeSection(column, size);
        header->setSectionResizeMode(4, QHeaderView::Stretch);
        header->setSortIndicator(0, Qt::AscendingOrder);
        header->setSortIndicatorShown(true);
        new ColumnWidthFitter(view, {{0, 200}, {1, 180}, {2, header->defaultSectionSize()}, {3, 120}});
        std::unique_ptr<QWidget> window(windowWith(view));
        settle(window.get(), QSize(width, 200));
        const QList<int> sizes{header->sectionSize(0), header->sectionSize(1), header->sectionSize(2),
                               header->sectionSize(3)};
        if (designed)
            QCOMPARE(sizes, QList<int>({200, 180, header->defaultSectionSize(), 120}));
        const QString found = listed(FitCheck().check(window.get()));
        QVERIFY2(found.isEmpty(), qPrintable(found));

        header->resizeSection(1, 90);
        settle(window.get(), QSize(width + 50, 200));
        QCOMPARE(header->sectionSize(0), sizes.at(0));
        QCOMPARE(header->sectionSize(1), 90);
    }

    void lockPromptGrowsUpwards_data()
    {
        QTest::addColumn<int>("pixelSize"); // 0: the session's font
        QTest::addColumn<QString>("text");
        QTest::newRow("session's font") << 0 << "Enter your password to unlock";
        QTest::newRow("12 pt") << 16 << "Enter your password to unlock";
        QTest::newRow("12 pt, German") << 16 << "Passwort zum Entsperren eingeben";
        QTest::newRow("a long text") << 16 << "Passwort zum Entsperren des Passwort-Safes von Tessarvale eingeben";
    }

    // The prompt keeps its 240 px, wraps only when one line does not hold it, and grows upwards with
    // its bottom edge 5 px above the input.
    void lockPromptGrowsUpwards()
    {
        QFETCH(int, pixelSize);
        QFETCH(QString, text);
        QWidget page;
        page.resize(600, 300);
        if (pixelSize > 0) {
            QFont larger = page.font();
            larger.setPixelSize(pixelSize);
            page.setFont(larger);
        }
        LockedOverlay overlay(&page);
        auto* label = overlay.findChild<QLabel*>(QStringLiteral("unlockLabel"));
        label->setText(text);
        overlay.showImmediately();
        settle(&page);
        const QRect input = overlay.findChild<QLineEdit*>(QStringLiteral("unlockPasswordEdit"))->geometry();
        QCOMPARE(input, QRect(202, 200, 240, 25));
        QCOMPARE(label->x(), 202);
        QCOMPARE(label->width(), 240);
        QCOMPARE(label->geometry().bottom() + 1, input.top() - 5);
        const bool oneLine = label->fontMetrics().horizontalAdvance(text) <= 240;
        QCOMPARE(label->wordWrap(), !oneLine);
        if (oneLine)
            QCOMPARE(label->height(), 25);
        else
            QVERIFY(label->height() >= label->heightForWidth(240));
        const QString found = listed(FitCheck().check(&page));
        QVERIFY2(found.isEmpty(), qPrintable(found));
    }

    // The shared button rule lets the layout narrow a button to its minimum width, below its text:
    // the views that hold them in a tight row keep them whole, at the first window size where they
    // have one, in English and German, at the session's font and at 12 pt.
    void buttonsKeptWhole_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("brand");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("points");
        QTest::newRow("log dialog") << "log" << "varnel" << "en" << 9;
        QTest::newRow("log dialog, German at 12 pt") << "log" << "tamsel" << "de" << 12;
        QTest::newRow("remote folder dialog, Sorel in German") << "remote folder" << "sorel" << "de" << 9;
        QTest::newRow("folder list, remove all shown") << "folders" << "varnel" << "en" << 9;
        QTest::newRow("folder list, remove all shown, German at 12 pt") << "folders" << "sorel" << "de" << 12;
        QTest::newRow("storage table's default folder at 12 pt") << "storage" << "varnel" << "de" << 12;
        // Qt's own folder chooser, opened from the add-folder page: its tool buttons show icons only.
        QTest::newRow("folder chooser, German at 12 pt") << "folder chooser" << "varnel" << "de" << 12;
        QTest::newRow("folder chooser, Sorel") << "folder chooser" << "sorel" << "en" << 9;
    }

    void buttonsKeptWhole()
    {
        QFETCH(QString, view);
        QFETCH(QString, brand);
        QFETCH(QString, language);
        QFETCH(int, points);
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), points));
        QLocale::setDefault(QLocale(language == QLatin1String("de") ? QStringLiteral("de_DE") : QStringLiteral("en_US")));
        AppInfo& info = m_db->appInfo();
        info.brandKey = brand;
        info.logPath = m_env->home() + QStringLiteral("/Tessarvale/logs/a-long-folder-name-for-the-log/client.log");
        applyBrandStyle(qApp, &info);
        const BrandingTranslator::Installed translators = BrandingTranslator::installBoth(&info, {language});
        FileSafeDao dao(&info, nullptr);
        FilesafeTO_v2 safe;
        safe.safeId = QStringLiteral("S1");
        safe.name = QStringLiteral("Team Projects");
        safe.type = QStringLiteral("TEAMSAFE");
        safe.access = QStringLiteral("rcud");
        safe.rootFolderId = QStringLiteral("root-S1");
        safe.roleType = 2;
        dao.add(safe);

        QString found;
        auto measure = [&found](QWidget* window, const QSize& keep = QSize()) {
            settle(window, keep);
            QList<FitCheck::Finding> findings = FitCheck().check(window);
            if (keep.isValid())
                findings += FitCheck::checkSize(window, keep);
            found = listed(findings);
        };
        if (view == QLatin1String("log")) {
            QDir().mkpath(QFileInfo(info.logPath).path());
            QFile log(info.logPath);
            QVERIFY(log.open(QIODevice::WriteOnly));
            log.write("[2026-12-07 01:00:00] 4711 INFO  Syncher::run: step 1\n");
            log.close();
            auto* dialog = new LogDialog;
            dialog->setAttribute(Qt::WA_DeleteOnClose, false);
            std::unique_ptr<LogDialog> owner(dialog);
            dialog->resize(656, 249);
            dialog->show();
            dialog->loadFile(info.logPath);
            measure(dialog);
        } else if (view == QLatin1String("remote folder")) {
            FilesafeRI ri(&info, R7Session::instance());
            RemoteFolderDialog dialog(&ri, safe);
            measure(&dialog);
        } else if (view == QLatin1String("folders")) {
            // A path of its own, not the test's random home: the details pane is as wide as its words.
            SyncSetting setting;
            setting.setSafeId(safe.safeId);
            setting.setLocalDir(QStringLiteral("/home/alice.example/Tessarvale/Team Projects"));
            setting.setRemoteDir(QStringLiteral("/Reports"));
            setting.setRootFolderId(QStringLiteral("root"));
            SyncSettingsDao::instance()->add(setting);
            QSettings().setValue(QStringLiteral("app/show_pwd_safe"), false);
            FileSafeWindow main(&info, &dao, this);
            MainWindow& window = main.window;
            auto* fileSafe = main.show(1);
            auto* folders = fileSafe->findChild<FileSyncSettingsView*>();
            QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
            QApplication::sendEvent(folders, &shift);
            measure(&window, QSize(800, 600));
            window.on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
        } else if (view == QLatin1String("storage")) {
            WizardView wizard(&dao, &info);
            wizard.reloadFileSafes();
            auto* pages = wizard.findChild<QStackedWidget*>(QStringLiteral("wizViewStack"));
            QVERIFY(pages && pages->count() > 1);
            pages->setCurrentIndex(1);
            measure(&wizard, QSize(800, 574));
        } else if (view == QLatin1String("folder chooser")) {
            QFileDialog dialog(nullptr, QStringLiteral("Folder"), m_env->home());
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setFileMode(QFileDialog::Directory);
            settle(&dialog);
            // Only its buttons: the toolkit sizes its own file list's columns.
            QList<FitCheck::Finding> buttons;
            for (const FitCheck::Finding& finding : FitCheck().check(&dialog)) {
                if (finding.widget.startsWith(QLatin1String("QToolButton")))
                    buttons << finding;
            }
            found = listed(buttons);
        }
        for (BrandingTranslator* translator : {translators.program, translators.framework}) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QVERIFY2(found.isEmpty(), qPrintable(found));
    }

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
};

QTEST_MAIN(TestDesktopFit)
#include "tst_desktopfit.moc"
