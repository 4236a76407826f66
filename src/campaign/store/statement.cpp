#include "campaign/store/statement.h"

#include <sqlite3.h>

#include <cmath>

#include "campaign/common/text.h"

namespace qavrel::campaign {

Statement::~Statement() { sqlite3_finalize(statement_); }

Status Statement::prepare(sqlite3* db, const std::string& sql) {
  sqlite3_finalize(statement_);
  statement_ = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) == SQLITE_OK) return {};
  return Status::failure(sqlite3_errmsg(db));
}

void Statement::reset() {
  // A statement that was never prepared has nothing to reset.
  if (statement_ == nullptr) return;
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

void Statement::bind_text(int index, std::string_view text) {
  const auto size = static_cast<int>(text.size());
  if (is_utf8(text))
    sqlite3_bind_text(statement_, index, text.data(), size, SQLITE_TRANSIENT);
  else
    sqlite3_bind_blob(statement_, index, text.data(), size, SQLITE_TRANSIENT);
}

void Statement::bind_integer(int index, std::int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
}

void Statement::bind_real(int index, double value) {
  if (std::isnan(value))
    sqlite3_bind_null(statement_, index);
  else
    sqlite3_bind_double(statement_, index, value);
}

void Statement::bind_null(int index) { sqlite3_bind_null(statement_, index); }

int Statement::step() { return sqlite3_step(statement_); }

bool Statement::is_null(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::string Statement::text(int column) const {
  // The bytes as stored, whether TEXT or BLOB; the length first, as SQLite
  // asks, so that it is that of the value as it is.
  const void* bytes = sqlite3_column_type(statement_, column) == SQLITE_BLOB
                          ? sqlite3_column_blob(statement_, column)
                          : static_cast<const void*>(sqlite3_column_text(statement_, column));
  const int size = sqlite3_column_bytes(statement_, column);
  return bytes == nullptr ? std::string() : std::string(static_cast<const char*>(bytes), size);
}

std::int64_t Statement::integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

double Statement::real(int column) const {
  return is_null(column) ? std::nan("") : sqlite3_column_double(statement_, column);
}

}  // namespace qavrel::campaign
