#include "sync/Syncher.h"

#include "sync/SyncherDetail.h"

#include <QFile>
#include <QHash>
#include <QTextStream>

#include <algorithm>

using namespace SyncherDetail;

namespace {

QList<QRegularExpression> s_excludePatterns;
QList<QRegularExpression> s_silentPatterns;

// Answers per folder for the two process-wide lists: a folder is seen again for every file below
// it, a file name once. Emptied at the end of each run and bounded within one.
QHash<QString, bool> s_excludeCache;
QHash<QString, bool> s_silentCache;
constexpr int kMaxCachedFolders = 10000;

bool matchesAny(const QStringRef &name, const QList<QRegularExpression> &patterns)
{
    for (const QRegularExpression &pattern : patterns) {
        if (pattern.match(name).hasMatch())
            return true;
    }
    return false;
}

bool anyPartMatches(const QStringRef &path, const QList<QRegularExpression> &patterns)
{
    const QVector<QStringRef> parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QStringRef &part : parts) {
        if (matchesAny(part, patterns))
            return true;
    }
    return false;
}

} // namespace

void SyncherDetail::loadPatternListsOnce()
{
    if (s_excludePatterns.isEmpty()) {
        s_excludePatterns = Syncher::loadExcludePatterns(QStringLiteral(":/res/patterns/exclude.txt"));
        s_excludeCache = QHash<QString, bool>();
    }
    if (s_silentPatterns.isEmpty()) {
        s_silentPatterns = Syncher::loadExcludePatterns(QStringLiteral(":/res/patterns/exclude_silently.txt"));
        s_silentCache = QHash<QString, bool>();
    }
}

// ---- exclusion patterns and size rule

QList<QRegularExpression> Syncher::loadExcludePatterns(const QString &fileName)
{
    QList<QRegularExpression> patterns;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("Syncher::loadExcludePatterns: Failed to read exclude patterns: %s",
                 qUtf8Printable(file.errorString()));
        return patterns;
    }
    static const QRegularExpression ignored(QStringLiteral("^\\s*(|#.*)$"));
    QTextStream in(&file);
    in.setCodec("UTF-8");
    int lineNo = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNo;
        if (ignored.match(line).hasMatch())
            continue;
        QRegularExpression pattern(QLatin1Char('^') + line + QLatin1Char('$'));
        if (!pattern.isValid()) {
            qWarning("Syncher::loadExcludePatterns: invalid pattern (line: %d): %s", lineNo, escaped(line).constData());
            continue;
        }
        pattern.optimize();
        patterns.append(pattern);
    }
    file.close();
    qDebug("Syncher::loadExcludePatterns: exclude patterns found: %d", patterns.size());
    return patterns;
}

const QList<QRegularExpression> &Syncher::excludePatterns()
{
    return s_excludePatterns;
}

const QList<QRegularExpression> &Syncher::silentExcludePatterns()
{
    return s_silentPatterns;
}

bool Syncher::isNotExcluded(const QString &relPath, const QList<QRegularExpression> &patterns)
{
    QHash<QString, bool> *cache = nullptr;
    if (&patterns == &s_excludePatterns)
        cache = &s_excludeCache;
    else if (&patterns == &s_silentPatterns)
        cache = &s_silentCache;
    return isNotExcluded(relPath, patterns, cache);
}

bool Syncher::isNotExcluded(const QString &relPath, const QList<QRegularExpression> &patterns,
                            QHash<QString, bool> *folderCache)
{
    const int slash = relPath.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        if (!folderCache) {
            if (anyPartMatches(relPath.leftRef(slash), patterns))
                return false;
        } else {
            // The folder is looked up in a text of this thread's, written in place: a text of its
            // own is made only for a folder seen the first time.
            thread_local QString folder;
            folder.resize(slash);
            std::copy(relPath.constData(), relPath.constData() + slash, folder.data());
            auto hit = folderCache->constFind(folder);
            if (hit == folderCache->constEnd()) {
                if (folderCache->size() >= kMaxCachedFolders)
                    folderCache->clear();
                hit = folderCache->insert(QString(folder.constData(), slash),
                                          anyPartMatches(relPath.leftRef(slash), patterns));
            }
            if (hit.value())
                return false;
        }
    }
    const QStringRef name = relPath.midRef(slash + 1);
    return name.isEmpty() || !matchesAny(name, patterns);
}

void Syncher::clearExclusionCaches()
{
    s_excludeCache = QHash<QString, bool>();
    s_silentCache = QHash<QString, bool>();
}

int Syncher::exclusionCacheSize()
{
    return s_excludeCache.size() + s_silentCache.size();
}

bool Syncher::isSizeValid(SyncAction *action, const QString &path, const FsObject &object)
{
    static constexpr qint64 maxSize = qint64(SyncAction::MaxFileSizeMB) * 1024 * 1024;
    const qint64 size = object.size();
    if (size < 0) {
        action->setAction(SyncAction::NoAction);
        action->setStatus(SyncAction::STATUS_OK);
        qDebug("Syncher::isSizeValid: invalid size: %lld (negative) '%s'", size, escaped(path).constData());
        return false;
    }
    if (size == 0) {
        action->setAction(SyncAction::NoAction);
        action->setStatus(SyncAction::STATUS_OK);
        qDebug("Syncher::isSizeValid: invalid size: %lld (zero) '%s'", size, escaped(path).constData());
        return false;
    }
    if (size > maxSize) {
        action->setAction(SyncAction::NoAction);
        action->setStatus(SyncAction::ERR_FILE_TOO_BIG);
        qDebug("Syncher::isSizeValid: invalid size: %lld (too big) '%s'", size, escaped(path).constData());
        return false;
    }
    return true;
}
