#include "campaign/report/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "campaign/common/stop_points.h"

namespace qavrel::campaign {

namespace {

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

}  // namespace

namespace {

// An output that is a link would have the atomic writing replace the file
// it names, wherever that is: the link itself goes first, and the output
// is made in its place.
Status unlink_link(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) || ::unlink(path.c_str()) == 0)
    return {};
  return Status::failure("cannot remove the link " + path + ": " + std::strerror(errno));
}

}  // namespace

OutputFile::OutputFile(std::string path, const std::atomic<bool>& stop)
    : path_(std::move(path)), stop_(stop), status_(unlink_link(path_)) {
  if (status_.ok()) status_ = file_.open(path_.c_str(), qavrel::AtomicFile::Durability::renamed);
}

void OutputFile::write(std::string_view text) {
  if (status_.ok()) status_ = file_.write(text);
}

Status OutputFile::finish() {
  if (stop_) return {};
  stop_point();
  // A signal at the stop point sets stop: nothing more is put in place.
  if (stop_) return {};
  if (status_.ok()) status_ = file_.commit();
  if (!status_.ok()) return Status::failure("cannot write " + path_ + ": " + status_.reason());
  placed_ = true;
  return {};
}

Status write_output(const std::string& path, const std::string& text, const std::atomic<bool>& stop,
                    bool& placed) {
  placed = false;
  if (stop) return {};
  if (Status unlinked = unlink_link(path); !unlinked.ok()) return unlinked;
  if (same_content(path, text)) {
    placed = true;
    return {};
  }
  OutputFile output(path, stop);
  output.write(text);
  Status finished = output.finish();
  placed = output.placed();
  return finished;
}

Status remove_output(const std::string& path) {
  stop_point();
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
  return Status::failure("cannot remove " + path + ": " + std::strerror(errno));
}

}  // namespace qavrel::campaign
