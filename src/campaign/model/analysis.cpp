#include "campaign/model/analysis.h"

#include "core/log_path.h"
#include "core/trains.h"

namespace qavrel::campaign {

const char* const tool_version = QAVREL_VERSION;

std::int64_t Analysis::complete_trains() const { return train_rows / qavrel::train_length; }
std::int64_t Analysis::cut_train_rows() const { return train_rows % qavrel::train_length; }
bool Analysis::has_data() const { return qavrel::has_pedestals(train_rows); }
std::string Analysis::log_path() const { return qavrel::log_path_for(path, chip, config); }
int Analysis::worst_channel_number() const {
  return qavrel::observed_channel(worst.column, parity.value_or(qavrel::Parity::odd));
}

namespace {

struct FailureName {
  Failure failure;
  const char* name;
};

constexpr FailureName failure_names[] = {{Failure::open, "open"},
                                         {Failure::read, "read"},
                                         {Failure::parity, "parity"},
                                         {Failure::log, "log"}};

}  // namespace

const char* failure_name(Failure failure) {
  for (const FailureName& entry : failure_names)
    if (entry.failure == failure) return entry.name;
  return "";
}

Failure failure_named(const std::string& name) {
  for (const FailureName& entry : failure_names)
    if (name == entry.name) return entry.failure;
  return Failure::none;
}

}  // namespace qavrel::campaign
