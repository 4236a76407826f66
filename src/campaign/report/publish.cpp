#include "campaign/report/publish.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <unordered_set>

#include "campaign/common/hashing.h"
#include "campaign/report/chip_lists.h"
#include "campaign/report/chip_page.h"
#include "campaign/report/colour_map.h"
#include "campaign/report/csv_tables.h"
#include "campaign/report/output_names.h"
#include "core/atomic_write.h"

namespace qavrel::campaign {

namespace fs = std::filesystem;

namespace {

const std::atomic<bool> never{false};

bool same_content(const std::string& path, const std::string& text) {
  // Only a regular file is read: opening a FIFO would wait for a writer.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::size_t>(info.st_size) != text.size())
    return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream old;
  old << in.rdbuf();
  return old.str() == text;
}

// An output cut short by a power cut before it reached the disk is empty.
bool missing(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) != 0 || info.st_size == 0;
}

// A folder of outputs, open so that its many files are looked at by name
// alone rather than by their whole paths.
class Folder {
 public:
  explicit Folder(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~Folder() {
    if (fd_ >= 0) ::close(fd_);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  bool missing(const std::string& name) const {
    struct stat info {};
    return fd_ < 0 || ::fstatat(fd_, name.c_str(), &info, 0) != 0 || info.st_size == 0;
  }

 private:
  int fd_;
};

// Outputs are renamed into place but not synced: the store they are made
// from is, and a run after a power cut makes them again.
class Output {
 public:
  // Nothing is put in place once stop is set: the output stays as it was.
  Output(std::string path, const std::atomic<bool>& stop)
      : path_(std::move(path)),
        stop_(stop),
        status_(file_.open(path_.c_str(), qavrel::AtomicFile::Durability::renamed)) {}
  void write(const std::string& text) {
    if (status_.ok()) status_ = file_.write(text);
  }
  void finish(std::vector<std::string>& failures) {
    if (stop_) return;
    if (status_.ok()) status_ = file_.commit();
    if (!status_.ok()) failures.push_back("cannot write " + path_ + ": " + status_.reason());
  }

 private:
  std::string path_;
  const std::atomic<bool>& stop_;
  qavrel::AtomicFile file_;
  qavrel::Status status_;
};

// Writes text to path, unless the file holds it already.
void write_output(const std::string& path, const std::string& text,
                  std::vector<std::string>& failures, const std::atomic<bool>& stop) {
  if (stop || same_content(path, text)) return;
  Output output(path, stop);
  output.write(text);
  output.finish(failures);
}

// What a chip's page shows: each of its analyses and how it stands, the
// limits its colours and grades follow, and the tool that made it.
std::string chip_fingerprint(const ChipSummary& chip, const std::vector<FileResult>& results,
                             const GradeLimits& limits) {
  Fingerprint fingerprint;
  fingerprint.add(tool_version).add(chip.chip);
  for (const double limit : {limits.a, limits.b, limits.c}) fingerprint.add(full_precision(limit));
  for (const auto* files : {&chip.current, &chip.superseded})
    for (const std::size_t i : *files) {
      const FileResult& result = results[i];
      fingerprint.add(result.analysis.path).add(result.analysis.id);
      fingerprint.add(result.superseded_by == FileResult::current
                          ? ""
                          : results[result.superseded_by].analysis.path);
      fingerprint.add(result.shares_log_with).add(result.owns_log ? 1 : 0);
    }
  return fingerprint.text();
}

// The lists of index/: every chip by name, those that are not A, and the
// problems.
struct Lists {
  std::vector<std::size_t> by_name;
  std::vector<std::size_t> attention;  // chips that are not A, worst first

  Lists(const std::vector<ChipSummary>& chips, const std::vector<std::size_t>& worst)
      : by_name(chips.size()) {
    std::iota(by_name.begin(), by_name.end(), std::size_t{0});
    for (const std::size_t i : worst)
      if (chips[i].grade != Grade::a) attention.push_back(i);
  }

  std::vector<std::string> names() const {
    std::vector<std::string> names{"problems.html"};
    for (const auto& [stem, chips] : {std::pair{"chips", &by_name}, {"not-a", &attention}})
      for (std::size_t page = 1; (page - 1) * chips_per_page < chips->size(); ++page)
        names.push_back(list_page_name(stem, page));
    return names;
  }
};

// Removes the list pages of index/ that the lists no longer have.
void remove_other_pages(const std::string& folder, const Lists& lists) {
  std::unordered_set<std::string> kept;
  for (const std::string& name : lists.names()) kept.insert(name);
  DIR* const listing = ::opendir(folder.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    const bool list_page = name.size() > 5 && name.compare(name.size() - 5, 5, ".html") == 0 &&
                           (name.rfind("chips-", 0) == 0 || name.rfind("not-a-", 0) == 0);
    if (list_page && kept.count(name) == 0) ::unlinkat(::dirfd(listing), entry->d_name, 0);
  }
  ::closedir(listing);
}

class Publisher {
 public:
  Publisher(std::string directory, std::vector<FileResult>& results, ReportContext& context,
            ResultsStore& store, const PublishSettings& settings, const std::atomic<bool>& stop)
      : directory_(std::move(directory)),
        results_(results),
        context_(context),
        store_(store),
        settings_(settings),
        stop_(stop) {}

  std::vector<std::string> run();

 private:
  std::string path(const std::string& name) const { return directory_ + "/" + name; }
  // Whether the files found are all there are: a folder that could not be
  // searched may hold those whose pages and maps would otherwise go.
  bool complete() const { return context_.search_failures.empty(); }
  bool up_to_date(const std::string& made_from, const Lists& lists);
  bool page_stands(const ChipSummary& chip, const std::string& made_from,
                   const std::unordered_map<std::string, ChipPage>& stored, const Folder& chips,
                   const Folder& plots) const;
  std::string map_of(std::size_t i);
  void write_chip_pages();
  void write_ratios_csv();
  void remove_other_plots() const;

  std::string directory_;
  std::vector<FileResult>& results_;
  ReportContext& context_;
  ResultsStore& store_;
  const PublishSettings& settings_;
  const std::atomic<bool>& stop_;
  std::vector<ChipSummary> chips_;
  std::vector<std::string> chip_made_from_;
  std::vector<std::string> failures_;
};

bool Publisher::up_to_date(const std::string& made_from, const Lists& lists) {
  if (made_from != store_.outputs_made_from()) return false;
  for (const char* name : {"report.html", "summary.csv", "chips.csv"})
    if (missing(path(name))) return false;
  if (settings_.ratios_csv && missing(path("ratios.csv"))) return false;
  for (const std::string& name : lists.names())
    if (missing(path("index/" + name))) return false;
  const Folder chips(path("chips"));
  for (const ChipSummary& chip : chips_)
    if (chips.missing(chip.page)) return false;
  const Folder plots(path("plots"));
  for (const FileResult& result : results_)
    if (result.analysis.has_ratios && plots.missing(plot_name(result.analysis))) return false;
  return true;
}

bool Publisher::page_stands(const ChipSummary& chip, const std::string& made_from,
                            const std::unordered_map<std::string, ChipPage>& stored,
                            const Folder& chips, const Folder& plots) const {
  const auto page = stored.find(chip.chip);
  if (page == stored.end() || page->second.made_from != made_from ||
      page->second.file != chip.page || chips.missing(chip.page))
    return false;
  for (const auto* files : {&chip.current, &chip.superseded})
    for (const std::size_t i : *files)
      if (results_[i].analysis.has_ratios && plots.missing(plot_name(results_[i].analysis)))
        return false;
  return true;
}

// The map of results[i] from its stored ratios, which is also written as
// its plot where that is missing.
std::string Publisher::map_of(std::size_t i) {
  const FileResult& result = results_[i];
  if (!result.analysis.has_ratios || result.analysis.id == 0) return {};
  RatioTable ratios;
  std::string error;
  if (!store_.load_ratios(result.analysis, ratios, error))
    failures_.push_back("cannot read the ratios of " + result.analysis.path + ": " + error);
  std::string map = colour_map_svg(result.analysis, ratios, context_.limits.c);
  const std::string plot = path("plots/" + plot_name(result.analysis));
  // Written again when its colours changed with the limits, as its page was.
  if (!result.plot_written) write_output(plot, map, failures_, stop_);
  return map;
}

void Publisher::write_chip_pages() {
  std::unordered_map<std::string, ChipPage> stored;
  std::string error;
  if (!store_.load_chip_pages(stored, error)) failures_.push_back("results store: " + error);
  std::vector<std::pair<std::string, ChipPage>> written;
  const Folder chip_folder(path("chips"));
  const Folder plot_folder(path("plots"));
  for (std::size_t c = 0; c < chips_.size() && !stop_; ++c) {
    const ChipSummary& chip = chips_[c];
    if (page_stands(chip, chip_made_from_[c], stored, chip_folder, plot_folder)) continue;
    const std::size_t failed = failures_.size();
    write_output(path("chips/" + chip.page),
                 chip_page(chip, results_, [this](std::size_t i) { return map_of(i); }), failures_,
                 stop_);
    if (failures_.size() == failed && !stop_)
      written.emplace_back(chip.chip, ChipPage{chip.page, chip_made_from_[c]});
  }
  // Pages of chips that are no longer in the campaign go, as do those of
  // chips whose page took another name.
  std::unordered_set<std::string> pages;
  std::unordered_set<std::string> present;
  for (const ChipSummary& chip : chips_) {
    pages.insert(chip.page);
    present.insert(chip.chip);
  }
  std::vector<std::string> removed;
  for (const auto& [chip, page] : stored) {
    if (!complete()) break;
    if (pages.count(page.file) == 0) ::unlink(path("chips/" + page.file).c_str());
    if (present.count(chip) == 0) removed.push_back(chip);
  }
  if (!store_.save_chip_pages(written, removed, error))
    failures_.push_back("results store: " + error);
}

// Removes the maps of files that are no longer in the campaign: those of
// plots/ named as maps are, that no file found has.
void Publisher::remove_other_plots() const {
  std::unordered_set<std::string> kept;
  for (const FileResult& result : results_) kept.insert(plot_name(result.analysis));
  DIR* const listing = ::opendir(path("plots").c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (is_plot_name(name) && kept.count(name) == 0) ::unlinkat(::dirfd(listing), entry->d_name, 0);
  }
  ::closedir(listing);
}

void Publisher::write_ratios_csv() {
  if (!settings_.ratios_csv) {
    // One written by an earlier run would no longer match the store.
    ::unlink(path("ratios.csv").c_str());
    return;
  }
  Output table(path("ratios.csv"), stop_);
  table.write(ratios_csv_header());
  RatioTable ratios;
  std::string error;
  for (const FileResult& result : results_) {
    if (!result.analysis.has_ratios || stop_) continue;
    if (!store_.load_ratios(result.analysis, ratios, error))
      failures_.push_back("cannot read the ratios of " + result.analysis.path + ": " + error);
    table.write(ratios_csv_rows(result.analysis, ratios));
  }
  table.finish(failures_);
}

std::vector<std::string> Publisher::run() {
  for (FileResult& result : results_) {
    result.grade = grade_of(result.analysis, context_.limits);
    context_.latest_analysis = std::max(context_.latest_analysis, result.analysis.analysed_at);
  }
  chips_ = summarise_chips(results_);
  const std::vector<std::size_t> worst = worst_first(chips_);
  const Lists lists(chips_, worst);

  Fingerprint everything;
  everything.add(tool_version).add(settings_.ratios_csv ? 1 : 0);
  for (const ChipSummary& chip : chips_) {
    chip_made_from_.push_back(chip_fingerprint(chip, results_, context_.limits));
    everything.add(chip_made_from_.back());
  }
  for (const SkippedFile& skipped : context_.skipped)
    everything.add(skipped.path).add(skipped.reason);
  for (const std::string& failure : context_.search_failures) everything.add(failure);
  const std::string made_from = everything.text();
  if (up_to_date(made_from, lists)) return {};

  for (const char* folder : {"chips", "index", "plots"}) {
    std::error_code made;
    fs::create_directories(path(folder), made);
    if (made) return {"cannot create " + path(folder) + ": " + made.message()};
  }
  write_chip_pages();

  write_output(path("index/problems.html"), problems_page(results_, context_), failures_, stop_);
  for (const auto& [name, page] :
       chip_list_pages("All chips", "chips", chips_, lists.by_name, results_))
    write_output(path("index/" + name), page, failures_, stop_);
  for (const auto& [name, page] : chip_list_pages("Chips that are not A, worst first", "not-a",
                                                  chips_, lists.attention, results_))
    write_output(path("index/" + name), page, failures_, stop_);
  remove_other_pages(path("index"), lists);
  if (complete()) remove_other_plots();

  FrontPageFacts facts;
  facts.worst_first = worst;
  facts.ratios_csv = settings_.ratios_csv;
  std::vector<std::int64_t> current;
  for (const FileResult& result : results_)
    if (result.superseded_by == FileResult::current && from_ratios(result.grade))
      current.push_back(result.analysis.id);
  std::string error;
  if (!store_.channel_means(current, facts.channel_means, error))
    failures_.push_back("results store: " + error);
  write_output(path("report.html"), front_page(results_, chips_, context_, facts), failures_,
               stop_);
  // The tables change with any analysis, and are streamed.
  Output summary(path("summary.csv"), stop_);
  summary_csv(results_, [&summary](const std::string& text) { summary.write(text); });
  summary.finish(failures_);
  Output chip_rows(path("chips.csv"), stop_);
  chips_csv(chips_, results_, [&chip_rows](const std::string& text) { chip_rows.write(text); });
  chip_rows.finish(failures_);
  write_ratios_csv();
  if (failures_.empty() && !stop_ && !store_.set_outputs_made_from(made_from, error))
    failures_.push_back("results store: " + error);
  return failures_;
}

}  // namespace

std::string write_plot(const std::string& path, const Analysis& analysis, const RatioTable& ratios,
                       double scale) {
  std::vector<std::string> failures;
  write_output(path, colour_map_svg(analysis, ratios, scale), failures, never);
  return failures.empty() ? std::string() : failures.front();
}

std::vector<std::string> publish(const std::string& directory, std::vector<FileResult>& results,
                                 ReportContext& context, ResultsStore& store,
                                 const PublishSettings& settings, const std::atomic<bool>& stop) {
  return Publisher(directory, results, context, store, settings, stop).run();
}

}  // namespace qavrel::campaign
