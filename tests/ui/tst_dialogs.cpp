// The log, debug settings and notice dialogs offscreen: the log's cap, follow mode, level and
// clearing; the debug dialog's custom server; the notices' texts and links, also under German.
#include "core/AppInfo.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/ServerList.h"
#include "tests/support/TestEnv.h"
#include "ui/DebugDialog.h"
#include "ui/LogDialog.h"
#include "ui/QuotaExceededDialog.h"
#include "ui/SessionTerminatedDialog.h"
#include "ui/UpgradeClientDialog.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTextBrowser>
#include <QTranslator>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Answers the next modal dialog of type T once it is up.
template<typename T>
void answerModal(std::function<void(T*)> answer)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer]() {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}

void writeLines(const QString& path, int from, int count, QIODevice::OpenMode mode)
{
    QFile file(path);
    QVERIFY(file.open(mode | QIODevice::Text));
    for (int i = from; i < from + count; ++i)
        file.write(QStringLiteral("line %1 <b>bold</b>\n").arg(i).toUtf8());
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void logShowsTheLastLinesAndFollows();
    void logLevelAndClear();
    void debugDialogCustomServer_data();
    void debugDialogCustomServer();
    void noticeTexts();
    void noticeLinks_data();
    void noticeLinks();

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<AppInfo> m_info;
};

void TestDialogs::init()
{
    m_env.reset(new TestEnv);
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("varnel.example"));
    QCoreApplication::setApplicationName(QStringLiteral("tessarvale-dialogs-test"));
    m_info.reset(new AppInfo(AppInfo::forThisBuild()));
}

void TestDialogs::cleanup()
{
    m_env.reset();
}

void TestDialogs::logShowsTheLastLinesAndFollows()
{
    const QString path = m_env->home() + QStringLiteral("/client.log");
    writeLines(path, 1, 12000, QIODevice::WriteOnly);
    LogDialog* dialog = LogDialog::instance();
    QCOMPARE(dialog->loadFile(path), 5000);
    QLabel* lines = dialog->findChild<QLabel*>(QStringLiteral("linesValue"));
    QCOMPARE(lines->text(), QStringLiteral("12000 lines"));
    QTextBrowser* text = dialog->findChild<QTextBrowser*>(QStringLiteral("logText"));
    QStringList shown = text->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(shown.size(), 5000);
    // Log lines are shown as written, markup and all.
    QCOMPARE(shown.first(), QStringLiteral("line 7001 <b>bold</b>"));
    QCOMPARE(shown.last(), QStringLiteral("line 12000 <b>bold</b>"));

    writeLines(path, 12001, 3, QIODevice::Append);
    QTRY_COMPARE(lines->text(), QStringLiteral("12003 lines"));
    shown = text->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(shown.last(), QStringLiteral("line 12003 <b>bold</b>"));
    QCOMPARE(shown.size(), 5003);

    QPointer<LogDialog> guard(dialog);
    dialog->close();
    QTRY_VERIFY(guard.isNull());
    QVERIFY(LogDialog::instance() != nullptr);
    delete LogDialog::instance();
}

void TestDialogs::logLevelAndClear()
{
    QSettings().setValue("app/log_level", "ERROR");
    const QString path = m_env->home() + QStringLiteral("/client.log");
    writeLines(path, 1, 10, QIODevice::WriteOnly);
    writeLines(path + QStringLiteral(".1"), 1, 10, QIODevice::WriteOnly);
    writeLines(path + QStringLiteral(".2"), 1, 10, QIODevice::WriteOnly);
    LogDialog* dialog = LogDialog::instance();
    QComboBox* level = dialog->findChild<QComboBox*>(QStringLiteral("logLevelComboBox"));
    QCOMPARE(level->currentIndex(), 1);
    level->setCurrentIndex(0);
    QCOMPARE(QSettings().value("app/log_level").toString(), QStringLiteral("INFO"));

    QCOMPARE(dialog->loadFile(path), 10);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("clearButton")), Qt::LeftButton);
    QCOMPARE(QFileInfo(path).size(), qint64(0));
    QVERIFY(!QFile::exists(path + QStringLiteral(".1")));
    QVERIFY(!QFile::exists(path + QStringLiteral(".2")));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("linesValue"))->text(), QStringLiteral("0 lines"));
    QVERIFY(dialog->findChild<QTextBrowser*>(QStringLiteral("logText"))->toPlainText().isEmpty());
    delete dialog;
}

void TestDialogs::debugDialogCustomServer_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("url");
    QTest::newRow("address") << "https://sync.example.org" << true << "https://sync.example.org";
    QTest::newRow("blank") << "   " << true << "";
    QTest::newRow("cancelled") << "https://other.example.org" << false << "";
}

void TestDialogs::debugDialogCustomServer()
{
    ServerList servers(*m_info);
    const QString before = servers.currentServer().url();
    DebugDialog dialog(m_info.get(), &servers, R7Session::instance());
    QComboBox* combo = dialog.findChild<QComboBox*>(QStringLiteral("selectServerComboBox"));
    QString prefilled;
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    answerModal<QInputDialog>([&](QInputDialog* input) {
        prefilled = input->textValue();
        input->setTextValue(typed);
        accept ? input->accept() : input->reject();
    });
    combo->setCurrentIndex(combo->findText(QStringLiteral("Custom")));
    QCOMPARE(prefilled, servers.primaryServer().url());
    QFETCH(QString, url);
    if (url.isEmpty()) {
        QCOMPARE(servers.currentServer().url(), before);
        QVERIFY(!QSettings().contains("net/server"));
    } else {
        QCOMPARE(servers.currentServer().url(), url);
        QCOMPARE(servers.currentServer().name(), QStringLiteral("Custom"));
    }
}

void TestDialogs::noticeTexts()
{
    QuotaExceededDialog quota;
    quota.setText(QStringLiteral("Not enough space in 'Team <b>A</b>'."));
    QCOMPARE(quota.findChild<QLabel*>(QStringLiteral("infoLabel"))->textFormat(), Qt::PlainText);

    auto* session = new SessionTerminatedDialog;
    QPointer<SessionTerminatedDialog> sessionGuard(session);
    session->setText(QStringLiteral("Your session has been terminated."));
    session->show();
    QTest::mouseClick(session->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    QTRY_VERIFY(sessionGuard.isNull());
    // Closed by the window frame it goes too, or no later time-out could open a new one.
    session = new SessionTerminatedDialog;
    sessionGuard = session;
    session->show();
    session->close();
    QTRY_VERIFY(sessionGuard.isNull());
}

void TestDialogs::noticeLinks_data()
{
    QTest::addColumn<bool>("german");
    QTest::addColumn<QString>("language");
    QTest::newRow("english") << false << "/en/";
    QTest::newRow("german") << true << "/de/";
}

void TestDialogs::noticeLinks()
{
    QFETCH(bool, german);
    QTranslator translator;
    if (german) {
        QVERIFY(translator.load(QStringLiteral(":/trl/r7trl_de.qm")));
        QCoreApplication::installTranslator(&translator);
    }
    QFETCH(QString, language);
    QCOMPARE(QuotaExceededDialog::upgradeUrl(), QStringLiteral("${APP_BASE_URL}%1faq/acct-mgmt/upgrade/").arg(language));
    QCOMPARE(UpgradeClientDialog::downloadUrl(), QStringLiteral("${APP_BASE_URL}%1sync").arg(language));
    UpgradeClientDialog upgrade;
    QCOMPARE(upgrade.findChild<QPushButton*>(QStringLiteral("updateButton"))->text(),
             german ? QStringLiteral("Herunterladen") : QStringLiteral("Download"));
    QCoreApplication::removeTranslator(&translator);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
