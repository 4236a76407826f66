// The store's tables on a PostgreSQL server, in schema qavrel_campaign:
// the same tables and views as the SQLite store's, with PostgreSQL's
// types. A PostgreSQL store starts at layout 8; later layouts are reached
// by the steps of migrate, as the SQLite store's are.
#pragma once

#include <string>

#include "campaign/store/database.h"
#include "core/status.h"

namespace qavrel::campaign {

// The first layout a PostgreSQL store was made with.
constexpr int first_postgres_layout = 8;

// The PostgreSQL type of a column that the SQLite table gives sqlite_type:
// integers as BIGINT (the id an identity), reals as DOUBLE PRECISION, text
// ordered by bytes; constraints after the type are kept.
std::string postgres_type(const std::string& sqlite_type);

// The SQL that creates the tables and views of the first layout.
std::string postgres_tables_sql();

// Creates the tables of an empty schema, or brings an older layout up to
// the current one, in one transaction that no other connection can run at
// the same time. Refuses a layout newer than this program knows, naming
// both.
Status create_or_migrate_postgres(Database& database);

}  // namespace qavrel::campaign
