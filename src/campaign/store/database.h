// What the results store asks of the database under it, so that the same
// store runs on the embedded SQLite file or on a shared PostgreSQL server.
// Only what differs between the two lives behind this: connecting, the
// layout of the tables, locks, bulk inserts and the types of values.
//
// SQL given to prepare uses ? for parameters and the syntax both accept
// (INSERT ... ON CONFLICT ... DO UPDATE, RETURNING). Text is bytes: any
// bytes bound come back exactly as they were, UTF-8 or not.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

namespace qavrel::campaign {

enum class Step { row, done, failed };

// A prepared statement. Parameters count from 1, columns of a row from 0.
class Query {
 public:
  virtual ~Query() = default;
  // Makes it ready to run again, its bindings cleared.
  virtual void reset() = 0;
  virtual void bind_text(int index, std::string_view text) = 0;
  virtual void bind_integer(int index, std::int64_t value) = 0;
  virtual void bind_real(int index, double value) = 0;  // not-a-number becomes NULL
  virtual void bind_null(int index) = 0;
  // Runs it, or moves to its next row. A statement that returns no rows
  // may only be sent, its failure told by a later step or commit.
  virtual Step step() = 0;
  virtual bool is_null(int column) const = 0;
  virtual std::string text(int column) const = 0;
  virtual std::int64_t integer(int column) const = 0;
  virtual double real(int column) const = 0;  // NULL reads as not-a-number
};

// A column of numbers for insert_numbers: integers, or reals when is_real
// (not-a-number stored as NULL).
struct NumberColumn {
  const char* name;
  bool is_real;
  std::vector<std::int64_t> integers;
  std::vector<double> reals;
};

class Database {
 public:
  virtual ~Database() = default;

  virtual Status prepare(const std::string& sql, std::unique_ptr<Query>& query) = 0;
  // Runs statements that bind nothing and return no rows.
  virtual Status execute(const std::string& sql) = 0;
  // The reason of the last failure, as the database gave it.
  virtual std::string error() = 0;

  virtual bool in_transaction() = 0;
  virtual Status begin() = 0;
  virtual Status commit() = 0;
  // Undoes what the open transaction did, if one is open; says nothing.
  virtual void rollback() = 0;

  // Inserts one row per value of the columns (all of one length), in as
  // few round trips as the database allows.
  virtual Status insert_numbers(const char* table, const std::vector<NumberColumn>& columns) = 0;

  // Fails, with the reason, when no addition could be made now: another
  // program holds the store past the wait, or it is read-only.
  virtual Status check_writable() = 0;
  // Keeps other runs of this bench out of the store until it is closed,
  // waiting up to wait_ms for one that holds it.
  virtual Status lock_bench(const std::string& bench, int wait_ms) = 0;
  // Where the store is, for messages: a password is never shown.
  virtual std::string where() const = 0;
};

}  // namespace qavrel::campaign
