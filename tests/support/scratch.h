// Scratch folders for tests: a unique folder removed with everything in it,
// and a scratch device root, a scratch folder made the meter platform's root
// (METER_ROOT) for as long as it lives.
//
// Names given to a scratch folder are taken under it, with or without a
// leading '/', so the same call serves a relative name ("conf.json") and a
// device path ("/etc/meterapp/x.conf").
#pragma once

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace test_support {

class ScratchDir {
 public:
  explicit ScratchDir(std::string_view prefix = "r9050-test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() {
    std::error_code ec;
    // Make a read-only folder writable again so that it can be removed.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

  // The host path of a name inside the folder.
  std::filesystem::path operator/(std::string_view name) const {
    return path_ / std::filesystem::path(name).relative_path();
  }
  std::string file(std::string_view name) const { return (*this / name).string(); }

  // Writes a file inside (creating its folders) and returns its host path.
  std::string write(std::string_view name, const std::string& content) const {
    const std::filesystem::path target = *this / name;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary) << content;
    return target.string();
  }
  // The content of a file inside ("" when it cannot be read).
  std::string read(std::string_view name) const { return readFile((*this / name).string()); }

  // The content of any file by its host path ("" when it cannot be read).
  static std::string readFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace test_support
