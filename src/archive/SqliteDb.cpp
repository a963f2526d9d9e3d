#include "SqliteDb.h"

CSqliteDb::CSqliteDb(const std::string& path, int flags)
{
    const int result = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
    if (result != SQLITE_OK) {
        const std::string why = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(result);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw CSqliteError(result & 0xff, why);
    }
    sqlite3_extended_result_codes(m_db, 0);
}

CSqliteDb::~CSqliteDb()
{
    sqlite3_close_v2(m_db);
}

void CSqliteDb::Fail(int result) const
{
    throw CSqliteError(result & 0xff, sqlite3_errmsg(m_db));
}

void CSqliteDb::Exec(const char* sql)
{
    if (const int result = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); result != SQLITE_OK)
        Fail(result);
}

std::int64_t CSqliteDb::QueryInt(const char* sql)
{
    CStatement statement(*this, sql);
    return statement.Step() ? statement.Int(0) : 0;
}

std::string CSqliteDb::QueryText(const char* sql)
{
    CStatement statement(*this, sql);
    return statement.Step() ? statement.Text(0) : std::string();
}

std::int64_t CSqliteDb::LastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

CStatement::CStatement(CSqliteDb& db, const char* sql) : m_db(db)
{
    Check(sqlite3_prepare_v2(db.Handle(), sql, -1, &m_statement, nullptr));
}

CStatement::~CStatement()
{
    sqlite3_finalize(m_statement);
}

void CStatement::Check(int result)
{
    if (result != SQLITE_OK)
        m_db.Fail(result);
}

CStatement& CStatement::Bind(int index, std::int64_t value)
{
    Check(sqlite3_bind_int64(m_statement, index, value));
    return *this;
}

CStatement& CStatement::Bind(int index, std::string_view text)
{
    Check(sqlite3_bind_text64(m_statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

CStatement& CStatement::BindBlob(int index, const void* bytes, std::size_t size)
{
    Check(sqlite3_bind_blob64(m_statement, index, size == 0 ? "" : bytes, size, SQLITE_TRANSIENT));
    return *this;
}

CStatement& CStatement::BindNull(int index)
{
    Check(sqlite3_bind_null(m_statement, index));
    return *this;
}

bool CStatement::Step()
{
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    sqlite3_reset(m_statement);
    m_db.Fail(result);
}

void CStatement::Run()
{
    while (Step()) {
    }
}

void CStatement::Reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

std::int64_t CStatement::Int(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

std::string CStatement::Text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return text == nullptr ? std::string() : std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)));
}

std::string CStatement::Blob(int column) const
{
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    return bytes == nullptr ? std::string() : std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)));
}

bool CStatement::IsNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

CTransaction::CTransaction(CSqliteDb& db) : m_db(db)
{
    m_db.Exec("BEGIN IMMEDIATE");
}

CTransaction::~CTransaction()
{
    if (m_open)
        sqlite3_exec(m_db.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void CTransaction::Commit()
{
    m_db.Exec("COMMIT");
    m_open = false;
}
