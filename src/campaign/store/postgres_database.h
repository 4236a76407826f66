// The store on a PostgreSQL server, through libpq. Statements that return
// no rows are sent in pipeline mode without waiting for the server; their
// results are read when a query needs rows, at commit and before execute,
// and a failure among them is told then.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "campaign/store/database.h"
#include "core/status.h"

struct pg_conn;
struct pg_result;

namespace qavrel::campaign {

// Connects to the server that url names (any libpq connection string: a
// postgresql:// URI or key=value pairs), and makes or checks the tables
// in schema qavrel_campaign.
Status open_postgres(const std::string& url, std::unique_ptr<Database>& database);

// The values bound to a statement; no value is NULL.
using ParameterValues = std::vector<std::optional<std::string>>;

class PostgresDatabase : public Database {
 public:
  PostgresDatabase(pg_conn* connection, std::string where);
  ~PostgresDatabase() override;
  PostgresDatabase(const PostgresDatabase&) = delete;
  PostgresDatabase& operator=(const PostgresDatabase&) = delete;

  Status prepare(const std::string& sql, std::unique_ptr<Query>& query) override;
  Status execute(const std::string& sql) override;
  std::string error() override;
  bool in_transaction() override;
  Status begin() override;
  Status commit() override;
  void rollback() override;
  Status insert_numbers(const char* table, const std::vector<NumberColumn>& columns) override;
  Status check_writable() override;
  Status lock_bench(const std::string& bench, int wait_ms) override;
  std::string where() const override;

  // For the queries: sends a prepared statement that returns no rows, its
  // result read later.
  Status send(const std::string& name, const ParameterValues& values);
  // Runs a prepared statement and gives its rows; the caller clears them.
  Status run(const std::string& name, const ParameterValues& values, pg_result*& rows);
  // Runs SQL that is not prepared and gives the first column of its first
  // row ("" when it has none).
  Status query_text(const std::string& sql, const ParameterValues& values, std::string& value);

 private:
  // Reads the results of every statement sent and leaves pipeline mode;
  // the first failure among them is returned.
  Status collect_sent();
  // Also copies the rows insert_numbers keeps in: done before anything
  // that reads, and before a commit.
  Status settle();
  Status copy_kept_rows();
  Status run_simple(const std::string& sql);
  Status enter_pipeline();
  // Counts a statement sent, reading the results when many wait.
  Status sent_one();
  void deallocate_forgotten();
  // Keeps the reason for error() and returns it as a failure.
  Status failed(const std::string& reason);
  Status failed_result(const pg_result* result);

  pg_conn* connection_;
  std::string where_;
  std::string error_;
  std::string lost_reason_;  // why the connection was lost, when it was
  // The names of prepared statements whose queries are gone.
  std::shared_ptr<std::vector<std::string>> forgotten_;
  int sent_ = 0;  // statements sent whose results are unread
  // Rows of insert_numbers not yet sent, as COPY's text, by "table (columns)".
  std::map<std::string, std::string> kept_rows_;
  // Prepared statements that change rows (and may return some): they read
  // no table, so the rows kept wait on.
  std::set<std::string> changing_;
  std::size_t kept_bytes_ = 0;
  bool in_transaction_ = false;
  int statements_ = 0;  // for unique names of prepared statements
};

}  // namespace qavrel::campaign
