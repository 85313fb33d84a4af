#include "batch/names.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

namespace id3sniff {
namespace {

constexpr std::size_t kListRead = 65536;
// How much of a name too long to be a path its message shows.
constexpr std::size_t kLongNameShown = 64;

// Returns true when name ends in ".mp3", in any case.
bool IsMp3(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view end = name.substr(name.size() - 4);
  return end[0] == '.' && (end[1] | 0x20) == 'm' && (end[2] | 0x20) == 'p' && end[3] == '3';
}

NameSource::Got Fail(Record& message, std::string path, std::string_view reason, int error = 0) {
  message.text.clear();
  message.error = error;
  message.failed = true;
  message.names_path = true;
  message.path = std::move(path);
  message.reason = reason;
  return NameSource::Got::Message;
}

}  // namespace

Names::Names(char* const* args, std::size_t count, bool recursive)
    : args_(args), count_(count), recursive_(recursive) {}

Names::Names(int fd, std::string list_name, bool recursive)
    : fd_(fd), list_name_(std::move(list_name)), recursive_(recursive) {}

Names::~Names() {
  while (!walk_.empty()) Leave();
}

NameSource::Got Names::Next(FileName& name, Record& message, const Stop& stop) {
  for (;;) {
    if (stop.IsSet()) return Got::End;
    if (walk_.empty()) {
      root_.reset();
      name.root.reset();
      const Got got = NextGiven(name, message, stop);
      struct stat info;
      if (got != Got::File || !recursive_ || stat(name.path.c_str(), &info) != 0 ||
          !S_ISDIR(info.st_mode)) {
        return got;
      }
      // A folder named by the user is followed if it is a link, as given.
      const int fd = open(name.path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
      if (fd < 0) return Fail(message, name.path, std::strerror(errno), errno);
      root_ = std::make_shared<const Folder>(fd);
      if (!Enter(fd, std::move(name.path), message)) return Got::Message;
      continue;
    }
    OpenFolder& folder = walk_.back();
    if (folder.next == folder.entries.size()) {
      Leave();
      continue;
    }
    const auto& [entry, is_folder] = folder.entries[folder.next++];
    std::string path = folder.path + entry;
    if (!is_folder) {
      name.path = std::move(path);
      name.root = root_;
      name.beneath = walk_.front().path.size();
      return Got::File;
    }
    // Opened from its parent, never through a link put in its place since the listing.
    const int fd =
        openat(folder.fd, entry.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) return Fail(message, std::move(path), std::strerror(errno), errno);
    if (!Enter(fd, std::move(path), message)) return Got::Message;
  }
}

// Takes the next name from the command line or the list.
NameSource::Got Names::NextGiven(FileName& name, Record& message, const Stop& stop) {
  if (fd_ < 0) {
    if (next_arg_ == count_) return Got::End;
    name.path = args_[next_arg_++];
    return Got::File;
  }
  for (;;) {
    // The search for the next NUL goes on where the last one stopped: linear in the list.
    std::size_t end = list_.find('\0', searched_);
    if (end == std::string::npos) {
      searched_ = list_.size();
      if (!list_ended_) {
        if (list_.size() - list_at_ >= PATH_MAX) {
          // No path is that long: the rest of the name is read and dropped, not kept.
          if (!too_long_) long_name_ = list_.substr(list_at_, kLongNameShown);
          too_long_ = true;
          list_.clear();
          list_at_ = searched_ = 0;
        }
        if (const std::optional<Got> got = ReadList(message, stop)) return *got;
        continue;
      }
      if (list_at_ == list_.size() && !too_long_) return Got::End;
      end = list_.size();  // the last name, without its NUL
    }
    const std::size_t begin = list_at_;
    list_at_ = searched_ = std::min(end + 1, list_.size());
    if (too_long_ || end - begin >= PATH_MAX) {
      if (!too_long_) long_name_ = list_.substr(begin, kLongNameShown);
      too_long_ = false;
      return Fail(message, long_name_ + "...", std::strerror(ENAMETOOLONG), ENAMETOOLONG);
    }
    if (end == begin) {
      Fail(message, "", "invalid zero-length file name");
      message.names_path = false;
      return Got::Message;
    }
    name.path.assign(list_, begin, end - begin);
    return Got::File;
  }
}

// Reads more of the list, keeping the part of a name already read; returns nothing when the
// caller is to look for a name again, or what to give instead: the stop, or a failed read.
std::optional<NameSource::Got> Names::ReadList(Record& message, const Stop& stop) {
  list_.erase(0, list_at_);
  searched_ -= list_at_;
  list_at_ = 0;
  if (!WaitReadable(fd_, stop)) {
    if (errno == ECANCELED) return Got::End;
    list_ended_ = true;
    return Fail(message, list_name_, std::strerror(errno), errno);
  }
  const std::size_t had = list_.size();
  list_.resize(had + kListRead);
  const ssize_t n = read(fd_, list_.data() + had, kListRead);
  list_.resize(had + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
  if (n < 0 && errno != EINTR && errno != EAGAIN) {
    list_ended_ = true;
    return Fail(message, list_name_, std::strerror(errno), errno);
  }
  if (n == 0) list_ended_ = true;
  return std::nullopt;
}

// Lists the folder open on fd, shown as shown, and walks it next; returns false, with message
// set, when it cannot be listed or is a loop. The walk keeps fd until it leaves the folder.
bool Names::Enter(int fd, std::string shown, Record& message) {
  const bool root = walk_.empty();
  struct stat info;
  const char* loop = nullptr;
  int error = fstat(fd, &info) != 0 ? errno : 0;
  for (const OpenFolder& folder : walk_) {
    if (error == 0 && folder.device == info.st_dev && folder.inode == info.st_ino) {
      loop = "File system loop detected";
    }
  }
  DIR* dir = nullptr;
  if (error == 0 && loop == nullptr) {
    // The listing reads through a descriptor of its own; fd stays for opening what it finds.
    const int listed = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    dir = listed < 0 ? nullptr : fdopendir(listed);
    if (dir == nullptr) {
      error = errno;
      if (listed >= 0) close(listed);
    }
  }
  if (dir == nullptr) {
    if (!root) close(fd);
    Fail(message, std::move(shown), loop != nullptr ? loop : std::strerror(error));
    return false;
  }
  OpenFolder folder{shown.ends_with('/') ? shown : shown + '/', fd, info.st_dev, info.st_ino, {}};
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') {
      unsigned char type = entry->d_type;
      struct stat entry_info;
      if (type == DT_UNKNOWN && fstatat(fd, entry->d_name, &entry_info, AT_SYMLINK_NOFOLLOW) == 0) {
        type = S_ISDIR(entry_info.st_mode) ? DT_DIR : S_ISREG(entry_info.st_mode) ? DT_REG : DT_LNK;
      }
      if (type == DT_DIR || (type == DT_REG && IsMp3(entry->d_name))) {
        folder.entries.emplace_back(entry->d_name, type == DT_DIR);
      }
    }
    errno = 0;
  }
  error = errno;
  closedir(dir);
  std::sort(folder.entries.begin(), folder.entries.end());
  walk_.push_back(std::move(folder));
  if (error == 0) return true;
  // What was listed is walked; the failure takes its place before it.
  Fail(message, std::move(shown), std::strerror(error), error);
  return false;
}

// Leaves the deepest folder of the walk.
void Names::Leave() {
  if (walk_.size() > 1) close(walk_.back().fd);
  walk_.pop_back();
}

}  // namespace id3sniff
