// The synchronised-file store at 10,000 and 100,000 entries of one setting, beside the same work
// done directly through SQLite's C API on a file of the same schema and index.
#include "core/AppInfo.h"
#include "db/FileObjectDao.h"
#include "db/R7Database.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

const int kSetting = 7;

QTemporaryDir *s_dir = nullptr;
AppInfo *s_info = nullptr;

QString pathOf(int i)
{
    return QStringLiteral("Projects/%1/Reports/file-%2.docx").arg(i % 97).arg(i);
}

FsObject objectOf(int i)
{
    return FsObject(QStringLiteral("obj-%1").arg(i), pathOf(i), 1000 + i,
                    QDateTime::fromMSecsSinceEpoch(1480000000000LL + i),
                    QDateTime::fromMSecsSinceEpoch(1480000005000LL + i), QString(), QStringLiteral("f"),
                    QStringLiteral("sha256:9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"));
}

// A fresh client database holding nothing.
void openClientDatabase(const QString &name)
{
    s_info->databasePath = s_dir->filePath(name);
    QFile::remove(s_info->databasePath);
    R7Database::instance()->init(s_info);
}

void storeAll(int n)
{
    R7Database::instance()->transaction();
    for (int i = 0; i < n; ++i)
        FileObjectDao::instance()->store(objectOf(i), kSetting);
    R7Database::instance()->commit();
}

void BM_Client_StoreBatch(benchmark::State &state)
{
    const int n = int(state.range(0));
    std::vector<FsObject> objects;
    for (int i = 0; i < n; ++i)
        objects.push_back(objectOf(i));
    for (auto _ : state) {
        state.PauseTiming();
        openClientDatabase(QStringLiteral("store.db3"));
        state.ResumeTiming();
        R7Database::instance()->transaction();
        for (const FsObject &object : objects)
            FileObjectDao::instance()->store(object, kSetting);
        R7Database::instance()->commit();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_Client_LoadAll(benchmark::State &state)
{
    const int n = int(state.range(0));
    openClientDatabase(QStringLiteral("load.db3"));
    storeAll(n);
    for (auto _ : state) {
        const QHash<QString, FsObject> all = FileObjectDao::instance()->loadAll(kSetting);
        if (all.size() != n)
            state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(all);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_Client_LoadByPath(benchmark::State &state)
{
    const int n = int(state.range(0));
    openClientDatabase(QStringLiteral("lookup.db3"));
    storeAll(n);
    std::vector<QString> paths;
    std::mt19937 random(11);
    for (int i = 0; i < n; ++i)
        paths.push_back(pathOf(int(random() % unsigned(n))));
    for (auto _ : state) {
        for (const QString &path : paths) {
            const FsObject object = FileObjectDao::instance()->loadByPath(kSetting, path);
            if (object.isNull())
                state.SkipWithError("missing row");
            benchmark::DoNotOptimize(object);
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The reference: one connection, one prepared statement per kind, plain C++ records.
struct Row
{
    std::string objectId;
    std::string path;
    sqlite3_int64 size;
    sqlite3_int64 localMtime;
    sqlite3_int64 remoteMtime;
    std::string type;
    std::string checksum;
};

std::string text(sqlite3_stmt *statement, int column)
{
    const unsigned char *value = sqlite3_column_text(statement, column);
    return value ? std::string(reinterpret_cast<const char *>(value), size_t(sqlite3_column_bytes(statement, column)))
                 : std::string();
}

Row readRow(sqlite3_stmt *statement)
{
    return Row{text(statement, 0),
               text(statement, 1),
               sqlite3_column_int64(statement, 2),
               sqlite3_column_int64(statement, 3),
               sqlite3_column_int64(statement, 4),
               text(statement, 5),
               text(statement, 6)};
}

sqlite3 *openReference(const std::string &path)
{
    std::remove(path.c_str());
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "create table fs_object (id INTEGER PRIMARY KEY AUTOINCREMENT, setting_id INTEGER, path TEXT, "
                 "checksum TEXT, local_mtime INTEGER, remote_mtime INTEGER, type TEXT, size INTEGER, object_id TEXT);"
                 "CREATE INDEX fs_object_setting_path ON fs_object(setting_id, path);",
                 nullptr, nullptr, nullptr);
    return db;
}

void storeReference(sqlite3 *db, const std::vector<Row> &rows)
{
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO fs_object (object_id, path, setting_id, checksum, local_mtime, remote_mtime, "
                       "type, size) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                       -1, &insert, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const Row &row : rows) {
        sqlite3_bind_text(insert, 1, row.objectId.c_str(), int(row.objectId.size()), SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, row.path.c_str(), int(row.path.size()), SQLITE_STATIC);
        sqlite3_bind_int64(insert, 3, kSetting);
        sqlite3_bind_text(insert, 4, row.checksum.c_str(), int(row.checksum.size()), SQLITE_STATIC);
        sqlite3_bind_int64(insert, 5, row.localMtime);
        sqlite3_bind_int64(insert, 6, row.remoteMtime);
        sqlite3_bind_text(insert, 7, row.type.c_str(), int(row.type.size()), SQLITE_STATIC);
        sqlite3_bind_int64(insert, 8, row.size);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(insert);
}

std::vector<Row> referenceRows(int n)
{
    std::vector<Row> rows;
    for (int i = 0; i < n; ++i) {
        const FsObject object = objectOf(i);
        rows.push_back(Row{object.objectId().toStdString(), object.path().toStdString(), object.size(),
                           object.localMtime().toMSecsSinceEpoch(), object.remoteMtime().toMSecsSinceEpoch(),
                           object.type().toStdString(), object.checksum().toStdString()});
    }
    return rows;
}

std::string referencePath(const char *name)
{
    return s_dir->filePath(QString::fromLatin1(name)).toStdString();
}

void BM_CApi_StoreBatch(benchmark::State &state)
{
    const std::vector<Row> rows = referenceRows(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3 *db = openReference(referencePath("ref-store.db3"));
        state.ResumeTiming();
        storeReference(db, rows);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_CApi_LoadAll(benchmark::State &state)
{
    const int n = int(state.range(0));
    sqlite3 *db = openReference(referencePath("ref-load.db3"));
    storeReference(db, referenceRows(n));
    sqlite3_stmt *select = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT object_id, path, size, local_mtime, remote_mtime, type, checksum FROM fs_object WHERE "
                       "setting_id = ?",
                       -1, &select, nullptr);
    for (auto _ : state) {
        std::unordered_map<std::string, Row> all;
        sqlite3_bind_int64(select, 1, kSetting);
        while (sqlite3_step(select) == SQLITE_ROW) {
            Row row = readRow(select);
            all[row.path] = std::move(row);
        }
        sqlite3_reset(select);
        if (int(all.size()) != n)
            state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(all);
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_CApi_LoadByPath(benchmark::State &state)
{
    const int n = int(state.range(0));
    sqlite3 *db = openReference(referencePath("ref-lookup.db3"));
    storeReference(db, referenceRows(n));
    std::vector<std::string> paths;
    std::mt19937 random(11);
    for (int i = 0; i < n; ++i)
        paths.push_back(pathOf(int(random() % unsigned(n))).toStdString());
    sqlite3_stmt *select = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT object_id, path, size, local_mtime, remote_mtime, type, checksum FROM fs_object WHERE "
                       "setting_id = ? AND path = ?",
                       -1, &select, nullptr);
    for (auto _ : state) {
        for (const std::string &path : paths) {
            sqlite3_bind_int64(select, 1, kSetting);
            sqlite3_bind_text(select, 2, path.c_str(), int(path.size()), SQLITE_STATIC);
            if (sqlite3_step(select) != SQLITE_ROW)
                state.SkipWithError("missing row");
            Row row = readRow(select);
            benchmark::DoNotOptimize(row);
            sqlite3_reset(select);
        }
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * n);
}

} // namespace

BENCHMARK(BM_Client_StoreBatch)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CApi_StoreBatch)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Client_LoadAll)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CApi_LoadAll)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Client_LoadByPath)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CApi_LoadByPath)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // As in a running client at its usual level: no per-row debug lines.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QTemporaryDir dir;
    s_dir = &dir;
    AppInfo info = AppInfo::forThisBuild();
    s_info = &info;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
