// A fresh directory of a test's own, removed with its contents at the end of
// the scope.
#ifndef NORVO_TESTS_TEMPDIR_H
#define NORVO_TESTS_TEMPDIR_H

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

class TempDir {
public:
  // A new directory (mode 0700) under base, the host's /tmp by default.
  explicit TempDir(const std::filesystem::path &base = "/tmp")
  {
    std::string templ = (base / "norvo-test-XXXXXX").string();
    if (mkdtemp(templ.data()))
      path_ = templ;
  }
  ~TempDir() { Remove(); }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  const std::string &str() const { return path_; }
  // The directory as a path, for std::filesystem's operators.
  std::filesystem::path dir() const { return path_; }
  // The path of name inside the directory.
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }
  // The names in the directory that do not begin with a dot, sorted.
  std::vector<std::string> Entries() const
  {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(path_, ec))
      if (std::string name = e.path().filename().string(); name[0] != '.')
        names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
  }
  // Removes the directory and its contents now; whether that went well.
  bool Remove()
  {
    std::error_code ec;
    if (!path_.empty())
      std::filesystem::remove_all(path_, ec);
    path_.clear();
    return !ec;
  }
  // Runs a shell command line (for preparing files); its wait status.
  static int Run(const std::string &command) { return std::system(command.c_str()); }

private:
  std::string path_;
};

#endif
