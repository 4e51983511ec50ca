// A scratch device root for one test: created under the system's temporary
// folder with a unique name, made the platform's root, removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform.h"

class TempRoot {
 public:
  TempRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "r9050-sensors-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    Platform_setRoot(path_.string());
  }
  ~TempRoot() {
    Platform_setRoot("");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A device path ("/etc/...") on the host.
  std::filesystem::path host(const std::string& devicePath) const { return path_.string() + devicePath; }

  std::string read(const std::string& devicePath) const {
    std::ifstream in(host(devicePath), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void write(const std::string& devicePath, const std::string& content) const {
    std::filesystem::create_directories(host(devicePath).parent_path());
    std::ofstream(host(devicePath), std::ios::binary) << content;
  }
  // The system-log lines written so far.
  std::string messages() const { return read("/var/log/messages"); }

 private:
  std::filesystem::path path_;
};
