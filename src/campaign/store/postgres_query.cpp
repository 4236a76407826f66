#include "campaign/store/postgres_query.h"

#include <libpq-fe.h>

#include <cmath>
#include <utility>

#include "campaign/store/postgres_values.h"
#include "campaign/store/text_bytes.h"

namespace qavrel::campaign {

PostgresQuery::PostgresQuery(PostgresDatabase& database, std::string name, int parameters,
                             bool rows, std::shared_ptr<std::vector<std::string>> forgotten)
    : database_(database),
      name_(std::move(name)),
      returns_rows_(rows),
      forgotten_(std::move(forgotten)),
      values_(static_cast<std::size_t>(parameters)) {}

PostgresQuery::~PostgresQuery() {
  clear_rows();
  forgotten_->push_back(name_);
}

void PostgresQuery::clear_rows() {
  PQclear(rows_);
  rows_ = nullptr;
  row_ = 0;
  ran_ = false;
}

void PostgresQuery::reset() {
  clear_rows();
  for (auto& value : values_) value.reset();
}

void PostgresQuery::bind(int index, std::optional<std::string> value) {
  if (index < 1) return;
  const auto at = static_cast<std::size_t>(index - 1);
  if (at >= values_.size()) values_.resize(at + 1);
  values_[at] = std::move(value);
}

void PostgresQuery::bind_text(int index, std::string_view text) {
  bind(index, utf8_from_bytes(text));
}

void PostgresQuery::bind_integer(int index, std::int64_t value) {
  bind(index, std::to_string(value));
}

void PostgresQuery::bind_real(int index, double value) { bind(index, real_text(value)); }

void PostgresQuery::bind_null(int index) { bind(index, std::nullopt); }

Step PostgresQuery::step() {
  if (!returns_rows_) {
    if (ran_) return Step::done;
    ran_ = true;
    return database_.send(name_, values_).ok() ? Step::done : Step::failed;
  }
  if (!ran_) {
    ran_ = true;
    if (!database_.run(name_, values_, rows_).ok()) return Step::failed;
    row_ = 0;
  } else {
    ++row_;
  }
  return rows_ != nullptr && row_ < PQntuples(rows_) ? Step::row : Step::done;
}

bool PostgresQuery::is_null(int column) const {
  return rows_ == nullptr || PQgetisnull(rows_, row_, column) != 0;
}

std::string PostgresQuery::text(int column) const {
  return is_null(column) ? std::string() : bytes_from_utf8(PQgetvalue(rows_, row_, column));
}

std::int64_t PostgresQuery::integer(int column) const {
  return is_null(column) ? 0 : integer_from_text(PQgetvalue(rows_, row_, column));
}

double PostgresQuery::real(int column) const {
  return is_null(column) ? std::nan("") : real_from_text(PQgetvalue(rows_, row_, column));
}

}  // namespace qavrel::campaign
