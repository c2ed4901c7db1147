#include "sync/WholeSecondTime.h"

#include "sync/UploadSource.h"

#include <QFile>

#include <sys/stat.h>

bool WholeSecondTime::hides(qint64 mtimeMs, bool wholeSecond, qint64 referenceMs)
{
    return wholeSecond && referenceMs - mtimeMs <= StepMs + ClockLagMs;
}

bool WholeSecondTime::hidesChanges(const struct stat &st, qint64 referenceMs)
{
    return hides(UploadSource::mtimeOf(st), st.st_mtim.tv_nsec == 0, referenceMs);
}

QDateTime WholeSecondTime::recorded(const QDateTime &mtime, qint64 referenceMs, const std::function<QString()> &path)
{
    if (!mtime.isValid())
        return mtime;
    const qint64 ms = mtime.toMSecsSinceEpoch();
    if (!hides(ms, ms % 1000 == 0, referenceMs))
        return mtime;
    // One time in a thousand has zero milliseconds anywhere; a file that still has this time and
    // nanoseconds besides is on a file system that would have shown a change.
    struct stat st;
    if (::lstat(QFile::encodeName(path()).constData(), &st) == 0 && UploadSource::mtimeOf(st) == ms && st.st_mtim.tv_nsec != 0)
        return mtime;
    return mtime.addMSecs(-1);
}

bool WholeSecondTime::isMarkFor(const QDateTime &stored, const QDateTime &found)
{
    return stored.isValid() && found.isValid() && found.toMSecsSinceEpoch() % 1000 == 0 &&
           stored.toMSecsSinceEpoch() == found.toMSecsSinceEpoch() - 1;
}
