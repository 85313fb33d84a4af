#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace id3sniff::testing {

// A folder of its own under /tmp, open to every user (tests run the tool as nobody too),
// removed with everything in it when it goes.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/id3sniff-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
    std::filesystem::permissions(path_, std::filesystem::perms::all);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

  // Writes bytes to a file of the given name in the folder and returns its path.
  std::string WriteFile(const std::string& name, const std::string& bytes) const {
    std::string file_path = path_ + "/" + name;
    std::FILE* file = std::fopen(file_path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + file_path);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) throw std::runtime_error("cannot write " + file_path);
    return file_path;
  }

 private:
  std::string path_;
};

}  // namespace id3sniff::testing
