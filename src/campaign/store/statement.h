// A prepared SQLite statement, finalized when it goes out of scope, with
// the store's one rule for text: valid UTF-8 is stored as TEXT, and any
// other bytes (a file name may hold any) as a BLOB of exactly those bytes,
// so that every TEXT value reads as UTF-8 and no name is ever altered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/status.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qavrel::campaign {

class Statement {
 public:
  Statement() = default;
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Fails with SQLite's reason.
  Status prepare(sqlite3* db, const std::string& sql);
  bool prepared() const { return statement_ != nullptr; }
  // Makes it ready to run again, its bindings cleared.
  void reset();

  // Parameters count from 1.
  void bind_text(int index, std::string_view text);
  void bind_integer(int index, std::int64_t value);
  void bind_real(int index, double value);  // not-a-number becomes NULL
  void bind_null(int index);

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step();

  // Columns of the current row count from 0.
  bool is_null(int column) const;
  std::string text(int column) const;  // a TEXT or a BLOB, as bytes
  std::int64_t integer(int column) const;
  double real(int column) const;  // NULL reads as not-a-number

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace qavrel::campaign
