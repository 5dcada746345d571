// Runs a piece of a test in a forked child and captures what it prints, for
// the paths that end the process.
#ifndef NORVO_TESTS_CHILDPROCESS_H
#define NORVO_TESTS_CHILDPROCESS_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

struct ChildResult {
  int status = -1;  // exit status, -1 when the child did not exit normally
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
  if (WIFEXITED(ws))
    r.status = WEXITSTATUS(ws);
  r.out = ReadWholeFd(outFd);
  r.err = ReadWholeFd(errFd);
  close(outFd);
  close(errFd);
  return r;
}

#endif
