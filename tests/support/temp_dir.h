// A scratch folder per test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(std::string_view name) const { return (path_ / name).string(); }
  std::string write(std::string_view name, std::string_view bytes) const;

private:
  std::filesystem::path path_;
};
