// Time from starting a program to its first top-level window being mapped, seen as the X server's
// MapNotify on the root window. Our client runs beside KeePassXC and a bare Qt widgets program
// (the floor), in the same run and display, warm (one unmeasured start each first).
//
//   bench_startwindow [runs]      needs DISPLAY (Xvfb) and keepassxc on the PATH (else skipped)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

// After Qt: Xlib defines Bool.
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>

namespace {

struct Program
{
    QString name;
    QString path;
    QStringList arguments;
};

// Milliseconds until a window of the started process's display connection maps; -1 on time-out.
double timeToMap(Display *display, const Program &program, const QProcessEnvironment &env)
{
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True); // drop what came before
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program.path, program.arguments);
    double elapsed = -1;
    while (timer.elapsed() < 20000 && elapsed < 0) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                elapsed = timer.nsecsElapsed() / 1e6;
                break;
            }
        }
        if (elapsed < 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
    }
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
    return elapsed;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 7;
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_startwindow: no X display\n");
        return 1;
    }
    // Each program gets a private home, so no saved state or lock of the user's changes its start.
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    for (const char *var : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
        const QString dir = home.path() + "/" + var;
        QDir().mkpath(dir);
        env.insert(var, QString(var) == "HOME" ? home.path() : dir);
    }
    const QString runtime = home.path() + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", runtime);

    const QString binDir = QCoreApplication::applicationDirPath();
    QList<Program> programs{
            {"tessarvale", binDir + "/../app/tessarvale", {}},
            {"bare Qt window", binDir + "/bench_barewindow", {}},
    };
    const QString keepassxc = QStandardPaths::findExecutable("keepassxc");
    if (!keepassxc.isEmpty()) {
        programs << Program{"KeePassXC", keepassxc, {}};
    } else {
        std::fprintf(stderr, "bench_startwindow: keepassxc not found, skipped\n");
    }

    QTextStream out(stdout);
    QHash<QString, double> medians;
    for (const Program &p : programs) {
        timeToMap(display, p, env); // warm-up
        QList<double> times;
        for (int i = 0; i < runs; ++i) {
            times << timeToMap(display, p, env);
        }
        medians[p.name] = median(times);
        out << QString("%1: median %2 ms over %3 runs (min %4, max %5)\n")
                        .arg(p.name, -16)
                        .arg(medians[p.name], 0, 'f', 1)
                        .arg(runs)
                        .arg(*std::min_element(times.begin(), times.end()), 0, 'f', 1)
                        .arg(*std::max_element(times.begin(), times.end()), 0, 'f', 1);
        out.flush();
    }
    if (medians.contains("KeePassXC") && medians["KeePassXC"] > 0) {
        out << QString("ratio tessarvale / KeePassXC: %1\n")
                        .arg(medians["tessarvale"] / medians["KeePassXC"], 0, 'f', 2);
    }
    if (medians["bare Qt window"] > 0) {
        out << QString("ratio tessarvale / bare Qt window: %1\n")
                        .arg(medians["tessarvale"] / medians["bare Qt window"], 0, 'f', 2);
    }
    XCloseDisplay(display);
    return 0;
}
