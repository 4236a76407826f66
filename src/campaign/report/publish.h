// The last step of a campaign run: the outputs in the campaign's folder.
//   report.html       the front page
//   chips/<chip>.html  a page per chip
//   index/            the lists of chips, 1,000 a page, and the problems;
//                     report.js, the pages' script, and chips.js, its data
//   plots/            a colour map per analysed file, as SVG
//   summary.csv, chips.csv, and ratios.csv when asked for
//
// Publishing reconciles rather than trusts: from its inputs it works out
// every output the folder should hold and what each is made from, and
// makes the folder match, writing what is missing or was made from
// anything else and removing what should not be there. The store records
// what each output was made from; a record is forgotten, durably, before
// its output is touched, and written only once the output is in place, so
// a run stopped at any point leaves no record that a later run could
// trust wrongly. A run that finds the record of the whole folder made from
// the same inputs, and every output there, writes nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "campaign/report/report_inputs.h"
#include "campaign/store/results_store.h"
#include "core/status.h"

namespace qavrel::campaign {

// What the whole output folder is made from: every input of every output.
std::uint64_t outputs_made_from(const ReportInputs& inputs);

struct Published {
  std::vector<Status> failures;
  bool cut_short;  // by stop, before every output was in place
  // The store failed: outputs that needed it were left as they were.
  bool store_failed = false;
};

// Makes the output folder hold the outputs made from inputs, with the
// ratios and channel means from store, and records in the store each
// file's grade where it differs from stored_grades. Maps that the run
// wrote and recorded already are not written again. Once stop is set
// nothing more is put in place: what was not yet replaced stays as it
// was. A stop that comes once all is in place cuts nothing short.
Published publish(const std::string& directory, const ReportInputs& inputs, ResultsStore& store,
                  const StoredGrades& stored_grades, const std::atomic<bool>& stop);

}  // namespace qavrel::campaign
