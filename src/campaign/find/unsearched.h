// Files in folders that a run could not list.
#pragma once
#include <string>

#include "campaign/find/data_files.h"
#include "campaign/store/results_store.h"

namespace qavrel::campaign {

// Adds to found every file the store holds in a folder that found could
// not list: it may still be there, so its last stored analysis stands,
// with the file's and its log's states as stored, rather than the file
// vanishing from the outputs. False, with the reason, when the store can't
// be read.
bool take_unsearched(ResultsStore& store, FoundFiles& found, std::string& error);

}  // namespace qavrel::campaign
