// A results store in a PostgreSQL database, which several benches share.
#pragma once

#include <memory>
#include <string>

#include "campaign/store/database.h"

namespace qavrel::campaign {

Status open_postgres(const std::string& url, std::unique_ptr<Database>& database);

// The connection string with its password, if it holds one, masked.
std::string masked_connection(const std::string& url);

}  // namespace qavrel::campaign
