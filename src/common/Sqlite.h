#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace palaverly {

// A thin owner of one SQLite connection and its statements. The cache files of the program are
// SQLite databases that may be deleted or damaged at any time: every failure is reported as a
// value (false, nothing), never thrown, and the caller starts the file afresh. A connection is
// used by one thread at a time.
class SqliteDatabase {
public:
    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Opens (creating it and its folder when missing) the database; false when it cannot.
    bool open(const std::filesystem::path& file);
    // Opens a private in-memory database holding a copy of `image`, the bytes of a database file.
    bool openImage(std::string_view image);
    // Closes and deletes the file, then opens a new empty one.
    bool reset();
    // Opens the database and makes sure it is at `version` (PRAGMA user_version): another version,
    // an empty file, not a database at all, or one too damaged to take the schema (a header that
    // reads but a broken first page) has `table` dropped or starts afresh, then gets `schema`.
    bool openWithSchema(const std::filesystem::path& file, int version, const char* table, const char* schema);
    bool isOpen() const { return m_db != nullptr; }
    // Runs statements without results; false on any error.
    bool exec(const char* sql);
    // PRAGMA user_version.
    int userVersion();
    sqlite3* handle() const { return m_db; }
    const std::filesystem::path& file() const { return m_file; }

private:
    sqlite3* m_db = nullptr;
    std::filesystem::path m_file;
};

// One prepared statement. Columns and parameters are numbered as SQLite numbers them (columns
// from 0, parameters from 1).
class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, const std::string& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool isValid() const { return m_statement != nullptr; }
    void bind(int index, std::int64_t value);
    void bind(int index, double value);
    // The bytes are copied.
    void bind(int index, std::string_view bytes);
    void bindNull(int index);
    // True while a row is there; false at the end or on an error (error() tells).
    bool step();
    bool error() const { return m_error; }
    // Ready to bind and step again.
    void reset();

    bool isNull(int column) const;
    bool isInteger(int column) const;
    bool isReal(int column) const;
    bool isBlob(int column) const;
    bool isText(int column) const;
    std::int64_t integer(int column) const;
    double real(int column) const;
    // A blob or text column as bytes; valid until the next step or reset.
    std::string_view bytes(int column) const;

private:
    sqlite3_stmt* m_statement = nullptr;
    bool m_error = false;
};

// BEGIN on creation, COMMIT by commit(), ROLLBACK otherwise.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDatabase& db);
    ~SqliteTransaction();
    bool commit();

private:
    SqliteDatabase& m_db;
    bool m_open = false;
};

} // namespace palaverly
