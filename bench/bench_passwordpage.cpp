// The password page with a large account, against the development service: the first load, a
// reload, the keystrokes of a search in each text mode and a search by a password that every entry
// shares, each with the longest time the event loop went unserved meanwhile. Beside it, the filter
// of that password search alone: the page's proxy, and as reference a proxy that splits the id
// list for every row, over the same rows in the same table view.
// usage: bench_passwordpage [entries ...]   (default 500 5000); prints RESULT lines. A page of 50
// entries goes first, unreported.
#include "core/AppInfo.h"
#include "net/PasswordRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "passwords/CustomSortFilterProxyModel.h"
#include "passwords/PasswordController.h"
#include "passwords/PasswordsView.h"
#include "tests/net/DemoSignIn.h"
#include "tests/support/DevService.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegExp>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {
const char *const SharedPassword = "Shared-Bench-Passw0rd";

// The largest interval between two ticks of a 5 ms timer while it runs.
class GapMeter
{
public:
    GapMeter()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_maxGap = std::max(m_maxGap, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_maxGap = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    qint64 stop()
    {
        // The stretch since the last tick counts too.
        m_maxGap = std::max(m_maxGap, m_clock.elapsed() - m_last);
        m_timer.stop();
        return m_maxGap;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGap = 0;
};

struct Figure
{
    double ms = 0;
    qint64 gapMs = 0;
};

// Serves the event loop until done() holds; false after timeoutMs.
bool serveUntil(const std::function<bool()> &done, int timeoutMs = 60000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // The table painted with what it now shows.
    QCoreApplication::processEvents();
    return true;
}

// What the page did for the search before this one: the id list split for every row.
class ListSplitProxy : public QSortFilterProxyModel
{
protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override
    {
        const QString pattern = filterRegExp().pattern();
        if (pattern.isEmpty())
            return true;
        const QString id = sourceModel()->index(sourceRow, 2, sourceParent).data(Qt::UserRole).toString();
        return pattern.split(QLatin1Char(';')).contains(id);
    }
};

// The filter alone, over a copy of the page's rows in a table view like the page's.
double filterOnly(QSortFilterProxyModel *proxy, const QAbstractItemModel *rows, const QString &ids)
{
    QStandardItemModel model;
    for (int row = 0; row < rows->rowCount(); ++row) {
        QList<QStandardItem *> items;
        for (int column = 0; column < rows->columnCount(); ++column) {
            auto *item = new QStandardItem(rows->index(row, column).data().toString());
            item->setData(rows->index(row, column).data(Qt::UserRole), Qt::UserRole);
            items << item;
        }
        model.appendRow(items);
    }
    proxy->setSourceModel(&model);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->sort(0, Qt::AscendingOrder);
    QTableView view;
    view.setModel(proxy);
    view.resize(821, 400);
    view.show();
    QCoreApplication::processEvents();
    QElapsedTimer t;
    t.start();
    proxy->setFilterFixedString(ids);
    QCoreApplication::processEvents();
    const double ms = t.nsecsElapsed() / 1e6;
    if (proxy->rowCount() != rows->rowCount())
        std::fprintf(stderr, "filter: %d rows of %d\n", proxy->rowCount(), rows->rowCount());
    view.setModel(nullptr);
    proxy->setSourceModel(nullptr);
    return ms;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

class Bench
{
public:
    bool start()
    {
        m_db.open();
        AppInfo::publish(&m_info);
        if (!m_svc.start()) {
            std::fprintf(stderr, "devservice: %s\n", qPrintable(m_svc.errorString()));
            return false;
        }
        R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", m_svc.httpUrl(), false));
        m_info.apiGeneration = 1;
        return true;
    }

    // report: false for a warm-up, so that the first page's one-off costs (style, fonts) fall on no
    // figure.
    bool measure(int entries, bool report = true)
    {
        m_svc.reset();
        const QJsonObject seeded =
                m_svc.control("seed_passwords",
                              {{"user", "demo"}, {"count", entries}, {"password", SharedPassword}, {"replace", true}});
        if (seeded.value("passwords").toInt() != entries || !signInDemoFresh(&m_info).isOk()) {
            std::fprintf(stderr, "cannot seed or sign in\n");
            return false;
        }
        PasswordRI ri(&m_info, R7Session::instance());
        PasswordController controller(R7Session::instance(), &ri);
        controller.setLockMinutes(-1);
        controller.setLocked(false);

        GapMeter gaps;
        QElapsedTimer t;
        gaps.start();
        t.start();
        std::unique_ptr<PasswordsView> page(new PasswordsView(&controller, nullptr, nullptr));
        page->resize(821, 487);
        page->show();
        auto *refresh = page->findChild<QPushButton *>("refreshButton");
        if (!serveUntil([&] { return page->passwordCount() == entries && refresh->isEnabled(); }))
            return fail("first load");
        const Figure first{t.nsecsElapsed() / 1e6, gaps.stop()};

        QList<double> reloadTimes;
        qint64 reloadGap = 0;
        for (int round = 0; round < 3; ++round) {
            gaps.start();
            t.restart();
            refresh->click();
            if (!serveUntil([&] { return refresh->isEnabled(); }))
                return fail("reload");
            reloadTimes << t.nsecsElapsed() / 1e6;
            reloadGap = std::max(reloadGap, gaps.stop());
        }
        const Figure reload{median(reloadTimes), reloadGap};

        auto *box = page->findChild<QComboBox *>("searchFieldsComboBox");
        auto *edit = page->findChild<QLineEdit *>("searchEdit");
        auto *table = page->findChild<QTableView *>("passwordsTableView");
        // Typed and taken back again one key at a time; the slowest key counts.
        const QList<QPair<int, QString>> modes{{0, "user42"}, {1, "entry 0042"}, {2, "site42"}};
        QList<Figure> keys;
        for (const auto &mode : modes) {
            box->setCurrentIndex(mode.first);
            QCoreApplication::processEvents();
            Figure slowest;
            auto key = [&](auto press) {
                gaps.start();
                t.restart();
                press();
                QCoreApplication::processEvents();
                slowest.ms = std::max(slowest.ms, t.nsecsElapsed() / 1e6);
                slowest.gapMs = std::max(slowest.gapMs, gaps.stop());
            };
            for (const QChar c : mode.second)
                key([&] { QTest::keyClick(edit, c.toLatin1()); });
            if (table->model()->rowCount() == entries || table->model()->rowCount() == 0)
                std::fprintf(stderr, "mode %d: %d rows shown\n", mode.first, table->model()->rowCount());
            for (int i = 0; i < mode.second.size(); ++i)
                key([&] { QTest::keyClick(edit, Qt::Key_Backspace); });
            if (table->model()->rowCount() != entries)
                return fail("search cleared");
            keys << slowest;
        }

        // By password: the page waits for a pause in typing, asks the service and filters by the
        // ids of its answer; timed from the answer (the spinner goes) to the table painted.
        box->setCurrentIndex(3);
        QCoreApplication::processEvents();
        auto *spinner = page->findChild<QLabel *>("searchFeedbackIndicatorLabel");
        QElapsedTimer fromAnswer;
        HideWatch watch(spinner, &fromAnswer);
        gaps.start();
        edit->setText(QString::fromLatin1(SharedPassword));
        if (!serveUntil([&] { return watch.seen && !spinner->isVisible(); }))
            return fail("search by password");
        const Figure byPassword{fromAnswer.nsecsElapsed() / 1e6, gaps.stop()};
        if (table->model()->rowCount() != entries)
            return fail("search by password rows");

        QStringList ids;
        const QAbstractItemModel *rows = static_cast<QSortFilterProxyModel *>(table->model())->sourceModel();
        for (int row = 0; row < rows->rowCount(); ++row)
            ids << rows->index(row, 2).data(Qt::UserRole).toString();
        CustomSortFilterProxyModel ours;
        ours.setFilterColumns(2);
        ListSplitProxy reference;
        QList<double> oursTimes, referenceTimes;
        for (int round = 0; round < 3; ++round)
            oursTimes << filterOnly(&ours, rows, ids.join(';'));
        // Seconds at 5,000 entries: once is enough.
        referenceTimes << filterOnly(&reference, rows, ids.join(';'));

        if (!report)
            return true;
        std::printf("RESULT {\"page_%d\": {\"entries\": %d, \"first_load_ms\": %.1f, \"first_load_gap_ms\": %lld, "
                    "\"reload_ms\": %.1f, \"reload_gap_ms\": %lld, \"key_all_ms\": %.1f, \"key_all_gap_ms\": %lld, "
                    "\"key_title_ms\": %.1f, \"key_title_gap_ms\": %lld, \"key_address_ms\": %.1f, "
                    "\"key_address_gap_ms\": %lld, \"by_password_ms\": %.1f, \"by_password_gap_ms\": %lld, "
                    "\"filter_ms\": %.1f, \"filter_reference_ms\": %.1f}}\n",
                    entries, entries, first.ms, static_cast<long long>(first.gapMs), reload.ms,
                    static_cast<long long>(reload.gapMs), keys[0].ms, static_cast<long long>(keys[0].gapMs), keys[1].ms,
                    static_cast<long long>(keys[1].gapMs), keys[2].ms, static_cast<long long>(keys[2].gapMs),
                    byPassword.ms, static_cast<long long>(byPassword.gapMs), median(oursTimes), median(referenceTimes));
        std::fflush(stdout);
        return true;
    }

private:
    // Starts the clock when the label is hidden, i.e. when the answer is being handled.
    struct HideWatch : QObject
    {
        HideWatch(QWidget *widget, QElapsedTimer *clock)
            : m_clock(clock)
        {
            widget->installEventFilter(this);
        }
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Hide && !seen) {
                seen = true;
                m_clock->start();
            }
            return false;
        }
        bool seen = false;
        QElapsedTimer *m_clock;
    };

    static bool fail(const char *what)
    {
        std::fprintf(stderr, "%s did not finish\n", what);
        return false;
    }

    TestDatabase m_db;
    DevService m_svc;
    AppInfo m_info = AppInfo::forThisBuild();
};
} // namespace

int main(int argc, char **argv)
{
    TestEnv env;
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("tessarvale-bench");
    QCoreApplication::setApplicationName("bench_passwordpage");
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {500, 5000};
    Bench bench;
    if (!bench.start() || !bench.measure(50, false))
        return 1;
    for (int entries : sizes) {
        if (!bench.measure(entries))
            return 1;
    }
    return 0;
}
