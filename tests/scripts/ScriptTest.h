// Helpers for the tests that drive the project's shell scripts: run a command line through the
// shell and capture what it prints, find the scripts, make throwaway directories.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "common/TempDir.h"

namespace scripttest {

struct Result {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;  // standard output (and standard error when merged)
};

// Runs `command` with /bin/sh; standard error joins standard output unless keepStderr is set.
inline Result Sh(const std::string &command, bool keepStderr = false)
{
  Result r;
  std::string line = keepStderr ? command : "(" + command + ") 2>&1";
  FILE *p = popen(line.c_str(), "r");
  if (!p)
    return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return r;
}

inline std::string SourceDir()
{
  const char *env = std::getenv("NORVO_SOURCE_DIR");
  return env && *env ? env : NORVO_SOURCE_DIR;
}

inline std::string BinaryDir()
{
  const char *env = std::getenv("NORVO_BINARY_DIR");
  return env && *env ? env : NORVO_BINARY_DIR;
}

inline std::string Script(const std::string &name)
{
  return SourceDir() + "/scripts/" + name;
}

// Single-quotes a word for the shell.
inline std::string Q(const std::string &s)
{
  std::string r = "'";
  for (char c : s) {
    if (c == '\'')
      r += "'\\''";
    else
      r += c;
  }
  return r + "'";
}

inline std::string ReadFile(const std::filesystem::path &p)
{
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::vector<std::string> Lines(const std::string &text)
{
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    v.push_back(l);
  return v;
}

using ::TempDir;

// Why the sandbox cannot run here (not root, no namespaces, no overlayfs); empty when it can.
inline std::string SandboxUnusable()
{
  Result r = Sh("bash " + Q(Script("sandbox.sh")) + " --check");
  return r.status == 0 ? std::string() : r.out.empty() ? "sandbox.sh --check failed" : r.out;
}

}  // namespace scripttest

// Skips the current test, loudly, when the sandbox cannot be made on this host.
#define SKIP_WITHOUT_SANDBOX()                                                                     \
  do {                                                                                             \
    std::string why_ = scripttest::SandboxUnusable();                                              \
    if (!why_.empty()) {                                                                           \
      std::fprintf(stderr, "*** SKIPPED: needs the sandbox (root and namespaces): %s\n",           \
                   why_.c_str());                                                                  \
      GTEST_SKIP() << "needs the sandbox (root and namespaces): " << why_;                         \
    }                                                                                              \
  } while (0)
