// Renders every window view with fixture data to PNG files, for each brand in English and German,
// so that a person can look at all of them at once:
//   tessarvale_gallery <output dir>                                     every combination, one process each
//   tessarvale_gallery <output dir> <brand> <language> [120dpi|12pt]    one combination
//   tessarvale_gallery --wizard-pictures <source dir>/res/wizard          the wizard's pictures of the views
// Each combination is drawn at the session's font, on a desktop of 120 dpi and with a desktop font of
// 12 pt (pictures under <output dir>/120dpi and <output dir>/12pt), each language with its locale.
// Exits with 1 when a view logs a warning, shows a text a person cannot read (ContrastCheck) or a
// state a person cannot tell (StateCheck), or does not fit where it is shown (FitCheck).
#include "ContrastCheck.h"
#include "FitCheck.h"
#include "StateCheck.h"
#include "core/AppInfo.h"
#include "core/R7Application.h"
#include "core/SorelStyle.h"
#include "core/Style.h"
#include "core/TamselStyle.h"
#include "core/VarnelStyle.h"
#include "db/FileSafeDao.h"
#include "db/R7Database.h"
#include "db/SettingsStorage.h"
#include "db/SyncHistoryDao.h"
#include "db/SyncSettingsDao.h"
#include "db/UserDao.h"
#include "net/FilesafeRI.h"
#include "net/IPasswordRI.h"
#include "net/LoginRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "passwords/CreateViewEditPasswordDialog.h"
#include "passwords/PasswordController.h"
#include "passwords/PasswordsView.h"
#include "passwords/SuggestPasswordDialog.h"
#include "sync/MultiSyncher.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncAction.h"
#include "ui/AboutDialog.h"
#include "ui/CrashReportDialog.h"
#include "ui/DebugDialog.h"
#include "ui/LogDialog.h"
#include "ui/LoginView.h"
#include "ui/MainSettingsView.h"
#include "ui/MainTab.h"
#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "ui/NewFileSafeAvailableDialog.h"
#include "ui/ProxyAuthDialog.h"
#include "ui/QuotaExceededDialog.h"
#include "ui/SessionTerminatedDialog.h"
#include "ui/StatusAction.h"
#include "ui/StatusBarView.h"
#include "ui/UpgradeClientDialog.h"
#include "ui/WizardView.h"
#include "ui/filesafe/ActivityStatusView.h"
#include "ui/filesafe/AddSettingView.h"
#include "ui/filesafe/AdvancedStorageLocationView.h"
#include "ui/filesafe/FileSyncSettingsView.h"
#include "ui/filesafe/MainFileSafeView.h"
#include "ui/filesafe/RemoteFolderDialog.h"
#include "ui/filesafe/SettingsSyncSettingView.h"
#include "ui/filesafe/SyncHistoryView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QNetworkProxy>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

// The main window as a new desktop first shows it, its page beside the status bar and a tab beside
// the tab list: no page or tab may widen it.
const QSize kWindowSize(800, 600);
const QSize kMainPageSize(800, 574);
const QSize kTabSize(594, 574);

// Where the wizard's pictures of the client's own views go; empty while the gallery draws.
QString g_wizardPictures;

int g_warnings = 0;
// The gallery runs without a service: while set, the failure of a view's own request is expected.
bool g_offlineRequests = false;
// The one warning a view may log: only some brands' colour tables give the combo boxes a text colour;
// the others keep the desktop's, and the style says so once.
QString g_expectedWarning;
QtMessageHandler g_previous = nullptr;

Style::Variables brandVariables(const QString& brand)
{
    if (brand == QLatin1String("varnel"))
        return VarnelStyle().variables();
    if (brand == QLatin1String("sorel"))
        return SorelStyle().variables();
    if (brand == QLatin1String("tamsel"))
        return TamselStyle().variables();
    return Style::Variables();
}

// Lines the platform writes that say nothing about our views.
bool isPlatformNoise(const QString& msg)
{
    if (g_offlineRequests && (msg.startsWith(QLatin1String("Network error:")) || msg.startsWith(QLatin1String("Request '"))))
        return true;
    // Without a window manager the X server refuses focus and state changes of windows it just mapped.
    return msg.startsWith(QLatin1String("QStandardPaths:")) || msg.contains(QLatin1String("propagateSizeHints")) ||
           msg.startsWith(QLatin1String("QXcbConnection: XCB error")) ||
           msg.contains(QLatin1String("setNetWmStateOnUnmappedWindow")) ||
           msg.startsWith(QLatin1String("This plugin does not support"));
}

void countWarnings(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    if (type != QtDebugMsg && type != QtInfoMsg && !isPlatformNoise(msg) && msg != g_expectedWarning) {
        ++g_warnings;
        std::fprintf(stderr, "gallery: %s\n", qPrintable(msg));
    }
    if (type == QtFatalMsg && g_previous)
        g_previous(type, context, msg);
}

// Layout requests travel up one level per round of posted events.
void settle(int rounds = 10)
{
    for (int i = 0; i < rounds; ++i) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

class Gallery
{
public:
    Gallery(const QString& dir, const QString& prefix, const QString& font, const QColor& disabledButtonFace)
        : m_dir(dir)
        , m_prefix(prefix)
        , m_font(font)
        , m_check(disabledButtonFace)
    {
    }

    // Without a size a window shows at the size its form gives it, as on the desktop. keepSize: the
    // window must stay at that size, as the main window does whatever page or tab it shows.
    void shoot(QWidget* widget, const QString& name, QSize size = QSize(), bool keepSize = false)
    {
        if (size.isValid())
            widget->resize(size);
        else if (!widget->testAttribute(Qt::WA_Resized))
            widget->adjustSize();
        widget->show();
        settle();
        // A window that grows to its minimum size has its new size once the display confirms it, which
        // on a busy machine takes longer than a few rounds of events.
        QElapsedTimer waited;
        waited.start();
        while (widget->size() != widget->size().expandedTo(widget->minimumSize()) && waited.elapsed() < 3000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        settle();
        const QString path = m_dir + QLatin1Char('/') + m_prefix + QLatin1Char('_') + name + QStringLiteral(".png");
        if (!widget->grab().save(path)) {
            std::fprintf(stderr, "gallery: cannot write %s\n", qPrintable(path));
            ++g_warnings;
        }
        // The fit first: the other checks change controls for a moment.
        QList<FitCheck::Finding> misfits = m_fit.check(widget);
        if (keepSize)
            misfits += FitCheck::checkSize(widget, size);
        for (const FitCheck::Finding& finding : misfits)
            report(name, finding.widget, finding.problem);
        const QList<ContrastCheck::Finding> findings = m_check.check(widget) + StateCheck().check(widget);
        for (const ContrastCheck::Finding& finding : findings)
            report(name, finding.widget, finding.problem);
        widget->hide();
    }

private:
    void report(const QString& name, const QString& widget, const QString& problem)
    {
        // The pictures of a larger font lie in a folder of their own.
        std::fprintf(stderr, "gallery: %s%s%s_%s: %s: %s\n", qPrintable(m_font), m_font.isEmpty() ? "" : "/",
                     qPrintable(m_prefix), qPrintable(name), qPrintable(widget), qPrintable(problem));
        ++g_warnings;
    }

    QString m_dir;
    QString m_prefix;
    QString m_font;
    ContrastCheck m_check;
    FitCheck m_fit;
};

// The password list a signed-in account would load; nothing else of the password resource is asked
// for while the gallery shoots, and anything that is gets the offline answer.
class FixturePasswords final : public IPasswordRI
{
public:
    void getPasswords(ResultCallback<EmptyPasswordsTO> callback) override
    {
        const QByteArray json = R"({"passwordsMax": 25, "passwords": [
            {"id": "101", "title": "Bank", "username": "j.doe", "url": "https://bank.example", "comment": ""},
            {"id": "102", "title": "Mail", "username": "jane@mail.example", "url": "https://mail.example",
             "comment": "Recovery codes are in the safe at home"},
            {"id": "103", "title": "Wi-Fi Büro", "username": "", "url": "", "comment": "WPA2, Gäste-Netz"},
            {"id": "104", "title": "Router", "username": "admin", "url": "http://192.168.1.1", "comment": ""}]})";
        EmptyPasswordsTO list;
        QString error;
        if (!list.fromJson(QJsonDocument::fromJson(json).object(), error))
            qWarning("gallery: bad password fixture: %s", qPrintable(error));
        callback(Result<EmptyPasswordsTO>(list));
    }
    void getSinglePassword(qint64, ResultCallback<SinglePasswordTO> callback) override { callback(offline<SinglePasswordTO>()); }
    void createPassword(PasswordTO, ResultCallback<EmptyPasswordTO> callback) override { callback(offline<EmptyPasswordTO>()); }
    void checkBreached(SinglePasswordTO, ResultCallback<QList<qint64>> callback) override { callback(offline<QList<qint64>>()); }
    void deletePassword(QString, ResultCallback<Nothing> callback) override { callback(offline<Nothing>()); }
    void updatePassword(PasswordTO, ResultCallback<EmptyPasswordTO> callback) override { callback(offline<EmptyPasswordTO>()); }

private:
    template<typename T>
    static Result<T> offline()
    {
        return Result<T>(EC_NETWORK, QStringLiteral("the gallery has no service"));
    }
};

ProgressInfo* progress(int activity, int done, int total)
{
    auto* pi = new ProgressInfo;
    pi->activity = activity;
    pi->nDone = done;
    pi->nTotal = total;
    pi->safeName = QStringLiteral("Team Projects");
    pi->safeType = QStringLiteral("TEAMSAFE");
    pi->actionType = SyncAction::DownloadFile;
    pi->actionName = QStringLiteral("download");
    pi->name = QStringLiteral("quarterly-report.pdf");
    pi->bytesDone = 3456789;
    pi->bytesTotal = 23456789;
    return pi;
}

FilesafeTO_v2 fixtureSafe(const char* id, const char* name, const char* type, const char* access)
{
    FilesafeTO_v2 safe;
    safe.safeId = QLatin1String(id);
    safe.name = QString::fromUtf8(name);
    safe.type = QLatin1String(type);
    safe.access = QLatin1String(access);
    safe.rootFolderId = QStringLiteral("root-") + safe.safeId;
    safe.roleType = 2;
    return safe;
}

// A signed-in user with three safes, two synchronised folders (one of them gone from the disk)
// and a busy run of today in the history.
QList<FilesafeTO_v2> seedFileSafeFixtures(AppInfo* info, const QString& home)
{
    info->databasePath = home + QStringLiteral("/client.db3");
    R7Database::instance()->init(info);
    // An address no request can reach: the gallery has no service.
    R7Session::instance()->setServer(ServerInfo(QStringLiteral("eu"), QStringLiteral("Europe"), QStringLiteral("Europe"),
                                                QStringLiteral("offline://gallery.invalid:1"), false));
    R7Session::instance()->setUser(UserDao::instance()->storeLogin(QStringLiteral("gallery.user"), QStringLiteral("eu")));
    const QList<FilesafeTO_v2> safes{fixtureSafe("S1", "Team Projects", "TEAMSAFE", "rcud"),
                                     fixtureSafe("S2", "Private", "PRIVATE", "rcud"),
                                     fixtureSafe("S3", "Inbox", "INBOX", "r")};
    FileSafeDao dao(info, nullptr);
    for (const FilesafeTO_v2& safe : safes)
        dao.add(safe);
    const QString base = home + QStringLiteral("/Tessarvale");
    QDir().mkpath(base + QStringLiteral("/Team Projects"));
    const struct {
        const char* id;
        QString dir;
        const char* remote;
        int mode;
    } settings[] = {{"S1", base + QStringLiteral("/Team Projects"), "/Reports", 0},
                    {"S2", base + QStringLiteral("/Private"), "/", 1}};
    for (const auto& entry : settings) {
        SyncSetting setting;
        setting.setSafeId(QLatin1String(entry.id));
        setting.setLocalDir(entry.dir);
        setting.setRemoteDir(QLatin1String(entry.remote));
        setting.setRootFolderId(QStringLiteral("root"));
        setting.setMode(entry.mode);
        SyncSettingsDao::instance()->add(setting);
    }
    const SyncHistory run = SyncHistoryDao::instance()->startSync();
    const struct {
        int type;
        const char* name;
        int status;
    } actions[] = {{SyncAction::UploadFile, "budget.xlsx", SyncAction::ERR_FILE_NOT_READABLE},
                   {SyncAction::DownloadFile, "quarterly-report.pdf", SyncAction::STATUS_OK},
                   {SyncAction::UploadFile, "minutes 2026-12-01.docx", SyncAction::STATUS_OK},
                   {SyncAction::UploadFile, "~$lock.docx", SyncAction::WARN_EXCLUDED_BY_NAME},
                   {SyncAction::UploadFile, "video.mp4", SyncAction::ERR_QUOTA_EXCEEDED},
                   {SyncAction::CreateLocalDir, "Drafts", SyncAction::STATUS_OK}};
    for (const auto& entry : actions) {
        SyncAction action;
        action.setAction(entry.type);
        action.setLocalBase(base + QStringLiteral("/Team Projects"));
        action.setRemoteSafeName(QStringLiteral("Team Projects"));
        action.setName(QString::fromUtf8(entry.name));
        action.setExecuted(entry.status, QString());
        SyncHistoryDao::instance()->storeSyncHistoryObject(&action, run.id());
    }
    // A busy day: rows enough to scroll, among them the longest action's; the wizard's picture shows
    // the head of a quiet one.
    for (int i = 0; i < (g_wizardPictures.isEmpty() ? 24 : 0); ++i) {
        SyncAction action;
        action.setAction(i == 0 ? SyncAction::BackupDownloadFile : SyncAction::UploadFile);
        action.setLocalBase(base + QStringLiteral("/Team Projects"));
        action.setRemoteSafeName(QStringLiteral("Team Projects"));
        action.setName(QStringLiteral("Invoices/2026/invoice-%1.pdf").arg(i + 1, 3, 10, QLatin1Char('0')));
        action.setExecuted(SyncAction::STATUS_OK, QString());
        SyncHistoryDao::instance()->storeSyncHistoryObject(&action, run.id());
    }
    SyncHistoryDao::instance()->finishSync(run.id());
    return safes;
}

// The wizard's pictures of the client's own views: the maker's brand in English, with the fixture's
// safes and passwords, cut to what the wizard's texts speak of and small enough for its pages.
bool savePicture(const QImage& image, const QString& name)
{
    const QString path = g_wizardPictures + QLatin1Char('/') + name;
    if (image.save(path))
        return true;
    std::fprintf(stderr, "gallery: cannot write %s\n", qPrintable(path));
    return false;
}

// A part of the laid-out view, reduced to the height the wizard's page has room for.
QImage settled(QWidget* widget, const QSize& size, const QRect& part, int height)
{
    widget->resize(size);
    widget->show();
    settle(5);
    const QImage image = widget->grab(part).toImage();
    widget->hide();
    return image.scaledToHeight(height, Qt::SmoothTransformation);
}

// The tray icon among a desktop panel's status signs, pointed at.
QImage trayInPanel()
{
    QImage image(236, 28, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x2b, 0x2b));
    p.drawRoundedRect(QRectF(0, 0, 236, 28), 4, 4);
    const QColor sign(0xe0, 0xe0, 0xe0);
    p.setPen(QPen(sign, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int r = 3; r <= 9; r += 3)
        p.drawArc(QRectF(22 - r, 19 - r, 2 * r, 2 * r), 50 * 16, 80 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(sign);
    p.drawPolygon(QPolygonF(
            {QPointF(40, 11), QPointF(44, 11), QPointF(49, 7), QPointF(49, 21), QPointF(44, 17), QPointF(40, 17)}));
    p.setPen(QPen(sign, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(62, 9, 16, 10), 2, 2);
    p.fillRect(QRectF(64, 11, 10, 6), sign);
    p.fillRect(QRectF(78, 12, 2, 4), sign);
    // The client's icon, as when the pointer rests on it.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x55, 0x55, 0x55));
    p.drawRoundedRect(QRectF(94, 2, 26, 24), 4, 4);
    p.drawPixmap(QRect(97, 4, 20, 20), QPixmap(QStringLiteral(":/res/tray/idle.png")));
    QFont clock = p.font();
    clock.setPixelSize(13);
    clock.setBold(true);
    p.setFont(clock);
    p.setPen(sign);
    p.drawText(QRectF(130, 0, 96, 28), Qt::AlignCenter, QStringLiteral("10:42"));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(110, 10), QPointF(110, 24), QPointF(113.5, 21), QPointF(116, 26.5),
                             QPointF(118.5, 25.5), QPointF(116, 20), QPointF(120.5, 20)}));
    return image;
}

int renderWizardPictures(AppInfo* info, PasswordController* controller, SettingsStorage* storage, const QString& home)
{
    // Both folders of the fixture on the disk: the picture shows a well-kept list.
    QDir().mkpath(home + QStringLiteral("/Tessarvale/Private"));
    bool ok = savePicture(trayInPanel(), QStringLiteral("wiz_page3_menubar_icon.png"));
    {
        MultiSyncher syncher(nullptr, nullptr);
        MainFileSafeView fileSafe(info, &syncher, nullptr);
        // The head of the list of synchronised folders, and of the history.
        fileSafe.setCurrentTab(1);
        ok &= savePicture(settled(&fileSafe, QSize(900, 480), QRect(30, 70, 450, 88), 46),
                          QStringLiteral("wiz_page3_tab_settings.png"));
        fileSafe.setCurrentTab(0);
        ok &= savePicture(settled(&fileSafe, QSize(900, 480), QRect(15, 100, 870, 55), 38),
                          QStringLiteral("wiz_page3_tab_activity.png"));
    }
    {
        QSettings().setValue(QStringLiteral("app/show_pwd_safe"), true);
        MainView main(info, controller, nullptr, storage);
        main.selectTab(MainView::MAIN_TAB_PASSWORDS);
        main.findChild<PasswordsView*>()->requestPasswords();
        ok &= savePicture(settled(&main, QSize(890, 400), QRect(210, 52, 600, 88), 60),
                          QStringLiteral("wiz_page4_pwdsafe_view.png"));
    }
    return ok ? 0 : 1;
}

// font: the larger desktop font the combination is drawn with, empty for the session's.
int renderAll(const QString& dir, const QString& brand, const QString& language, const QString& font)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    // The client runs in the home folder; relative proposals (new file safes) start there.
    QDir::setCurrent(home.path());
    AppInfo info = AppInfo::forThisBuild();
    info.brandKey = brand;
    // Where a desktop keeps the log: the log dialog shows the whole path.
    info.logDirectory =
            QStringLiteral("%1/.cache/%2/%3")
                    .arg(home.path(), QString::fromUtf8(info.organizationName), QString::fromUtf8(info.appName));
    info.logFileName = QString::fromUtf8(info.appName) + QStringLiteral(".log");
    info.logPath = info.logDirectory + QLatin1Char('/') + info.logFileName;
    QDir().mkpath(info.logDirectory);
    QCoreApplication::setOrganizationName(QString::fromLatin1(info.organizationName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(info.organizationDomain));
    QCoreApplication::setApplicationName(QStringLiteral("tessarvale-gallery"));
    QSettings().setValue(QStringLiteral("ui/language"), language);
    AppInfo::publish(&info);
    const Style::Variables variables = brandVariables(brand);
    if (!variables.contains(QStringLiteral("COMBO_TEXT_COLOR")))
        g_expectedWarning = QStringLiteral("Unable to find expansion for 'COMBO_TEXT_COLOR'");
    // Before the style: a sheet that names a colour its brand lacks fails the gallery.
    g_previous = qInstallMessageHandler(countWarnings);
    R7Application::initTranslations(&info);
    applyBrandStyle(qApp, &info);

    const QList<FilesafeTO_v2> safes = seedFileSafeFixtures(&info, home.path());
    Gallery gallery(dir, brand + QLatin1Char('_') + language, font,
                    QColor(variables.value(QStringLiteral("BUTTON_DISABLED_BGCOLOR"))));
    QSettings settings;
    auto* storage = new SettingsStorage(new QSettings(qApp), qApp);
    FixturePasswords passwords;
    PasswordController controller(R7Session::instance(), &passwords);
    ServerList servers(info);
    UserCredUtil creds(&info);
    if (!g_wizardPictures.isEmpty())
        return renderWizardPictures(&info, &controller, storage, home.path());

    {
        LoginView login(&info, &creds, &servers, nullptr);
        gallery.shoot(&login, QStringLiteral("login"), QSize(479, 620));
        login.on_toggleExtendedLoginOptions(true);
        login.on_loginFailed(EC_ACCOUNT_LOCKED, QString());
        gallery.shoot(&login, QStringLiteral("login_failed"), QSize(479, 620));
        login.on_smsCodeRequired(QStringLiteral("R-4711"), false);
        gallery.shoot(&login, QStringLiteral("login_sms"), QSize(479, 620));
        login.on_loginProgress(ILoginRI::STEP_CALCULATING_KEYS);
        gallery.shoot(&login, QStringLiteral("login_progress"), QSize(479, 620));
    }
    {
        FileSafeDao dao(&info, nullptr);
        LoginRI loginRI(&creds, &info, R7Session::instance());
        MultiSyncher syncher(nullptr, nullptr);
        MainWindow window(&dao, &info, &creds, &controller, &syncher, storage, R7Session::instance(), &loginRI,
                          &servers);
        gallery.shoot(&window, QStringLiteral("main_login"), kWindowSize, true);
        settings.setValue(QStringLiteral("app/show_pwd_safe"), false);
        window.on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
        MainView* main = window.mainView();
        main->selectTab(MainView::MAIN_TAB_SETTINGS);
        main->findChild<MainTab*>(QStringLiteral("fileSafeTab"))->on_attentionChanged(2);
        gallery.shoot(&window, QStringLiteral("main_settings"), kWindowSize, true);
        main->selectTab(MainView::MAIN_TAB_FILESAFE);
        auto* fileSafe = main->findChild<MainFileSafeView*>();
        fileSafe->setCurrentTab(0);
        gallery.shoot(&window, QStringLiteral("main_filesafe"), kWindowSize, true);
        fileSafe->historyView()->findChild<QComboBox*>(QStringLiteral("selectFilterComboBox"))->setCurrentIndex(3);
        gallery.shoot(&window, QStringLiteral("main_activity_range"), kWindowSize, true);
        fileSafe->setCurrentTab(1);
        gallery.shoot(&window, QStringLiteral("main_folders"), kWindowSize, true);
        // The remove-all button shows while Shift is held.
        auto* folders = fileSafe->findChild<FileSyncSettingsView*>();
        QKeyEvent shiftDown(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
        QApplication::sendEvent(folders, &shiftDown);
        gallery.shoot(&window, QStringLiteral("main_folders_remove_all"), kWindowSize, true);
        QKeyEvent shiftUp(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
        QApplication::sendEvent(folders, &shiftUp);

        window.on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        settings.setValue(QStringLiteral("app/show_pwd_safe"), true);
        window.on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
        main = window.mainView();
        main->selectTab(MainView::MAIN_TAB_PASSWORDS);
        auto* page = main->findChild<PasswordsView*>();
        page->requestPasswords();
        gallery.shoot(&window, QStringLiteral("main_passwords"), kWindowSize, true);
        page->lockImmediate();
        gallery.shoot(&window, QStringLiteral("main_passwords_locked"), kWindowSize, true);
        controller.setLocked(false);
        window.on_appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    {
        const struct {
            int mode;
            const char* name;
        } modes[] = {{PasswordViewModel::Add, "password_add"},
                     {PasswordViewModel::View, "password_view"},
                     {PasswordViewModel::Edit, "password_edit"}};
        for (const auto& entry : modes) {
            auto model = entry.mode == PasswordViewModel::Add
                    ? QSharedPointer<PasswordViewModel>::create()
                    : QSharedPointer<PasswordViewModel>::create(
                              QStringLiteral("Mail"), QStringLiteral("Tr0ub4dor&3-horse"),
                              QStringLiteral("https://mail.example"), QStringLiteral("jane@mail.example"),
                              QStringLiteral("Recovery codes are in the safe at home"));
            // An entry is edited from its view, as the password page opens it.
            model->setMode(entry.mode == PasswordViewModel::Edit ? int(PasswordViewModel::View) : entry.mode);
            CreateViewEditPasswordDialog dialog(&controller, model);
            if (entry.mode == PasswordViewModel::Edit) {
                dialog.show();
                QApplication::processEvents();
                dialog.findChild<QPushButton*>(QStringLiteral("editButton"))->click();
            }
            // The secret in clear only where the user asks for it: while editing.
            dialog.findChild<QCheckBox*>(QStringLiteral("showPwdCheckBox"))->setChecked(entry.mode == PasswordViewModel::Edit);
            gallery.shoot(&dialog, QLatin1String(entry.name));
        }
        SuggestPasswordDialog suggest;
        gallery.shoot(&suggest, QStringLiteral("suggest_memorizable"));
        suggest.findChild<QComboBox*>(QStringLiteral("typeComboBox"))->setCurrentIndex(1);
        gallery.shoot(&suggest, QStringLiteral("suggest_random"));
    }
    {
        StatusBarView bar;
        bar.on_appModeChanged(R7Application::APP_MODE_DEBUG);
        bar.on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
        QScopedPointer<ProgressInfo> pi(progress(ProgressInfo::Activity_GetRemoteObjects_Started, 0, 0));
        bar.on_syncProgress(true, *pi);
        pi.reset(progress(ProgressInfo::Activity_ProcessSyncActions_Progress, 2, 3));
        bar.on_syncProgress(true, *pi);
        // The main window's status bar: at the window's first width whatever it shows.
        gallery.shoot(&bar, QStringLiteral("statusbar"), QSize(799, 26), true);

        QMenu menu;
        StatusAction action(&menu);
        menu.addAction(&action);
        menu.addSeparator();
        menu.addAction(R7Application::quitActionText());
        pi.reset(progress(ProgressInfo::Activity_GetRemoteObjects_Started, 0, 0));
        action.on_syncProgress(true, *pi);
        pi.reset(progress(ProgressInfo::Activity_ProcessSyncActions_Progress, 1, 3));
        action.on_syncProgress(true, *pi);
        action.flush();
        gallery.shoot(&menu, QStringLiteral("tray_entry"));
    }
    {
        FileSafeDao dao(&info, nullptr);
        WizardView wizard(&dao, &info);
        wizard.reloadFileSafes();
        auto* pages = wizard.findChild<QStackedWidget*>(QStringLiteral("wizViewStack"));
        for (int page = 0; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            gallery.shoot(&wizard, QStringLiteral("wizard_%1").arg(page + 1), kMainPageSize, true);
        }
    }
    {
        MultiSyncher syncher(nullptr, nullptr);
        MainFileSafeView fileSafe(&info, &syncher, nullptr);
        fileSafe.setCurrentTab(0);
        ProgressInfo transfer;
        transfer.activity = ProgressInfo::Activity_ProcessSyncActions_Progress;
        transfer.actionType = SyncAction::DownloadFile;
        transfer.nDone = 5;
        transfer.nTotal = 9;
        transfer.bytesDone = qint64(3) << 30;
        transfer.bytesTotal = qint64(5) << 30;
        transfer.safeName = QStringLiteral("Team Projects");
        transfer.localBase = home.path() + QStringLiteral("/Tessarvale/Team Projects");
        transfer.name = QStringLiteral("archive-2026.tar");
        fileSafe.historyView()->on_syncProgress(true, transfer);
        gallery.shoot(&fileSafe, QStringLiteral("filesafe_activity"), kTabSize, true);
        // The foot of the list: the status cells' help buttons on a plain, an alternate and a selected
        // row. The table lets no row be selected, yet its style gives a selection colour: the buttons
        // must read on it too.
        auto* history = fileSafe.historyView()->findChild<QTableView*>(QStringLiteral("historyTableView"));
        history->scrollToBottom();
        history->setSelectionMode(QAbstractItemView::SingleSelection);
        history->selectRow(history->model()->rowCount() - 1);
        gallery.shoot(&fileSafe, QStringLiteral("filesafe_activity_statuses"), kTabSize, true);
        history->clearSelection();
        history->setSelectionMode(QAbstractItemView::NoSelection);
        fileSafe.setCurrentTab(1);
        SyncSetting running;
        running.setId(1);
        emit syncher.startSyncSafe(running);
        emit syncher.syncProgress(true, transfer);
        QApplication::processEvents();
        gallery.shoot(&fileSafe, QStringLiteral("filesafe_folders"), kTabSize, true);
        emit syncher.syncCanceled();
        // A question box of the product, shot while it waits for its answer and then answered No.
        bool asked = false;
        QTimer::singleShot(0, [&gallery, &asked] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = true;
                gallery.shoot(box, QStringLiteral("question"));
                box->done(QMessageBox::No);
            }
        });
        fileSafe.findChild<FileSyncSettingsView*>()->on_removeAllButton_clicked();
        if (!asked) {
            std::fprintf(stderr, "gallery: the question box did not appear\n");
            ++g_warnings;
        }
    }
    {
        g_offlineRequests = true;
        FilesafeRI ri(&info, R7Session::instance());
        FileSafeDao dao(&info, &ri);
        AddSettingView add(&dao, &info, &ri);
        add.on_getFilesafes();
        gallery.shoot(&add, QStringLiteral("add_setting_safes"), QSize(582, 392));
        auto* table = add.findChild<QTableView*>(QStringLiteral("tableView"));
        table->setCurrentIndex(table->model()->index(0, 0));
        add.on_tableView_doubleClicked(table->model()->index(0, 0));
        gallery.shoot(&add, QStringLiteral("add_setting_folder"), QSize(582, 392));

        FilesafeObjectsTO_v2 folders;
        for (const char* path : {"/Reports", "/Reports/2026", "/Drafts", "/Archive"}) {
            FilesafeObject folder;
            folder.path = QLatin1String(path);
            folder.type = QStringLiteral("d");
            folder.objectId = QLatin1String(path);
            folders.filesafeObjects << folder;
        }
        RemoteFolderDialog remote(&ri, safes.first());
        remote.setFolders(folders);
        gallery.shoot(&remote, QStringLiteral("remote_folder"));
        for (int i = 0; i < 20; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        g_offlineRequests = false;
    }
    {
        NewFileSafeAvailableDialog newSafes(&info);
        newSafes.setFileSafes({fixtureSafe("S4", "Design Team", "TEAMSAFE", "rcud"),
                               fixtureSafe("S5", "Mail-in", "MAIL_IN", "c")});
        gallery.shoot(&newSafes, QStringLiteral("new_filesafe"), QSize(624, 327));
    }
    {
        QFile log(info.logPath);
        if (log.open(QIODevice::WriteOnly | QIODevice::Text)) {
            QTextStream out(&log);
            for (int i = 1; i <= 40; ++i)
                out << QStringLiteral("[2026-12-07 01:00:%1] 4711 INFO  Syncher::run: step %2\n").arg(i % 60, 2, 10, QLatin1Char('0')).arg(i);
        }
        log.close();
        LogDialog* dialog = LogDialog::instance();
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        dialog->loadFile(info.logPath);
        gallery.shoot(dialog, QStringLiteral("log"), QSize(656, 249));
        delete dialog;
    }
    {
        DebugDialog debug(&info, &servers, R7Session::instance());
        // As its constructor sizes it: the content scrolls below 300 px.
        gallery.shoot(&debug, QStringLiteral("debug"));
        gallery.shoot(AboutDialog::instance(), QStringLiteral("about"));
    }
    {
        // Sized to their texts, as the application opens them.
        QuotaExceededDialog quota;
        quota.setText(R7Application::quotaExceededText(QStringLiteral("Team Projects")));
        quota.adjustSize();
        gallery.shoot(&quota, QStringLiteral("quota"));
        SessionTerminatedDialog session;
        session.setWindowTitle(R7Application::sessionTerminatedTitle());
        session.setText(R7Application::sessionTerminatedText());
        session.adjustSize();
        gallery.shoot(&session, QStringLiteral("session"));
        UpgradeClientDialog upgrade;
        upgrade.setText(R7Application::upgradeNoticeText(QStringLiteral("2.3.0"), false));
        upgrade.adjustSize();
        gallery.shoot(&upgrade, QStringLiteral("upgrade"));
        CrashReportDialog crash;
        gallery.shoot(&crash, QStringLiteral("crash"));
        ProxyAuthDialog proxy;
        proxy.setText(R7Application::proxyAuthenticationText(
                QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("proxy.example"), 3128)));
        gallery.shoot(&proxy, QStringLiteral("proxy"));
    }
    qInstallMessageHandler(g_previous);
    return g_warnings == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // A desktop of 120 dpi: Qt reads the setting when the application starts.
    if (argc >= 5 && qstrcmp(argv[4], "120dpi") == 0)
        qputenv("QT_FONT_DPI", "120");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: tessarvale_gallery <output dir> [<brand> <language> [120dpi|12pt]]\n");
        return 2;
    }
    if (args.size() == 3 && args.at(1) == QLatin1String("--wizard-pictures")) {
        g_wizardPictures = QDir(args.at(2)).absolutePath();
        return renderAll(QString(), QStringLiteral("varnel"), QStringLiteral("en"), QString());
    }
    // Absolute: each view is drawn from the fixture's home folder.
    const QString dir = QDir(args.at(1)).absolutePath();
    QDir().mkpath(dir);
    if (args.size() >= 4) {
        // A desktop's font, 9 pt as in the test session or 12 pt, whatever the platform (offscreen has 12 pt).
        const QString font = args.value(4);
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), font == QLatin1String("12pt") ? 12 : 9));
        const QString out = font.isEmpty() ? dir : dir + QLatin1Char('/') + font;
        QDir().mkpath(out);
        return renderAll(out, args.at(2), args.at(3), font);
    }

    int failed = 0;
    for (const char* brand : {"varnel", "sorel", "tamsel"}) {
        for (const char* language : {"en", "de"}) {
            // The session's font, a desktop of 120 dpi and a desktop font of 12 pt, side by side: a size
            // that fits only the first cuts texts.
            QList<QProcess*> runs;
            for (const char* font : {"", "120dpi", "12pt"}) {
                auto* one = new QProcess(&app);
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                // Dates and numbers as a desktop in that language writes them.
                env.insert(QStringLiteral("LANG"), QLatin1String(language) == QLatin1String("de")
                                                           ? QStringLiteral("de_DE.UTF-8")
                                                           : QStringLiteral("en_US.UTF-8"));
                one->setProcessEnvironment(env);
                one->setProcessChannelMode(QProcess::ForwardedChannels);
                QStringList childArgs{dir, QLatin1String(brand), QLatin1String(language)};
                if (*font)
                    childArgs << QLatin1String(font);
                one->setObjectName(childArgs.mid(1).join(QLatin1Char(' ')));
                one->start(QCoreApplication::applicationFilePath(), childArgs);
                runs << one;
            }
            for (QProcess* one : runs) {
                if (!one->waitForFinished(120000) || one->exitStatus() != QProcess::NormalExit ||
                    one->exitCode() != 0) {
                    std::fprintf(stderr, "gallery: %s failed\n", qPrintable(one->objectName()));
                    ++failed;
                }
                delete one;
            }
        }
    }
    return failed == 0 ? 0 : 1;
}
