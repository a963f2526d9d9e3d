#pragma once
// A thin C++ face of SQLite for the archive: one connection, prepared
// statements with bound values, errors as CSqliteError. Our own rather than a
// packaged wrapper because the Windows build compiles SQLite from source and
// a second library would have to be cross-built with it; this is all the
// archive uses.

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

class CSqliteError : public std::runtime_error {
public:
    CSqliteError(int code, const std::string& what) : std::runtime_error(what), m_code(code) {}
    int Code() const { return m_code; }            // the primary result code (SQLITE_FULL, ...)
    bool Damaged() const { return m_code == SQLITE_CORRUPT || m_code == SQLITE_NOTADB; }

private:
    int m_code;
};

class CSqliteDb;

// One prepared statement; the text is always a constant of ours, values are bound.
class CStatement {
public:
    CStatement(CSqliteDb& db, const char* sql);
    ~CStatement();
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    CStatement& Bind(int index, std::int64_t value);
    CStatement& Bind(int index, std::string_view text);
    CStatement& BindBlob(int index, const void* bytes, std::size_t size);
    CStatement& BindNull(int index);

    bool Step();    // true while a row is there
    void Run();     // steps a statement that returns no rows
    void Reset();   // ready for new values

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    std::string Blob(int column) const;
    bool IsNull(int column) const;

private:
    void Check(int result);

    CSqliteDb& m_db;
    sqlite3_stmt* m_statement = nullptr;
};

class CSqliteDb {
public:
    // flags as sqlite3_open_v2 takes them; throws when the file cannot be opened.
    CSqliteDb(const std::string& path, int flags);
    ~CSqliteDb();
    CSqliteDb(const CSqliteDb&) = delete;
    CSqliteDb& operator=(const CSqliteDb&) = delete;

    void Exec(const char* sql);   // fixed statements only: pragmas, schema, transactions
    std::int64_t QueryInt(const char* sql);
    std::string QueryText(const char* sql);
    std::int64_t LastInsertId() const;
    [[noreturn]] void Fail(int result) const;
    sqlite3* Handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

// A write transaction: BEGIN IMMEDIATE takes the write lock at once, so two
// programs sharing the file wait (busy timeout) instead of failing midway.
// Rolled back unless committed.
class CTransaction {
public:
    explicit CTransaction(CSqliteDb& db);
    ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;
    void Commit();

private:
    CSqliteDb& m_db;
    bool m_open = true;
};
