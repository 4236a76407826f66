#include "campaign/store/sqlite_database.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "campaign/store/layouts.h"
#include "campaign/store/statement.h"

namespace qavrel::campaign {

namespace {

class SqliteQuery : public Query {
 public:
  Statement statement;

  void reset() override { statement.reset(); }
  void bind_text(int index, std::string_view text) override { statement.bind_text(index, text); }
  void bind_integer(int index, std::int64_t value) override {
    statement.bind_integer(index, value);
  }
  void bind_real(int index, double value) override { statement.bind_real(index, value); }
  void bind_null(int index) override { statement.bind_null(index); }
  Step step() override {
    switch (statement.step()) {
      case SQLITE_ROW:
        return Step::row;
      case SQLITE_DONE:
        return Step::done;
      default:
        return Step::failed;
    }
  }
  bool is_null(int column) const override { return statement.is_null(column); }
  std::string text(int column) const override { return statement.text(column); }
  std::int64_t integer(int column) const override { return statement.integer(column); }
  double real(int column) const override { return statement.real(column); }
};

class SqliteDatabase : public Database {
 public:
  explicit SqliteDatabase(std::string path) : path_(std::move(path)) {}
  ~SqliteDatabase() override {
    inserts_.clear();
    // Closed once the statements, finalized before this, are gone.
    sqlite3_close_v2(db_);
  }
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  Status open(int wait_ms, const std::string& bench) {
    if (sqlite3_open(path_.c_str(), &db_) != SQLITE_OK) return failure();
    // Another program may hold the store for a moment; a write-ahead log
    // keeps readers and the writer apart and makes each commit cheap.
    sqlite3_busy_timeout(db_, wait_ms);
    if (Status set = execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"); !set.ok())
      return set;
    return create_or_migrate(db_, bench);
  }

  Status prepare(const std::string& sql, std::unique_ptr<Query>& query) override {
    auto made = std::make_unique<SqliteQuery>();
    if (Status prepared = made->statement.prepare(db_, sql); !prepared.ok()) return prepared;
    query = std::move(made);
    return {};
  }

  Status execute(const std::string& sql) override {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK ? Status()
                                                                                  : failure();
  }

  std::string error() override {
    std::string text = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    // SQLite's words for a failed read or write ("disk I/O error") leave
    // out the system's reason, which tells a full disk from a size limit.
    const int code = db_ != nullptr ? sqlite3_errcode(db_) & 0xff : SQLITE_OK;
    if ((code == SQLITE_IOERR || code == SQLITE_FULL || code == SQLITE_CANTOPEN) &&
        sqlite3_system_errno(db_) != 0)
      text += std::string(" (") + std::strerror(sqlite3_system_errno(db_)) + ")";
    return text;
  }

  bool in_transaction() override { return sqlite3_get_autocommit(db_) == 0; }
  Status begin() override { return execute("BEGIN"); }
  Status commit() override { return execute("COMMIT"); }
  void rollback() override {
    for (auto& [sql, insert] : inserts_) insert.reset();
    if (in_transaction()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  Status insert_numbers(const char* table, const std::vector<NumberColumn>& columns) override {
    std::string names;
    std::string values;
    for (const NumberColumn& column : columns) {
      names += names.empty() ? "" : ", ";
      names += column.name;
      values += values.empty() ? "?" : ", ?";
    }
    const std::string sql =
        std::string("INSERT INTO ") + table + " (" + names + ") VALUES (" + values + ")";
    Statement& insert = inserts_[sql];
    if (!insert.prepared())
      if (Status prepared = insert.prepare(db_, sql); !prepared.ok()) return prepared;
    const std::size_t rows = columns.empty()           ? 0
                             : columns.front().is_real ? columns.front().reals.size()
                                                       : columns.front().integers.size();
    for (std::size_t row = 0; row < rows; ++row) {
      insert.reset();
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const int index = static_cast<int>(c) + 1;
        if (columns[c].is_real)
          insert.bind_real(index, columns[c].reals[row]);
        else
          insert.bind_integer(index, columns[c].integers[row]);
      }
      if (insert.step() != SQLITE_DONE) return failure();
    }
    return {};
  }

  Status check_writable() override {
    if (sqlite3_db_readonly(db_, "main") == 1) return Status::failure("it is read-only");
    return execute("BEGIN IMMEDIATE; COMMIT;");
  }

  // The output folder's lock keeps every other run out.
  Status lock_bench(const std::string& /*bench*/, int /*wait_ms*/) override { return {}; }

  std::string where() const override { return path_; }

 private:
  Status failure() { return Status::failure(error()); }

  std::string path_;
  sqlite3* db_ = nullptr;
  std::map<std::string, Statement> inserts_;
};

}  // namespace

Status open_sqlite(const std::string& path, int wait_ms, const std::string& bench,
                   std::unique_ptr<Database>& database) {
  // A store file that may not be written would be opened read-only, and
  // its shared-memory file made so too, which would keep later runs from
  // writing it even once its own mode is mended.
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  for (const std::string& file : {path, path + "-wal", path + "-shm", folder}) {
    if (::access(file.c_str(), F_OK) != 0 || ::access(file.c_str(), W_OK) == 0) continue;
    const std::string name = file == folder ? file : file.substr(slash + 1);
    return Status::failure(name + " can't be written: " + std::strerror(errno));
  }
  auto opened = std::make_unique<SqliteDatabase>(path);
  if (Status status = opened->open(wait_ms, bench); !status.ok()) return status;
  database = std::move(opened);
  return {};
}

}  // namespace qavrel::campaign
