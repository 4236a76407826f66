#include "campaign/report/publish.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <set>
#include <unordered_set>

#include "campaign/common/hashing.h"
#include "campaign/common/text.h"
#include "campaign/report/channel_profile.h"
#include "campaign/report/chip_lists.h"
#include "campaign/report/chip_page.h"
#include "campaign/report/chips_script.h"
#include "campaign/report/colour_map.h"
#include "campaign/report/csv_tables.h"
#include "campaign/report/front_page.h"
#include "campaign/report/output_file.h"
#include "campaign/report/output_names.h"
#include "campaign/report/page_script.h"
#include "campaign/report/summary_json.h"

namespace fs = std::filesystem;

namespace qavrel::campaign {

namespace {

// The record of the whole folder, beside those of its outputs.
const std::string whole_folder;

const char* const subfolders[] = {"chips", "index", "plots"};

// In the order they are written: a chip's page draws its maps, and writes
// those that are due with it.
enum class Kind {
  chip_page,
  map,
  page_script,
  chips_data,
  all_chips_page,
  not_a_page,
  problems,
  front_page,
  summary,
  chips_table,
  summary_json,
  ratios
};

// An output the folder should hold: its name in the folder, what it is made
// from (known at once, or once the page has been drawn), and which file,
// chip or page of a list it stands for.
struct Output {
  std::string name;
  Kind kind;
  std::size_t index = 0;
  std::uint64_t made_from = 0;
};

const char* const all_chips_title = "All chips";
const char* const not_a_title = "Chips that are not A, worst first";

// An output's state as it is in the folder, looked at by name.
FileState state_at(int folder, const std::string& name) {
  struct stat info {};
  if (::fstatat(folder, name.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode)) return {};
  constexpr std::int64_t nanoseconds_per_second = 1000000000;
  return {info.st_size, info.st_mtim.tv_sec * nanoseconds_per_second + info.st_mtim.tv_nsec,
          info.st_ctim.tv_sec * nanoseconds_per_second + info.st_ctim.tv_nsec};
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
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Syncs a folder, so that the outputs renamed into it are there before the
// store records them.
Status sync_folder(const std::string& path) {
  const Folder folder(path);
  if (folder.fd() < 0 || ::fsync(folder.fd()) != 0)
    return Status::failure("cannot sync " + path + ": " + std::strerror(errno));
  return {};
}

class Publisher {
 public:
  Publisher(std::string directory, const ReportInputs& inputs, ResultsStore& store,
            const StoredGrades& stored_grades, const std::atomic<bool>& stop)
      : directory_(std::move(directory)),
        inputs_(inputs),
        store_(store),
        stored_grades_(stored_grades),
        stop_(stop),
        everything_(outputs_made_from(inputs)),
        all_chips_(all_chips(inputs.grading)),
        not_a_(chips_not_a(inputs.grading)) {}

  Published run();

 private:
  std::string path(const std::string& name) const { return directory_ + "/" + name; }
  std::vector<Output> expected() const;
  std::string map_placeholder(std::size_t file) const;
  std::string map_of(std::size_t file);
  std::string profile_placeholder(const std::vector<std::size_t>& files) const;
  std::string profile_of(const std::vector<std::size_t>& files);
  RatioTable ratios_of(const Analysis& analysis);
  void decide(std::vector<Output>& outputs, const OutputRecords& records, bool inputs_as_recorded);
  std::vector<std::string> strays(const std::vector<Output>& outputs) const;
  void write(const Output& output);
  void write_text(const Output& output, const std::string& text);
  void write_streamed(const Output& output, const std::function<void(OutputFile&)>& fill);
  void placed(const Output& output);

  std::string directory_;
  const ReportInputs& inputs_;
  ResultsStore& store_;
  const StoredGrades& stored_grades_;
  const std::atomic<bool>& stop_;
  const std::uint64_t everything_;
  const std::vector<std::size_t> all_chips_;
  const std::vector<std::size_t> not_a_;
  std::vector<Output> to_write_;
  std::unordered_set<std::uint64_t> maps_to_write_;   // files whose maps are among to_write_
  std::vector<std::pair<Output, FileState>> placed_;  // and each one's state once in place
  bool cut_short_ = false;                            // by stop, with outputs not in place
  // A read from the store failed: what is drawn from then on would be
  // wrong, so nothing more is put in place.
  bool store_failed_ = false;
  std::set<std::string> touched_folders_;
  std::vector<Status> failures_;
  // The ratios read last: a chip page draws each file's map and then its
  // profile, and a store on a server is a round trip away.
  std::deque<std::pair<std::int64_t, RatioTable>> recent_ratios_;
};

std::vector<Output> Publisher::expected() const {
  const std::uint64_t everything = everything_;  // the lists, the front page and the tables
  std::vector<Output> outputs;
  for (std::size_t i = 0; i < inputs_.files.size(); ++i) {
    const Analysis& analysis = inputs_.files[i].analysis;
    if (analysis.has_ratios)
      outputs.push_back({"plots/" + plot_name(analysis), Kind::map, i,
                         map_made_from(analysis, inputs_.limits())});
  }
  for (std::size_t c = 0; c < inputs_.grading.chips.size(); ++c)
    outputs.push_back(
        {"chips/" + chip_page_name(inputs_.grading.chips[c].chip), Kind::chip_page, c});
  // The lists, the front page and the tables show the whole campaign.
  for (std::size_t page = 1; page <= list_page_count(all_chips_.size()); ++page)
    outputs.push_back(
        {"index/" + list_page_name("chips", page), Kind::all_chips_page, page, everything});
  for (std::size_t page = 1; page <= list_page_count(not_a_.size()); ++page)
    outputs.push_back(
        {"index/" + list_page_name("not-a", page), Kind::not_a_page, page, everything});
  // The script is the same for every campaign: it changes with the tool.
  outputs.push_back({"index/report.js", Kind::page_script, 0, hash_of_text(page_script())});
  outputs.push_back({"index/chips.js", Kind::chips_data, 0, everything});
  outputs.push_back({"index/problems.html", Kind::problems, 0, everything});
  outputs.push_back({"report.html", Kind::front_page, 0, everything});
  outputs.push_back({"summary.csv", Kind::summary, 0, everything});
  outputs.push_back({"chips.csv", Kind::chips_table, 0, everything});
  outputs.push_back({"summary.json", Kind::summary_json, 0, everything});
  if (inputs_.ratios_csv) outputs.push_back({"ratios.csv", Kind::ratios, 0, everything});
  return outputs;
}

// What a chip page shows of a map, for telling whether the page changed:
// what the map is made from.
std::string Publisher::map_placeholder(std::size_t file) const {
  const Analysis& analysis = inputs_.files[file].analysis;
  if (!analysis.has_ratios) return {};
  return "<map " + std::to_string(map_made_from(analysis, inputs_.limits())) + ">";
}

// A file's stored ratios; a failure to read them is one of the run's.
RatioTable Publisher::ratios_of(const Analysis& analysis) {
  constexpr std::size_t kept = 16;  // more than the files of a chip page, as a rule
  for (const auto& [id, ratios] : recent_ratios_)
    if (id == analysis.id) return ratios;
  RatioTable ratios;
  if (store_failed_) return ratios;
  if (Status loaded = store_.load_ratios(analysis.id, ratios); !loaded.ok()) {
    failures_.push_back(Status::failure("cannot read the ratios of " + analysis.path + ": " +
                                        loaded.reason() +
                                        "; the outputs not yet written were left as they were"));
    store_failed_ = true;
    return ratios;
  }
  if (recent_ratios_.size() == kept) recent_ratios_.pop_front();
  recent_ratios_.emplace_back(analysis.id, ratios);
  return ratios;
}

// The map of a file from its stored ratios, which is also written as its
// map file where that is to be written.
std::string Publisher::map_of(std::size_t file) {
  const Analysis& analysis = inputs_.files[file].analysis;
  if (!analysis.has_ratios) return {};
  std::string map = colour_map_svg(analysis, ratios_of(analysis), inputs_.limits());
  if (maps_to_write_.erase(file) != 0) {
    const Output output{"plots/" + plot_name(analysis), Kind::map, file,
                        map_made_from(analysis, inputs_.limits())};
    write_text(output, map);
  }
  return map;
}

// What a chip page shows of its profile, for telling whether the page
// changed: what each file's points are made from, as for its map.
std::string Publisher::profile_placeholder(const std::vector<std::size_t>& files) const {
  std::string placeholder = "<profile";
  for (const std::size_t file : files)
    placeholder +=
        " " + std::to_string(map_made_from(inputs_.files[file].analysis, inputs_.limits()));
  return placeholder + ">";
}

// The channel profile of files, from their stored ratios.
std::string Publisher::profile_of(const std::vector<std::size_t>& files) {
  std::vector<ProfileSeries> series;
  for (const std::size_t file : files) {
    const Analysis& analysis = inputs_.files[file].analysis;
    series.push_back({analysis.config, analysis.parity.value_or(qavrel::Parity::odd),
                      mean_ratios(ratios_of(analysis))});
  }
  return channel_profile_svg(series, inputs_.limits());
}

// Which outputs are to be written: those whose record says they were made
// from anything else, and those that are not as they were left: missing,
// empty (cut short by a power cut before reaching the disk), or changed by
// another program. A chip's page is made from what it shows, so it is
// drawn, with stand-ins for its maps, to tell; unless the folder as a
// whole was recorded made from these very inputs, when every record there
// is must hold.
void Publisher::decide(std::vector<Output>& outputs, const OutputRecords& records,
                       bool inputs_as_recorded) {
  // Each output is looked at by its name in its folder.
  const Folder top(directory_);
  const Folder chips(path("chips"));
  const Folder index(path("index"));
  const Folder plots(path("plots"));
  const auto state_of_output = [&](const std::string& name) {
    const std::size_t slash = name.find('/');
    if (slash == std::string::npos) return state_at(top.fd(), name);
    const std::string_view subfolder = std::string_view(name).substr(0, slash);
    const Folder& folder = subfolder == "chips" ? chips : subfolder == "index" ? index : plots;
    return state_at(folder.fd(), name.substr(slash + 1));
  };
  for (Output& output : outputs) {
    const auto record = records.find(hash_of(output.name));
    const bool recorded = record != records.end();
    if (output.kind == Kind::chip_page)
      output.made_from = inputs_as_recorded && recorded
                             ? record->second.made_from
                             : hash_of_text(chip_page(
                                   inputs_.grading.chips[output.index], inputs_,
                                   [this](std::size_t i) { return map_placeholder(i); },
                                   [this](const std::vector<std::size_t>& files) {
                                     return profile_placeholder(files);
                                   }));
    const FileState state = state_of_output(output.name);
    if (recorded && record->second.made_from == output.made_from && state.size > 0 &&
        state == record->second.state)
      continue;
    if (output.kind == Kind::map) maps_to_write_.insert(output.index);
    to_write_.push_back(output);
  }
}

// Outputs of earlier runs that this one has none of: in the subfolders,
// files named as their outputs are, and ratios.csv when it is not asked
// for. Other files, and temporaries (which the run removes once their
// writer is gone), are left alone.
std::vector<std::string> Publisher::strays(const std::vector<Output>& outputs) const {
  std::unordered_set<std::uint64_t> wanted;
  for (const Output& output : outputs) wanted.insert(hash_of(output.name));
  std::vector<std::string> strays;
  for (const std::string folder : subfolders) {
    DIR* const listing = ::opendir(path(folder).c_str());
    if (listing == nullptr) continue;
    while (const dirent* entry = ::readdir(listing)) {
      const std::string name = entry->d_name;
      const bool ours = folder == "plots" ? is_plot_name(name)
                        : folder == "chips"
                            ? name.size() > 5 && name.compare(name.size() - 5, 5, ".html") == 0
                            : is_list_page_name(name) || name == "problems.html";
      std::string output = folder;
      output += '/';
      output += name;
      if (name.front() != '.' && ours && wanted.count(hash_of(output)) == 0)
        strays.push_back(std::move(output));
    }
    ::closedir(listing);
  }
  struct stat info {};
  if (!inputs_.ratios_csv && ::stat(path("ratios.csv").c_str(), &info) == 0)
    strays.push_back("ratios.csv");
  return strays;
}

void Publisher::placed(const Output& output) {
  placed_.emplace_back(output, state_of(path(output.name)));
  const std::size_t slash = output.name.find('/');
  touched_folders_.insert(slash == std::string::npos ? "" : output.name.substr(0, slash));
}

void Publisher::write_text(const Output& output, const std::string& text) {
  if (store_failed_) return;
  bool done = false;
  if (Status written = write_output(path(output.name), text, stop_, done); !written.ok())
    failures_.push_back(written);
  else if (!done)
    cut_short_ = true;
  if (done) placed(output);
}

void Publisher::write_streamed(const Output& output, const std::function<void(OutputFile&)>& fill) {
  if (stop_) {
    cut_short_ = true;
    return;
  }
  OutputFile file(path(output.name), stop_);
  fill(file);
  if (store_failed_) return;  // what it holds would be wrong: it is not put in place
  if (Status finished = file.finish(); !finished.ok())
    failures_.push_back(finished);
  else if (!file.placed())
    cut_short_ = true;
  if (file.placed()) placed(output);
}

void Publisher::write(const Output& output) {
  if (store_failed_) return;
  if (stop_) {
    cut_short_ = true;
    return;
  }
  switch (output.kind) {
    case Kind::map:
      // Unless its chip's page drew it already.
      if (maps_to_write_.count(output.index) != 0) map_of(output.index);
      return;
    case Kind::chip_page:
      write_text(output,
                 chip_page(
                     inputs_.grading.chips[output.index], inputs_,
                     [this](std::size_t i) { return map_of(i); },
                     [this](const std::vector<std::size_t>& files) { return profile_of(files); }));
      return;
    case Kind::all_chips_page:
      write_text(output,
                 chip_list_page(inputs_, all_chips_title, "chips", all_chips_, output.index));
      return;
    case Kind::not_a_page:
      write_text(output, chip_list_page(inputs_, not_a_title, "not-a", not_a_, output.index));
      return;
    case Kind::page_script:
      write_text(output, page_script());
      return;
    case Kind::chips_data:
      write_text(output, chips_script(inputs_));
      return;
    case Kind::problems:
      write_text(output, problems_page(inputs_));
      return;
    case Kind::front_page: {
      std::vector<std::int64_t> current;
      for (std::size_t i = 0; i < inputs_.files.size(); ++i)
        if (inputs_.files[i].superseded_by == CampaignFile::current &&
            from_ratios(inputs_.grade(i)))
          current.push_back(inputs_.files[i].analysis.id);
      std::array<ChannelMean, qavrel::nchan> means{};
      if (Status read = store_.channel_means(current, means); !read.ok())
        failures_.push_back(Status::failure("results store: " + read.reason()));
      write_text(output, front_page(inputs_, means));
      return;
    }
    case Kind::summary:
      // The tables are streamed, a row at a time.
      write_streamed(output, [this](OutputFile& file) {
        summary_csv(inputs_, [&file](const std::string& text) { file.write(text); });
      });
      return;
    case Kind::chips_table:
      write_streamed(output, [this](OutputFile& file) {
        chips_csv(inputs_, [&file](const std::string& text) { file.write(text); });
      });
      return;
    case Kind::summary_json:
      write_text(output, summary_json(inputs_));
      return;
    case Kind::ratios:
      write_streamed(output, [this](OutputFile& file) {
        file.write(ratios_csv_header());
        RatioTable ratios;
        for (const CampaignFile& campaign_file : inputs_.files) {
          const Analysis& analysis = campaign_file.analysis;
          if (!analysis.has_ratios || stop_ || store_failed_) continue;
          if (Status loaded = store_.load_ratios(analysis.id, ratios); !loaded.ok()) {
            failures_.push_back(Status::failure("cannot read the ratios of " + analysis.path +
                                                ": " + loaded.reason()));
            store_failed_ = true;
          }
          file.write(ratios_csv_rows(analysis, ratios));
        }
      });
      return;
  }
}

Published Publisher::run() {
  std::vector<Output> outputs = expected();
  OutputRecords records;
  if (Status read = store_.load_outputs(records); !read.ok())
    return {{Status::failure("results store: " + read.reason())}, false, true};
  const auto folder_record = records.find(hash_of(whole_folder));
  const bool inputs_as_recorded =
      folder_record != records.end() && folder_record->second.made_from == everything_;
  decide(outputs, records, inputs_as_recorded);
  // Listed every run: what another program put there is no run's doing.
  const std::vector<std::string> removed = strays(outputs);
  const bool up_to_date = inputs_as_recorded && to_write_.empty() && removed.empty();

  if (!up_to_date) {
    for (const char* folder : subfolders) {
      std::error_code made;
      fs::create_directories(path(folder), made);
      if (made)
        return {{Status::failure("cannot create " + path(folder) + ": " + made.message())},
                false,
                false};
    }
    std::stable_sort(to_write_.begin(), to_write_.end(),
                     [](const Output& a, const Output& b) { return a.kind < b.kind; });
    // Forgotten before any is touched: a run stopped half way leaves them
    // unrecorded, and the next one makes them again.
    std::vector<std::string> changing{whole_folder};
    for (const Output& output : to_write_) changing.push_back(output.name);
    changing.insert(changing.end(), removed.begin(), removed.end());
    if (Status forgot = store_.forget_outputs(changing); !forgot.ok())
      return {{Status::failure("results store: " + forgot.reason())}, false, true};
    for (const Output& output : to_write_) write(output);
    for (const std::string& name : removed) {
      if (stop_) {
        cut_short_ = true;
        break;
      }
      if (Status gone = remove_output(path(name)); !gone.ok()) failures_.push_back(gone);
    }
    for (const std::string& folder : touched_folders_)
      if (Status synced = sync_folder(folder.empty() ? directory_ : path(folder)); !synced.ok())
        failures_.push_back(synced);
  }

  // What is in place is recorded even after a stop; the whole folder only
  // when all of it is.
  Status recorded_all;
  for (const auto& [output, state] : placed_)
    if (recorded_all.ok())
      recorded_all = store_.record_output(output.name, {output.made_from, state});
  if (recorded_all.ok())
    recorded_all = store_.record_grades(inputs_.files, inputs_.grading, stored_grades_);
  if (recorded_all.ok() && failures_.empty() && !cut_short_ && !up_to_date)
    recorded_all = store_.record_output(whole_folder, {everything_, {}});
  if (recorded_all.ok()) recorded_all = store_.commit();
  // A store already lost has been said to be so.
  if (!recorded_all.ok() && !store_failed_)
    failures_.push_back(Status::failure("results store: " + recorded_all.reason()));
  return {failures_, cut_short_, store_failed_ || !recorded_all.ok()};
}

}  // namespace

std::uint64_t outputs_made_from(const ReportInputs& inputs) {
  Fingerprint made_from;
  made_from.add(tool_version).add(inputs.ratios_csv ? 1 : 0);
  const GradeLimits& limits = inputs.limits();
  for (const double limit : {limits.a, limits.b, limits.c}) made_from.add(full_precision(limit));
  // Each file by its analysis, whose id stands for all of it, and by how
  // it stands beside the others; grades and chips follow from these.
  made_from.add(static_cast<std::int64_t>(inputs.files.size()));
  for (const CampaignFile& file : inputs.files) {
    made_from.add(file.analysis.bench).add(file.analysis.path).add(file.analysis.id);
    made_from.add(file.measured.at).add(static_cast<std::int64_t>(file.measured.from));
    made_from.add(file.superseded_by == CampaignFile::current
                      ? -1
                      : static_cast<std::int64_t>(file.superseded_by));
    made_from.add(file.shares_log_with).add(file.owns_log ? 1 : 0).add(file.writes_log ? 1 : 0);
  }
  made_from.add(static_cast<std::int64_t>(inputs.search.skipped.size()));
  for (const SkippedFile& skipped : inputs.search.skipped)
    made_from.add(skipped.path).add(skipped.reason);
  made_from.add(static_cast<std::int64_t>(inputs.search.search_failures.size()));
  for (const std::string& failure : inputs.search.search_failures) made_from.add(failure);
  made_from.add(inputs.shared_store ? 1 : 0);
  // Pages show paths under the folders given.
  made_from.add(static_cast<std::int64_t>(inputs.folders.size()));
  for (const std::string& folder : inputs.folders) made_from.add(folder);
  return made_from.value();
}

Published publish(const std::string& directory, const ReportInputs& inputs, ResultsStore& store,
                  const StoredGrades& stored_grades, const std::atomic<bool>& stop) {
  return Publisher(directory, inputs, store, stored_grades, stop).run();
}

}  // namespace qavrel::campaign
