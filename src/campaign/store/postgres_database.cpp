#include "campaign/store/postgres_database.h"

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "campaign/store/connection_text.h"
#include "campaign/store/postgres_layout.h"
#include "campaign/store/postgres_query.h"
#include "campaign/store/postgres_values.h"
#include "campaign/store/text_bytes.h"

namespace qavrel::campaign {

namespace {

// Results are read at least this often, so that neither side's buffers
// fill while the other waits to write.
constexpr int most_sent = 1000;
// Rows of insert_numbers are sent once this much text waits.
constexpr std::size_t most_kept_bytes = 8 << 20;

constexpr const char* lost_connection = "the connection to the server was lost: ";

// The first line of a libpq message, trimmed: its further lines are hints
// meant for psql.
std::string first_line(const char* message) {
  std::string text = message == nullptr ? "" : message;
  if (const std::size_t newline = text.find('\n'); newline != std::string::npos)
    text.resize(newline);
  const std::size_t start = text.find_first_not_of(" \t");
  const std::size_t end = text.find_last_not_of(" \t\r");
  return start == std::string::npos ? std::string() : text.substr(start, end + 1 - start);
}

// The reason a result gives: the server's own message when it sent one.
std::string reason_of(const PGresult* result, const PGconn* connection) {
  if (const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY))
    return first_line(primary);
  std::string reason = first_line(PQresultErrorMessage(result));
  return reason.empty() ? first_line(PQerrorMessage(connection)) : reason;
}

bool succeeded(const PGresult* result) {
  const ExecStatusType status = PQresultStatus(result);
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// The values as libpq takes them: a null pointer for NULL.
std::vector<const char*> value_pointers(const ParameterValues& values) {
  std::vector<const char*> pointers;
  pointers.reserve(values.size());
  for (const auto& value : values) pointers.push_back(value ? value->c_str() : nullptr);
  return pointers;
}

struct ClearResult {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ClearResult>;

}  // namespace

PostgresDatabase::PostgresDatabase(pg_conn* connection, std::string where)
    : connection_(connection),
      where_(std::move(where)),
      forgotten_(std::make_shared<std::vector<std::string>>()) {}

PostgresDatabase::~PostgresDatabase() { PQfinish(connection_); }

Status PostgresDatabase::failed(const std::string& reason) {
  // A failed write leaves the connection looking good until libpq reads
  // again: reading what waits tells a closed one.
  if (PQstatus(connection_) == CONNECTION_OK) PQconsumeInput(connection_);
  if (PQstatus(connection_) == CONNECTION_BAD) {
    // The first reason tells why; what follows only says there is none.
    if (lost_reason_.empty()) lost_reason_ = reason;
    error_ = lost_connection + lost_reason_;
  } else {
    error_ = reason;
  }
  return Status::failure(error_);
}

Status PostgresDatabase::failed_result(const pg_result* result) {
  return failed(reason_of(result, connection_));
}

Status PostgresDatabase::enter_pipeline() {
  if (PQpipelineStatus(connection_) != PQ_PIPELINE_OFF) return {};
  return PQenterPipelineMode(connection_) == 1 ? Status()
                                               : failed(first_line(PQerrorMessage(connection_)));
}

Status PostgresDatabase::sent_one() {
  ++sent_;
  return sent_ >= most_sent ? collect_sent() : Status();
}

Status PostgresDatabase::collect_sent() {
  if (PQpipelineStatus(connection_) == PQ_PIPELINE_OFF) return {};
  std::string failure;
  if (PQpipelineSync(connection_) != 1) {
    failure = first_line(PQerrorMessage(connection_));
  } else {
    // Each statement's results end with a null; the sync ends them all.
    int nulls = 0;
    for (;;) {
      Result result(PQgetResult(connection_));
      if (!result) {
        if (PQstatus(connection_) == CONNECTION_BAD || ++nulls > 1) break;
        continue;
      }
      nulls = 0;
      const ExecStatusType status = PQresultStatus(result.get());
      if (status == PGRES_PIPELINE_SYNC) break;
      if (status == PGRES_FATAL_ERROR && failure.empty())
        failure = reason_of(result.get(), connection_);
    }
  }
  sent_ = 0;
  if (PQexitPipelineMode(connection_) != 1 && failure.empty())
    failure = first_line(PQerrorMessage(connection_));
  return failure.empty() ? Status() : failed(failure);
}

Status PostgresDatabase::send(const std::string& name, const ParameterValues& values) {
  if (Status entered = enter_pipeline(); !entered.ok()) return entered;
  const std::vector<const char*> pointers = value_pointers(values);
  if (PQsendQueryPrepared(connection_, name.c_str(), static_cast<int>(pointers.size()),
                          pointers.data(), nullptr, nullptr, 0) != 1)
    return failed(first_line(PQerrorMessage(connection_)));
  return sent_one();
}

Status PostgresDatabase::run(const std::string& name, const ParameterValues& values,
                             pg_result*& rows) {
  if (Status settled = changing_.count(name) != 0 ? collect_sent() : settle(); !settled.ok())
    return settled;
  const std::vector<const char*> pointers = value_pointers(values);
  Result result(PQexecPrepared(connection_, name.c_str(), static_cast<int>(pointers.size()),
                               pointers.data(), nullptr, nullptr, 0));
  if (!succeeded(result.get())) return failed_result(result.get());
  rows = result.release();
  return {};
}

Status PostgresDatabase::run_simple(const std::string& sql) {
  if (Status settled = settle(); !settled.ok()) return settled;
  Result result(PQexec(connection_, sql.c_str()));
  return succeeded(result.get()) ? Status() : failed_result(result.get());
}

Status PostgresDatabase::query_text(const std::string& sql, const ParameterValues& values,
                                    std::string& value) {
  if (Status settled = settle(); !settled.ok()) return settled;
  const std::vector<const char*> pointers = value_pointers(values);
  Result result(PQexecParams(connection_, sql.c_str(), static_cast<int>(pointers.size()), nullptr,
                             pointers.data(), nullptr, nullptr, 0));
  if (!succeeded(result.get())) return failed_result(result.get());
  value = PQntuples(result.get()) > 0 ? PQgetvalue(result.get(), 0, 0) : "";
  return {};
}

void PostgresDatabase::deallocate_forgotten() {
  if (forgotten_->empty()) return;
  std::string sql;
  for (const std::string& name : *forgotten_) sql.append("DEALLOCATE ").append(name).append(";");
  forgotten_->clear();
  // Best effort: in a failed transaction they stay until the session ends.
  PQclear(PQexec(connection_, sql.c_str()));
}

Status PostgresDatabase::prepare(const std::string& sql, std::unique_ptr<Query>& query) {
  if (Status collected = collect_sent(); !collected.ok()) return collected;
  deallocate_forgotten();
  int parameters = 0;
  const std::string numbered = numbered_parameters(sql, parameters);
  std::string name = "qavrel_" + std::to_string(++statements_);
  Result result(PQprepare(connection_, name.c_str(), numbered.c_str(), 0, nullptr));
  if (!succeeded(result.get())) return failed_result(result.get());
  if (changes_rows(sql)) changing_.insert(name);
  query = std::make_unique<PostgresQuery>(*this, std::move(name), parameters, returns_rows(sql),
                                          forgotten_);
  return {};
}

Status PostgresDatabase::execute(const std::string& sql) { return run_simple(sql); }

std::string PostgresDatabase::error() { return error_; }

bool PostgresDatabase::in_transaction() { return in_transaction_; }

Status PostgresDatabase::begin() {
  if (Status begun = run_simple("BEGIN"); !begun.ok()) return begun;
  in_transaction_ = true;
  return {};
}

Status PostgresDatabase::commit() {
  if (Status settled = settle(); !settled.ok()) {
    rollback();
    return settled;
  }
  Result result(PQexec(connection_, "COMMIT"));
  // Whether it failed or not, the transaction is over.
  in_transaction_ = false;
  if (!succeeded(result.get())) return failed_result(result.get());
  // The server answers COMMIT of a failed transaction by rolling it back.
  if (std::string(PQcmdStatus(result.get())) == "ROLLBACK")
    return failed("the transaction was rolled back, as a statement in it failed");
  return {};
}

void PostgresDatabase::rollback() {
  kept_rows_.clear();
  kept_bytes_ = 0;
  if (PQstatus(connection_) == CONNECTION_BAD) {
    // Nothing to undo: the server ended the transaction with the session.
    sent_ = 0;
    in_transaction_ = false;
    return;
  }
  // A failure found here is what led to the rollback, told already.
  static_cast<void>(collect_sent());
  if (in_transaction_) PQclear(PQexec(connection_, "ROLLBACK"));
  in_transaction_ = false;
}

Status PostgresDatabase::insert_numbers(const char* table,
                                        const std::vector<NumberColumn>& columns) {
  if (columns.empty()) return {};
  const std::size_t rows =
      columns.front().is_real ? columns.front().reals.size() : columns.front().integers.size();
  std::string key = table;
  for (std::size_t i = 0; i < columns.size(); ++i)
    key.append(i == 0 ? " (" : ", ").append(columns[i].name);
  key += ")";
  // Kept as COPY's text, sent in one go: the server adds rows that come
  // by COPY several times faster than those of single statements.
  std::string& text = kept_rows_[key];
  const std::size_t before = text.size();
  for (std::size_t row = 0; row < rows; ++row)
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const NumberColumn& column = columns[i];
      if (column.is_real) {
        const std::optional<std::string> value = real_text(column.reals[row]);
        text += value ? *value : "\\N";
      } else {
        text += std::to_string(column.integers[row]);
      }
      text += i + 1 == columns.size() ? '\n' : '\t';
    }
  kept_bytes_ += text.size() - before;
  return kept_bytes_ >= most_kept_bytes ? copy_kept_rows() : Status();
}

Status PostgresDatabase::settle() {
  if (Status collected = collect_sent(); !collected.ok()) return collected;
  return copy_kept_rows();
}

Status PostgresDatabase::copy_kept_rows() {
  if (kept_rows_.empty()) return {};
  if (Status collected = collect_sent(); !collected.ok()) return collected;
  std::map<std::string, std::string> rows;
  rows.swap(kept_rows_);
  kept_bytes_ = 0;
  for (const auto& [into, text] : rows) {
    Result started(PQexec(connection_, ("COPY " + into + " FROM STDIN").c_str()));
    if (PQresultStatus(started.get()) != PGRES_COPY_IN) return failed_result(started.get());
    const bool sent = PQputCopyData(connection_, text.data(), static_cast<int>(text.size())) == 1;
    if (PQputCopyEnd(connection_, sent ? nullptr : "not sent") != 1)
      return failed(first_line(PQerrorMessage(connection_)));
    Status status;
    for (Result result(PQgetResult(connection_)); result; result.reset(PQgetResult(connection_)))
      if (status.ok() && !succeeded(result.get())) status = failed_result(result.get());
    if (!status.ok()) return status;
    if (!sent) return failed(first_line(PQerrorMessage(connection_)));
  }
  return {};
}

Status PostgresDatabase::check_writable() {
  std::string read_only;
  if (Status asked = query_text("SHOW transaction_read_only", {}, read_only); !asked.ok())
    return asked;
  if (read_only == "on") return failed("the server takes no changes in this session (read-only)");
  std::string refusal;
  if (Status asked = query_text(
          "SELECT CASE WHEN has_schema_privilege(current_user, 'qavrel_campaign', 'USAGE') AND "
          "has_table_privilege(current_user, 'qavrel_campaign.analyses', 'INSERT') THEN '' "
          "ELSE 'user ' || current_user || ' may not add to the tables of schema "
          "qavrel_campaign' END",
          {}, refusal);
      !asked.ok())
    return asked;
  return refusal.empty() ? Status() : failed(refusal);
}

Status PostgresDatabase::lock_bench(const std::string& bench, int wait_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  // Keyed by the bench, so that runs of other benches never wait for it.
  const ParameterValues key = {utf8_from_bytes("qavrel-campaign bench " + bench)};
  for (;;) {
    std::string locked;
    if (Status asked =
            query_text("SELECT pg_try_advisory_lock(hashtextextended($1, 0))", key, locked);
        !asked.ok())
      return asked;
    if (locked == "t") return {};
    const Clock::time_point now = Clock::now();
    if (now >= deadline)
      return failed(std::string("another run of bench ").append(bench).append(" holds it"));
    std::this_thread::sleep_for(
        std::min<Clock::duration>(std::chrono::milliseconds(100), deadline - now));
  }
}

std::string PostgresDatabase::where() const { return where_; }

Status open_postgres(const std::string& url, std::unique_ptr<Database>& database) {
  // Later keywords win over what the string expands to, earlier ones lose:
  // the string's own timeouts win, while the encoding is always UTF-8,
  // which the text mapping needs. Over TCP, a server cut off by the
  // network is given up on after about a minute, not the system's two
  // hours, so that a run ends and a watch tries again.
  const char* const keywords[] = {
      "connect_timeout",  "keepalives_idle", "keepalives_interval", "keepalives_count",
      "tcp_user_timeout", "dbname",          "client_encoding",     nullptr};
  const char* const values[] = {"10", "30", "10", "3", "60000", url.c_str(), "UTF8", nullptr};
  PGconn* connection = PQconnectdbParams(keywords, values, 1);
  if (connection == nullptr) return Status::failure("out of memory");
  if (PQstatus(connection) != CONNECTION_OK) {
    std::string reason = without_passwords(first_line(PQerrorMessage(connection)), url);
    PQfinish(connection);
    return Status::failure(reason);
  }
  // The server's notices ("already exists, skipping") are not for users.
  PQsetNoticeProcessor(
      connection, [](void* /*unused*/, const char* /*message*/) {}, nullptr);
  auto opened = std::make_unique<PostgresDatabase>(connection, masked_connection(url));
  std::string encoding;
  Status status = opened->query_text("SHOW server_encoding", {}, encoding);
  if (status.ok() && encoding != "UTF8" && encoding != "SQL_ASCII")
    status = Status::failure(std::string("its database keeps text as ")
                                 .append(encoding)
                                 .append("; the store needs UTF8"));
  if (status.ok()) status = opened->execute("SET search_path TO qavrel_campaign");
  // The server gives up on a client cut off as soon, so that the session
  // does not hold the bench's lock and its rows for hours; where the
  // server, the role or the URL's options set these, or the server has no
  // such setting, theirs stand.
  if (status.ok()) {
    std::string applied;
    status = opened->query_text(
        "SELECT count(set_config(name, wanted.value, false)) FROM (VALUES"
        " ('tcp_keepalives_idle', '30'), ('tcp_keepalives_interval', '10'),"
        " ('tcp_keepalives_count', '3'), ('tcp_user_timeout', '60000')) AS wanted (name, value)"
        " JOIN pg_settings USING (name) WHERE source = 'default'",
        {}, applied);
  }
  if (status.ok()) status = create_or_migrate_postgres(*opened);
  if (status.ok()) database = std::move(opened);
  return status;
}

}  // namespace qavrel::campaign
