// A prepared statement on the PostgreSQL server. Values are sent and read
// as text; text goes through utf8_from_bytes, so any bytes come back.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "campaign/store/database.h"
#include "campaign/store/postgres_database.h"

namespace qavrel::campaign {

class PostgresQuery : public Query {
 public:
  // name is the server's name of the prepared statement; forgotten takes
  // it when the query goes, for the database to deallocate (it may be
  // gone by then).
  PostgresQuery(PostgresDatabase& database, std::string name, int parameters, bool rows,
                std::shared_ptr<std::vector<std::string>> forgotten);
  ~PostgresQuery() override;
  PostgresQuery(const PostgresQuery&) = delete;
  PostgresQuery& operator=(const PostgresQuery&) = delete;

  void reset() override;
  void bind_text(int index, std::string_view text) override;
  void bind_integer(int index, std::int64_t value) override;
  void bind_real(int index, double value) override;
  void bind_null(int index) override;
  Step step() override;
  bool is_null(int column) const override;
  std::string text(int column) const override;
  std::int64_t integer(int column) const override;
  double real(int column) const override;

 private:
  void bind(int index, std::optional<std::string> value);
  void clear_rows();

  PostgresDatabase& database_;
  std::string name_;
  bool returns_rows_;
  std::shared_ptr<std::vector<std::string>> forgotten_;
  ParameterValues values_;
  pg_result* rows_ = nullptr;
  int row_ = 0;
  bool ran_ = false;
};

}  // namespace qavrel::campaign
