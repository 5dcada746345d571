// Runs a piece of a test in a forked child and captures what it prints, for
// the paths that end the process, and runs programs the same way.
#ifndef NORVO_TESTS_CHILDPROCESS_H
#define NORVO_TESTS_CHILDPROCESS_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/TempDir.h"

namespace testcommon {

struct ChildResult {
  int status = -1;  // exit status, 128 + the signal that ended it, -1 otherwise
  std::string out, err;
};

inline std::string ReadWholeFd(int fd)
{
  std::string text;
  char buf[4096];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
    text.append(buf, size_t(n));
  return text;
}

inline std::string ReadAll(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string &path, const std::string &text)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// The status of a child from its wait status, as ChildResult keeps it.
inline int WaitStatus(int raw)
{
  if (WIFEXITED(raw))
    return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw))
    return 128 + WTERMSIG(raw);
  return -1;
}

// body runs in the child with stdout and stderr captured; a body that returns
// ends the child with status 99.
inline ChildResult RunChild(const std::function<void()> &body)
{
  std::fflush(nullptr);
  char outPath[] = "/tmp/childrun_outXXXXXX";
  char errPath[] = "/tmp/childrun_errXXXXXX";
  int outFd = mkstemp(outPath), errFd = mkstemp(errPath);
  unlink(outPath);
  unlink(errPath);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outFd, 1);
    dup2(errFd, 2);
    body();
    std::fflush(nullptr);
    _exit(99);
  }
  ChildResult r;
  int ws = 0;
  waitpid(pid, &ws, 0);
  r.status = WaitStatus(ws);
  r.out = ReadWholeFd(outFd);
  r.err = ReadWholeFd(errFd);
  close(outFd);
  close(errFd);
  return r;
}

// Runs `fn` in a forked child whose standard input is `input` (null: an
// input that is already at its end) and whose standard output and error are
// captured; the child ends with fn's result unless fn ends it first.
inline ChildResult RunChild(const std::function<int()> &fn, const char *input)
{
  TempDir io;
  std::string in = io / "in", out = io / "out", err = io / "err";
  WriteFile(in, input ? input : "");
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(in.c_str(), O_RDONLY);
    dup2(fd, 0);
    fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    int rc = fn();
    std::fflush(nullptr);
    _exit(rc);
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  return {WaitStatus(raw), ReadAll(out), ReadAll(err)};
}

// In a child: adds the environment entries and replaces the process with
// argv (argv[0] a path); gives 127 when it cannot be started.
inline int ExecProgram(const std::vector<std::string> &argv, const std::vector<std::string> &env)
{
  for (const auto &e : env)
    putenv(const_cast<char *>(e.c_str()));
  std::vector<char *> args;
  for (const auto &a : argv)
    args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  std::perror("execv");
  return 127;
}

// Runs argv (argv[0] a path) with standard input from `input` (null: at its
// end) and the extra environment entries, capturing its output.
inline ChildResult RunProgram(const std::vector<std::string> &argv, const char *input,
                              const std::vector<std::string> &env = {})
{
  return RunChild([&] { return ExecProgram(argv, env); }, input);
}

}  // namespace testcommon

using testcommon::ChildResult;
using testcommon::ReadWholeFd;
using testcommon::RunChild;
using testcommon::RunProgram;

#endif
