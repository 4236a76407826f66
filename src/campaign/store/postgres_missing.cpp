// open_postgres in a build without libpq: the rest of the program works
// on SQLite stores, and a PostgreSQL one is refused with the reason.
#include "campaign/store/postgres_database.h"

namespace qavrel::campaign {

Status open_postgres(const std::string& /*url*/, std::unique_ptr<Database>& /*database*/) {
  return Status::failure("this qavrel-campaign was built without PostgreSQL (libpq-dev)");
}

}  // namespace qavrel::campaign
