// The brands' colours as a person sees them, offscreen: every text of the light pages, dialogs, the
// wizard's storage table and the sign-in page reads against its background, placeholders are lighter
// than typed text, buttons look disabled only when they are, and icons, check marks and the disabled
// look of buttons tell their state. The measurements themselves are shown to catch the faults the
// brands once had.
#include "ContrastCheck.h"
#include "StateCheck.h"
#include "core/AppInfo.h"
#include "core/PlaceholderTint.h"
#include "core/SorelStyle.h"
#include "core/Style.h"
#include "core/TamselStyle.h"
#include "core/VarnelStyle.h"
#include "db/FileSafeDao.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/LogDialog.h"
#include "ui/LoginView.h"
#include "ui/MainSettingsView.h"
#include "ui/NewFileSafeAvailableDialog.h"
#include "ui/PermanentPlaceholderOverlay.h"
#include "ui/PushButton.h"
#include "ui/WizardView.h"

#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

std::unique_ptr<Style> styleOf(const QString& brand)
{
    if (brand == QLatin1String("varnel"))
        return std::make_unique<VarnelStyle>();
    if (brand == QLatin1String("sorel"))
        return std::make_unique<SorelStyle>();
    return std::make_unique<TamselStyle>();
}

void settle(QWidget* window, const QSize& size = QSize())
{
    if (size.isValid())
        window->resize(size);
    else
        window->adjustSize();
    window->show();
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

QString listed(const QString& view, const QList<ContrastCheck::Finding>& findings)
{
    QStringList lines;
    for (const ContrastCheck::Finding& finding : findings)
        lines << view + QStringLiteral(": ") + finding.widget + QStringLiteral(": ") + finding.problem;
    return lines.join(QLatin1Char('\n'));
}

FilesafeTO_v2 safe(const char* id, const char* name, const char* type)
{
    FilesafeTO_v2 s;
    s.safeId = QLatin1String(id);
    s.name = QLatin1String(name);
    s.type = QLatin1String(type);
    s.access = QStringLiteral("rcud");
    s.rootFolderId = QStringLiteral("root-") + s.safeId;
    s.roleType = 2;
    return s;
}

// A small dialog: a text, a field with a placeholder, a primary button and a secondary one.
QDialog* sampleDialog(bool secondaryEnabled)
{
    auto* dialog = new QDialog;
    auto* layout = new QHBoxLayout(dialog);
    layout->addWidget(new QLabel(QStringLiteral("Choose where to store it"), dialog));
    auto* field = new QLineEdit(dialog);
    field->setObjectName(QStringLiteral("field"));
    field->setPlaceholderText(QStringLiteral("Folder name"));
    layout->addWidget(field);
    layout->addWidget(new PushButton(QStringLiteral("Save"), dialog));
    auto* secondary = new PushButton(QStringLiteral("Close"), dialog);
    secondary->setProperty("cancelButton", true);
    secondary->setEnabled(secondaryEnabled);
    layout->addWidget(secondary);
    return dialog;
}

// A page of a brand's red: a tab's icon, a ticked check box, a main and a secondary button.
QDialog* redPage(const QString& icon)
{
    auto* page = new QDialog;
    auto* layout = new QHBoxLayout(page);
    auto* label = new QLabel(page);
    label->setObjectName(QStringLiteral("icon"));
    label->setPixmap(QPixmap(icon));
    layout->addWidget(label);
    auto* box = new QCheckBox(QStringLiteral("Synchronize automatically"), page);
    box->setObjectName(QStringLiteral("box"));
    box->setChecked(true);
    layout->addWidget(box);
    auto* back = new PushButton(QStringLiteral("Back"), page);
    back->setObjectName(QStringLiteral("secondary"));
    back->setProperty("cancelButton", true);
    layout->addWidget(back);
    auto* next = new PushButton(QStringLiteral("Next"), page);
    next->setObjectName(QStringLiteral("primary"));
    layout->addWidget(next);
    return page;
}

// A warning sign in the orange the signs once had, saved where a row can name it.
QString oldOrangeSign()
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old_orange_sign.png"));
    QImage sign(20, 20, QImage::Format_ARGB32_Premultiplied);
    sign.fill(Qt::transparent);
    QPainter p(&sign);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf3, 0x7f, 0x32));
    p.drawPolygon(QPolygonF({QPointF(10, 1), QPointF(19, 18), QPointF(1, 18)}));
    p.end();
    sign.save(path);
    return path;
}

} // namespace

class TestBrandContrast : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env.reset(new TestEnv);
        QDir::setCurrent(m_env->home());
        m_db.reset(new TestDatabase);
        m_db->open();
        QVERIFY(m_db->rawExec({
                "INSERT INTO user (id, server_id, account_name, last_login) VALUES (1, 'eu', 'alice', 0)",
                "INSERT INTO file_safe (id, user_id, safe_id, safe_name, safe_type, access, root_folder_id) VALUES "
                "(1, 1, 'S1', 'Team Projects', 'TEAMSAFE', 'rcud', 'r1'), (2, 1, 'S2', 'Private', 'PRIVATE', 'rcud', 'r2')",
        }));
        m_db->closeRaw();
        R7Session::instance()->setServer(ServerInfo("eu", "Europe", "Europe", "https://127.0.0.1:1", true));
        R7Session::instance()->setUser(User(1, "alice", "eu", QDateTime()));
    }

    void cleanup()
    {
        qApp->setStyleSheet(QString());
        R7Session::instance()->setUser(User());
        m_db.reset();
        m_env.reset();
    }

    void brandViewsAreReadable_data()
    {
        QTest::addColumn<QString>("brand");
        QTest::newRow("varnel") << "varnel";
        QTest::newRow("sorel") << "sorel";
        QTest::newRow("tamsel") << "tamsel";
    }

    void brandViewsAreReadable()
    {
        QFETCH(QString, brand);
        AppInfo& info = m_db->appInfo();
        info.brandKey = brand;
        info.logPath = m_env->home() + QStringLiteral("/client.log");
        applyBrandStyle(qApp, &info);
        const QColor disabledFace(styleOf(brand)->variables().value(QStringLiteral("BUTTON_DISABLED_BGCOLOR")));
        const ContrastCheck check(disabledFace);
        QStringList found;
        auto measure = [&](QWidget* window, const QString& name, const QSize& size = QSize()) {
            settle(window, size);
            const QString text = listed(name, check.check(window) + StateCheck().check(window));
            if (!text.isEmpty())
                found << text;
            window->hide();
        };

        MainSettingsView settings(&info, nullptr);
        measure(&settings, QStringLiteral("settings page"), QSize(700, 560));

        QMessageBox box(QMessageBox::Warning, QStringLiteral("Logout"),
                        QStringLiteral("A logout is necessary to disable Password Safe"), QMessageBox::Ok | QMessageBox::Cancel);
        measure(&box, QStringLiteral("message box"));

        NewFileSafeAvailableDialog newSafes(&info);
        newSafes.setFileSafes({safe("S4", "Design Team", "TEAMSAFE"), safe("S5", "Mail-in", "MAIL_IN")});
        measure(&newSafes, QStringLiteral("new file safe"), QSize(624, 327));

        QFile log(info.logPath);
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("[2026-12-07 01:00:00] 4711 INFO  Syncher::run: step 1\n");
        log.close();
        LogDialog logDialog;
        logDialog.loadFile(info.logPath);
        measure(&logDialog, QStringLiteral("log"), QSize(656, 249));

        FileSafeDao dao(&info, nullptr);
        WizardView wizard(&dao, &info);
        wizard.reloadFileSafes();
        auto* pages = wizard.findChild<QStackedWidget*>(QStringLiteral("wizViewStack"));
        QVERIFY(pages);
        for (int page = 0; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            measure(&wizard, QStringLiteral("wizard page %1").arg(page + 1), QSize(720, 520));
        }

        ServerList servers(info);
        UserCredUtil creds(&info);
        LoginView login(&info, &creds, &servers, nullptr);
        measure(&login, QStringLiteral("sign-in page"), QSize(479, 620));

        for (const bool enabled : {true, false}) {
            std::unique_ptr<QDialog> dialog(sampleDialog(enabled));
            measure(dialog.get(), enabled ? QStringLiteral("buttons") : QStringLiteral("buttons, Close disabled"));
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }

    // Each row: the rules a brand once had, and what the measurement must say about them.
    void checkCatchesFaults_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("disabledFace");
        QTest::addColumn<bool>("secondaryEnabled");
        QTest::addColumn<bool>("tint");
        QTest::addColumn<QString>("finding");

        const QString plain = QStringLiteral("QDialog { background-color: #FFFFFF; } QLineEdit { color: #000000; } "
                                             "PushButton { background-color: #133C7F; color: #FFFFFF; border: none; padding: 6px 16px; } ");
        QTest::newRow("white text on white") << plain + "QLabel { color: #FFFFFF; }" << "#6F6F6F" << true << true
                                             << "QLabel# \"Choose where to store it\": text contrast";
        QTest::newRow("secondary in the disabled grey")
                << plain + "PushButton[cancelButton=\"true\"] { background-color: #CDCDCC; color: #000000; }"
                << "#CDCDCC" << true << true << "PushButton# \"Close\": enabled, but its face is the disabled one";
        QTest::newRow("disabled secondary like an enabled one")
                << plain + "PushButton:disabled { background-color: #6F6F6F; color: #FFFFFF; } "
                           "PushButton[cancelButton=\"true\"] { background-color: #BE99A3; color: #6F6F6F; }"
                << "#6F6F6F" << false << true << "PushButton# \"Close\": disabled, but its face is not the disabled one";
        QTest::newRow("secondary grey on grey text")
                << plain + "PushButton[cancelButton=\"true\"] { background-color: #BE99A3; color: #6F6F6F; }"
                << "#6F6F6F" << true << true << "PushButton# \"Close\": text contrast";
        QTest::newRow("secondary that vanishes on white")
                << plain + "PushButton[cancelButton=\"true\"] { background-color: #F4F3F2; color: #002244; }"
                << "#C3C3C3" << true << true << "PushButton# \"Close\": outline against its surroundings";
        QTest::newRow("white field on a white page")
                << plain + "QLineEdit { background-color: #FFFFFF; border: none; }" << "#6F6F6F" << true << true
                << "QLineEdit#field \"Folder name\": field outline against its surroundings";
        QTest::newRow("placeholder like typed text") << plain << "#6F6F6F" << true << false
                                                     << "QLineEdit#field \"Folder name\": placeholder";
        // The shared button rule gives buttons a margin, in which the page shows: the face is within.
        QTest::newRow("buttons in a margin") << plain + "PushButton { margin: 5px; }" << "#6F6F6F" << true << true << "";
        QTest::newRow("secondary that vanishes on white, in a margin")
                << plain + "PushButton { margin: 5px; } PushButton[cancelButton=\"true\"] { background-color: #F4F3F2; color: #002244; }"
                << "#C3C3C3" << true << true << "PushButton# \"Close\": outline against its surroundings";
        QTest::newRow("placeholder tinted") << plain << "#6F6F6F" << true << true << "";
        QTest::newRow("grey placeholder tinted") << plain + "QLineEdit { color: #6F6F6F; }" << "#6F6F6F" << true << true << "";
    }

    void checkCatchesFaults()
    {
        QFETCH(QString, sheet);
        QFETCH(QString, disabledFace);
        QFETCH(bool, secondaryEnabled);
        QFETCH(bool, tint);
        QFETCH(QString, finding);
        delete qApp->findChild<PlaceholderTint*>(QString(), Qt::FindDirectChildrenOnly);
        if (tint)
            PlaceholderTint::install(qApp);
        qApp->setStyleSheet(sheet);
        std::unique_ptr<QDialog> dialog(sampleDialog(secondaryEnabled));
        settle(dialog.get());
        const QString text = listed(QStringLiteral("sample"), ContrastCheck(QColor(disabledFace)).check(dialog.get()));
        if (finding.isEmpty())
            QVERIFY2(text.isEmpty(), qPrintable(text));
        else
            QVERIFY2(text.contains(finding), qPrintable(QStringLiteral("expected \"%1\" in:\n%2").arg(finding, text)));
    }

    // Each row: the red page's rules as the Tamsel label had them, one mended at a time, and what the
    // state measurement must say about the one left.
    void stateCheckCatchesFaults_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("finding");

        const QString page = QStringLiteral("QDialog { background-color: #BE4963; } QCheckBox { color: #FFFFFF; } "
                                            "PushButton { background-color: #BE4963; color: #FFFFFF; border: 1px solid "
                                            "#FFFFFF; padding: 6px 16px; } ");
        const QString oldButtons =
                QStringLiteral("PushButton:disabled { background-color: #6F6F6F; color: #FFFFFF; border: none; } "
                               "PushButton[cancelButton=\"true\"] { background-color: #FFFFFF; color: #6F6F6F; border: "
                               "1px solid #BE99A3; } "
                               "PushButton[cancelButton=\"true\"]:disabled { background-color: #6F6F6F; color: "
                               "#FFFFFF; border: none; } ");
        const QString buttons =
                oldButtons +
                QStringLiteral("PushButton[cancelButton=\"true\"] { color: #BE4963; border: 1px solid #BE4963; } "
                               "PushButton:disabled, PushButton[cancelButton=\"true\"]:disabled { color: #B0B0B0; } ");
        const QString marks = QStringLiteral(
                "QCheckBox::indicator { width: 16px; height: 16px; } "
                "QCheckBox::indicator:unchecked { image: url(:/res/tamsel/forms/checkbox_unchecked.png); } "
                "QCheckBox::indicator:checked { image: url(:/res/tamsel/forms/checkbox_checked.png); } ");
        const QString white = QStringLiteral(":/res/tamsel/tabs/settings.png");

        QTest::newRow("grey tab icon on the red") << page + buttons + marks << ":/res/tabs/settings.png"
                                                  << "QLabel#icon \"\": icon against what is behind it 1.18:1";
        QTest::newRow("check mark in the text's white")
                << page + buttons << white << "QCheckBox#box \"Synchronize automatically\": check mark";
        QTest::newRow("secondary in the disabled grey")
                << page + oldButtons + marks << white << "PushButton#secondary \"Back\": disabled text";
        QTest::newRow("disabled main stronger than the enabled")
                << page + oldButtons + marks << white
                << "PushButton#primary \"Next\": disabled text 5.02:1, not below the enabled 4.86:1";
        QTest::newRow("disabled a shade off the enabled")
                << page + buttons + marks + "PushButton:disabled { background-color: #C4506A; color: #F0F0F0; }"
                << white << "PushButton#primary \"Next\": enabled and disabled looks apart by";
        // Three to one, not two: the old orange reads at 2.66:1 on white.
        QTest::newRow("warning sign in the old orange on white")
                << page + buttons + marks + "QDialog { background-color: #FFFFFF; }" << oldOrangeSign()
                << "QLabel#icon \"\": icon against what is behind it 2.66:1";
        QTest::newRow("as mended") << page + buttons + marks << white << "";
        // The shared button rule's margin shows the page around a button's face; on white the margin
        // is lighter than the disabled text and must not be taken for it.
        QTest::newRow("as mended, buttons in a margin on white")
                << page + buttons + marks + "QDialog { background-color: #FFFFFF; } PushButton { margin: 5px; }"
                << ":/res/tabs/settings.png" << "";
    }

    void stateCheckCatchesFaults()
    {
        QFETCH(QString, sheet);
        QFETCH(QString, icon);
        QFETCH(QString, finding);
        qApp->setStyleSheet(sheet);
        std::unique_ptr<QDialog> page(redPage(icon));
        settle(page.get());
        const QString text = listed(QStringLiteral("red page"), StateCheck().check(page.get()));
        if (finding.isEmpty())
            QVERIFY2(text.isEmpty(), qPrintable(text));
        else
            QVERIFY2(text.contains(finding), qPrintable(QStringLiteral("expected \"%1\" in:\n%2").arg(finding, text)));
    }

    // The floating placeholder of the sign-in fields rests inside its field, clear of the line under
    // it, and as a caption stays above the typed text.
    void sorelPlaceholderInsideField()
    {
        AppInfo& info = m_db->appInfo();
        info.brandKey = QStringLiteral("sorel");
        applyBrandStyle(qApp, &info);
        ServerList servers(info);
        UserCredUtil creds(&info);
        LoginView login(&info, &creds, &servers, nullptr);
        settle(&login, QSize(479, 620));
        for (const char* name : {"usernameInput", "passwordInput"}) {
            auto* field = login.findChild<QLineEdit*>(QLatin1String(name));
            QVERIFY(field);
            auto* overlay = field->findChild<PermanentPlaceholderOverlay*>();
            QVERIFY(overlay);
            // The first field has the focus: its placeholder is a caption until the focus leaves.
            field->clearFocus();
            QTRY_VERIFY(overlay->isRestingEmpty());
            QTRY_COMPARE(overlay->pos(), QPoint(0, 9));
            QTRY_COMPARE(overlay->currentFontSize(), 12);
            overlay->adjustSize();
            QVERIFY2(overlay->geometry().bottom() < field->height() - 1,
                     qPrintable(QStringLiteral("%1: placeholder down to %2 in a field %3 high")
                                        .arg(QLatin1String(name))
                                        .arg(overlay->geometry().bottom())
                                        .arg(field->height())));
            field->setText(QStringLiteral("alice"));
            QTRY_COMPARE(overlay->pos(), QPoint(0, 0));
            QTRY_COMPARE(overlay->currentFontSize(), 10);
            overlay->adjustSize();
            QVERIFY2(overlay->geometry().bottom() <= field->inputMethodQuery(Qt::ImCursorRectangle).toRect().top() + 1,
                     qPrintable(QStringLiteral("%1: caption down to %2, typed text from %3")
                                        .arg(QLatin1String(name))
                                        .arg(overlay->geometry().bottom())
                                        .arg(field->inputMethodQuery(Qt::ImCursorRectangle).toRect().top())));
        }
    }

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TestDatabase> m_db;
};

QTEST_MAIN(TestBrandContrast)
#include "tst_brandcontrast.moc"
