// Helpers of the package-list, script and end-to-end tests: small file
// readers and writers, the installer globals the steps read, the expected
// texts of the generated scripts, and recording stand-ins for the suite's
// own programs. Built on the child-process and sandbox helpers of
// test_media_util.h.
#ifndef NORVO_TEST_PKGLIST_UTIL_H
#define NORVO_TEST_PKGLIST_UTIL_H

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "installer/setup.h"
#include "test_media_util.h"

namespace pkgtest {

using mediatest::ChildResult;
using mediatest::Exists;
using mediatest::ReadAll;
using mediatest::RunChild;
using mediatest::TempDir;

inline void WriteFile(const std::string &path, const std::string &text, mode_t mode = 0644)
{
  mediatest::WriteFile(path, text);
  chmod(path.c_str(), mode);
}

inline void MakeDirs(const std::string &path)
{
  TempDir::Run("mkdir -p '" + path + "'");
}

// Permission bits (07777) of path, following links; -1 when missing.
inline int ModeOf(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

inline bool IsLink(const std::string &path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

inline bool IsDir(const std::string &path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Where the symbolic link path points ("" when it is no link).
inline std::string LinkTarget(const std::string &path)
{
  char buf[4096];
  ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

// Lines of text, without their newlines.
inline std::vector<std::string> Lines(const std::string &text)
{
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos)
      end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

inline std::string Replace(std::string text,
                           const std::vector<std::pair<std::string, std::string>> &pairs)
{
  for (const auto &[from, to] : pairs)
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
  return text;
}

inline int ThisYear()
{
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

// A golden text of tests/installer/data.
inline std::string Golden(const std::string &name)
{
  return ReadAll(mediatest::SourceDir() + "/tests/installer/data/" + name);
}

// The installer's state as the steps under test read it. Strings are kept
// for the life of the process, as the installer keeps them.
inline void SetInstallerState(const std::string &appDir, const std::string &workDir = "/tmp/none",
                              const std::string &target = "/usr", const std::string &name = "")
{
  if (name.empty())
    my_name = SaveStr("pkgtest%d", static_cast<int>(getpid()));
  else
    my_name = SaveStr("%s", name.c_str());
  pAppDir = SaveStr("%s", appDir.c_str());
  pNorvoInstallDir = SaveStr("%s", workDir.c_str());
  pTargetInstallDir = SaveStr("%s", target.c_str());
}

// A stand-in for one of the suite's programs: appends its working
// directory, its arguments, a few variables of the print environment and
// its standard input (when asked) to <its directory>/calls, then exits with
// `status`.
inline void WriteRecorder(const std::string &path, bool readInput, int status = 0)
{
  std::string script = "#!/bin/sh\n"
                       "calls=\"$(dirname \"$0\")/calls\"\n"
                       "{ echo \"call $(basename \"$0\") cwd=$(pwd)\"\n"
                       "  for a in \"$@\"; do echo \"arg=$a\"; done\n"
                       "  echo \"NPrintPrinter=$NPrintPrinter NPrintTitle=$NPrintTitle\"\n"
                       "  echo \"NPrintFileSourceDir=$NPrintFileSourceDir\"\n";
  if (readInput)
    script += "  echo \"input=$(cat)\"\n";
  script += "} >>\"$calls\"\necho tool output\necho tool errors >&2\nexit " +
            std::to_string(status) + "\n";
  WriteFile(path, script, 0755);
}

// A stand-in nsf that fails its first `failures` calls and then succeeds;
// each call appends its number, arguments and the contents of arguments
// that are files to <its directory>/calls.
inline void WriteFlakyNsf(const std::string &path, int failures)
{
  WriteFile(
      path,
      "#!/bin/sh\n"
      "d=$(dirname \"$0\")\n"
      "n=$(cat \"$d/count\" 2>/dev/null || echo 0); n=$((n + 1)); echo $n >\"$d/count\"\n"
      "{ echo \"call $n\"\n"
      "  for a in \"$@\"; do echo \"arg=$a\"; [ -f \"$a\" ] && echo \"content=$(cat \"$a\")\"; done\n"
      "} >>\"$d/calls\"\n"
      "[ $n -gt " +
          std::to_string(failures) + " ]\n",
      0755);
}

// Runs argv with working directory cwd, extra environment and input.
inline ChildResult RunIn(const std::string &cwd, const std::vector<std::string> &argv,
                         const std::vector<std::string> &env = {}, const char *input = nullptr)
{
  return RunChild(
      [&] {
        if (chdir(cwd.c_str()) != 0)
          return 126;
        return testcommon::ExecProgram(argv, env);
      },
      input);
}

}  // namespace pkgtest

#endif
