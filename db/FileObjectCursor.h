#pragma once

#include "sync/FsObject.h"

#include <QString>

#include <functional>

struct sqlite3;
struct sqlite3_stmt;

// The rows of FileObjectDao::loadAll's statement, stepped through SQLite itself on the client's
// connection a bounded number at a time, so that the caller can serve the event loop between
// chunks. A failure goes the way of every failed statement (R7Database::reportFailure). The
// statement is finalized when the rows are exhausted, on a failure, by finish() or by the
// destructor; the connection is only borrowed. GUI thread only.
class FileObjectCursor
{
public:
    enum State { Reading, Done, Failed };

    explicit FileObjectCursor(qint64 settingId);
    ~FileObjectCursor();
    FileObjectCursor(const FileObjectCursor &) = delete;
    FileObjectCursor &operator=(const FileObjectCursor &) = delete;

    // Hands up to `rows` entries to `take`, in the order SQLite returns them; Reading while more
    // may follow. The entry is the callee's to change or keep.
    State read(int rows, const std::function<void(FsObject &)> &take);
    State state() const { return m_state; }
    // The driver's words for the failure; empty unless Failed.
    QString failure() const { return m_failure; }
    void finish();

private:
    void fail(const char *driverText);

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    State m_state = Reading;
    QString m_failure;
};
