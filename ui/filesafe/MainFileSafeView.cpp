#include "ui/filesafe/MainFileSafeView.h"
#include "ui_MainFileSafeView.h"

#include "db/Storage.h"

#include <QLabel>

namespace {

const char* const kTab = "TAB";
const QString kPad = QStringLiteral("      ");

} // namespace

MainFileSafeView::MainFileSafeView(AppInfo* appInfo, MultiSyncher* multiSyncher, Storage* storage, QWidget* parent)
    : QFrame(parent), ui(new Ui::MainFileSafeView), m_storage(storage)
{
    Q_UNUSED(appInfo)
    Q_UNUSED(multiSyncher)
    ui->setupUi(this);

    // The activity history and the folder list take these places when they are built.
    auto* activity = new QLabel(QStringLiteral("[Activity]"));
    activity->setAlignment(Qt::AlignCenter);
    activity->setObjectName(QStringLiteral("dummyActivityLabel"));
    auto* folders = new QLabel(QStringLiteral("[Synchronized Folders]"));
    folders->setAlignment(Qt::AlignCenter);
    folders->setObjectName(QStringLiteral("dummyFoldersLabel"));
    ui->tabWidget->addTab(activity, kPad + tr("Activity") + kPad);
    ui->tabWidget->addTab(folders, kPad + tr("Synchronized Folders") + kPad);

    setFocusPolicy(Qt::NoFocus);
    if (R7Application* app = R7Application::instance())
        connect(app, &R7Application::appStateChanged, this, &MainFileSafeView::applicationStateChanged);
    if (m_storage) {
        const QVariantMap state = m_storage->restoreState(this);
        if (state.contains(QLatin1String(kTab)))
            setCurrentTab(state.value(QLatin1String(kTab)).toInt());
    }
}

MainFileSafeView::~MainFileSafeView()
{
    delete ui;
}

void MainFileSafeView::setCurrentTab(int index)
{
    ui->tabWidget->setCurrentIndex(index);
}

int MainFileSafeView::currentTab() const
{
    return ui->tabWidget->currentIndex();
}

void MainFileSafeView::applicationStateChanged(R7Application::AppState state)
{
    if (state == R7Application::APP_STATE_LOGGED_OUT && m_storage)
        m_storage->storeState(this, {{QLatin1String(kTab), currentTab()}}, Storage::Persistent);
}
