#include "common/Sqlite.h"

#include <sqlite3.h>

#include <cstring>

namespace palaverly {

SqliteDatabase::~SqliteDatabase()
{
    if (m_db)
        sqlite3_close_v2(m_db);
}

bool SqliteDatabase::open(const std::filesystem::path& file)
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_file = file;
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    // A cache: losing the last transactions in a crash only means reading those files again.
    return exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
}

bool SqliteDatabase::openImage(std::string_view image)
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_file.clear();
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(image.size()));
    if (!copy && !image.empty())
        return false;
    if (!image.empty())
        std::memcpy(copy, image.data(), image.size());
    // SQLite owns the copy from here on, even when it refuses it.
    return sqlite3_deserialize(m_db, "main", copy, static_cast<sqlite3_int64>(image.size()),
               static_cast<sqlite3_int64>(image.size()), SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE)
        == SQLITE_OK;
}

bool SqliteDatabase::reset()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(m_file.string() + suffix, ignored);
    return open(m_file);
}

bool SqliteDatabase::openWithSchema(
    const std::filesystem::path& file, int version, const char* table, const char* schema)
{
    if (!open(file) && !reset())
        return false;
    if (userVersion() == version)
        return true;
    if (exec(("DROP TABLE IF EXISTS " + std::string(table)).c_str()) && exec(schema))
        return true;
    return reset() && exec(schema);
}

bool SqliteDatabase::exec(const char* sql)
{
    return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

int SqliteDatabase::userVersion()
{
    SqliteStatement statement(*this, "PRAGMA user_version");
    return statement.step() && statement.isInteger(0) ? static_cast<int>(statement.integer(0)) : -1;
}

SqliteStatement::SqliteStatement(SqliteDatabase& db, const std::string& sql)
{
    if (!db.handle()
        || sqlite3_prepare_v2(db.handle(), sql.c_str(), static_cast<int>(sql.size()), &m_statement, nullptr)
            != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        m_error = true;
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

void SqliteStatement::bind(int index, std::int64_t value)
{
    if (m_statement)
        sqlite3_bind_int64(m_statement, index, value);
}

void SqliteStatement::bind(int index, double value)
{
    if (m_statement)
        sqlite3_bind_double(m_statement, index, value);
}

void SqliteStatement::bind(int index, std::string_view bytes)
{
    if (m_statement)
        sqlite3_bind_blob64(m_statement, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

void SqliteStatement::bindNull(int index)
{
    if (m_statement)
        sqlite3_bind_null(m_statement, index);
}

bool SqliteStatement::step()
{
    if (!m_statement)
        return false;
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    m_error = m_error || result != SQLITE_DONE;
    return false;
}

void SqliteStatement::reset()
{
    if (!m_statement)
        return;
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

bool SqliteStatement::isInteger(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_INTEGER;
}

bool SqliteStatement::isReal(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_FLOAT;
}

bool SqliteStatement::isBlob(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_BLOB;
}

bool SqliteStatement::isText(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_TEXT;
}

std::int64_t SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double SqliteStatement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

std::string_view SqliteStatement::bytes(int column) const
{
    const void* data = sqlite3_column_blob(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    if (!data || size <= 0)
        return {};
    return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db)
    : m_db(db)
    , m_open(db.exec("BEGIN IMMEDIATE"))
{
}

SqliteTransaction::~SqliteTransaction()
{
    if (m_open)
        m_db.exec("ROLLBACK");
}

bool SqliteTransaction::commit()
{
    if (!m_open)
        return false;
    m_open = false;
    return m_db.exec("COMMIT");
}

} // namespace palaverly
