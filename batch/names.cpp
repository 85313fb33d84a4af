#include "batch/names.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace id3sniff {
namespace {

constexpr std::size_t kListRead = 65536;

// Returns true when name ends in ".mp3", in any case.
bool IsMp3(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view end = name.substr(name.size() - 4);
  return end[0] == '.' && (end[1] | 0x20) == 'm' && (end[2] | 0x20) == 'p' && end[3] == '3';
}

std::string Join(const std::string& directory, const std::string& name) {
  return directory.ends_with('/') ? directory + name : directory + "/" + name;
}

}  // namespace

Names::Names(char* const* args, std::size_t count, bool recursive, Warn warn)
    : args_(args), count_(count), recursive_(recursive), warn_(std::move(warn)) {}

Names::Names(int fd, std::string list_name, bool recursive, Warn warn)
    : fd_(fd), list_name_(std::move(list_name)), recursive_(recursive), warn_(std::move(warn)) {}

bool Names::Next(std::string& name) {
  for (;;) {
    if (walk_.empty()) {
      if (!NextGiven(name)) return false;
      struct stat info;
      if (!recursive_ || stat(name.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return true;
      Enter(name);
      continue;
    }
    Directory& directory = walk_.back();
    if (directory.next == directory.entries.size()) {
      walk_.pop_back();
      continue;
    }
    const Entry& entry = directory.entries[directory.next++];
    std::string path = Join(directory.path, entry.name);
    if (entry.directory) {
      Enter(path);  // may move the walk's directories
      continue;
    }
    name = std::move(path);
    return true;
  }
}

// Takes the next name from the command line or the list.
bool Names::NextGiven(std::string& name) {
  if (fd_ < 0) {
    if (next_arg_ == count_) return false;
    name = args_[next_arg_++];
    return true;
  }
  for (;;) {
    const std::size_t end = list_.find('\0', list_at_);
    if (end != std::string::npos || (list_ended_ && list_at_ < list_.size())) {
      const std::size_t stop = end != std::string::npos ? end : list_.size();
      name.assign(list_, list_at_, stop - list_at_);
      list_at_ = stop + 1;
      if (!name.empty()) return true;
      warn_("id3sniff-batch: invalid zero-length file name\n");
      failed_ = true;
      continue;
    }
    if (list_ended_ || !ReadList()) return false;
  }
}

// Reads more of the list, keeping the part of a name already read; returns false at its end.
bool Names::ReadList() {
  list_.erase(0, std::min(list_at_, list_.size()));
  list_at_ = 0;
  before_wait_();
  const std::size_t had = list_.size();
  list_.resize(had + kListRead);
  ssize_t n = 0;
  do {
    n = read(fd_, list_.data() + had, kListRead);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    Fail(list_name_, errno);
    n = 0;
  }
  list_.resize(had + static_cast<std::size_t>(n));
  if (n == 0) list_ended_ = true;
  return n > 0 || !list_.empty();
}

// Reads the directory at path whole and starts walking it.
void Names::Enter(const std::string& path) {
  before_wait_();
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) {
    Fail(path, errno);
    return;
  }
  Directory directory{path, {}, 0};
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
      struct stat info;
      if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_LNK;
      }
    }
    if (type == DT_DIR || (type == DT_REG && IsMp3(entry->d_name))) {
      directory.entries.push_back({entry->d_name, type == DT_DIR});
    }
    errno = 0;
  }
  const int error = errno;
  closedir(dir);
  if (error != 0) Fail(path, error);
  std::sort(directory.entries.begin(), directory.entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  walk_.push_back(std::move(directory));
}

void Names::Fail(std::string_view path, int error) {
  failed_ = true;
  std::string line = "id3sniff-batch: ";
  line.append(path);
  line += ": ";
  line += std::strerror(error);
  line += "\n";
  warn_(line);
}

}  // namespace id3sniff
