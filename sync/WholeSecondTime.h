#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

struct stat;

// File systems that keep whole seconds (FAT in steps of two, ext4 made with 128-byte inodes, HFS+,
// shares built on them) leave a file's time as it was when the file is rewritten within the same
// step: size and time cannot show such a change. No system call tells the step, so a time without a
// sub-second part is taken as coming from such a file system, with FAT's step; on other file
// systems a fresh time practically never has one.
class WholeSecondTime
{
public:
    WholeSecondTime() = delete;

    static constexpr qint64 StepMs = 2000;
    // How far the kernel's file times may run behind the clock.
    static constexpr qint64 ClockLagMs = 100;

    // True when a same-size change made after the reference may have left this time as it is: it
    // has no sub-second part and is not older than the reference by more than the step.
    static bool hidesChanges(const struct stat &st, qint64 referenceMs);
    // The local time a state row keeps for content taken after the reference: the file's own, or,
    // when that hides changes, one a millisecond earlier, which the file cannot have, so that the next
    // run compares the contents once. The file is looked at (path() called) only for a time whose
    // milliseconds are zero: its nanoseconds tell the two kinds of file system apart.
    static QDateTime recorded(const QDateTime &mtime, qint64 referenceMs, const std::function<QString()> &path);
    // Whether a stored time is the one recorded() gave for the file's time found now: the file may
    // well be unchanged, which only its content can tell.
    static bool isMarkFor(const QDateTime &stored, const QDateTime &found);

private:
    static bool hides(qint64 mtimeMs, bool wholeSecond, qint64 referenceMs);
};
