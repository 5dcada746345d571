// The run's log file, text files, and the host services that go through the
// command table: creating, deleting and renaming files; user, host and
// environment values; detection of the LPRng spooler.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "syscmd/SysCmd.h"
#include "utils/utils.h"

// Where the log goes; reset by every message. pLog is open only while one
// message is written.
const char *pLogPath = "/tmp";
FILE *pLog = nullptr;

// The next log message is the first of this run (and truncates the file).
static int flInit = 1;

namespace {
constexpr size_t SYSCMDP_SIZE = 512;
constexpr size_t NAME_SIZE = 256;

// Cuts text at its first newline or carriage return.
void CutAtLineEnd(char *text)
{
  text[strcspn(text, "\r\n")] = '\0';
}
}  // namespace

void PutLogMsg(const char *fmt, ...)
{
  if (!flUseLog || !my_name)
    return;
  pLogPath = "/tmp";
  bool first = flInit != 0;
  flInit = 0;

  char path[PATH_MAX];
  int n = snprintf(path, sizeof path, "%s/%s.log", pLogPath, my_name);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
    fprintf(stderr, common_007, path);
    return;
  }
  // Anyone can plant a link at a fixed name in /tmp, to make root overwrite
  // the file it names or create one where it points. The first message of
  // the run therefore removes whatever lies at the path (the entry itself,
  // never what a link names) and creates a new file exclusively; later
  // messages append to that file and never follow a link. Nobody else can
  // replace root's file in the sticky /tmp, so the commands' redirections
  // append to it too.
  // A log removed during the run is made anew, exclusively as well.
  int fd = -1;
  if (first)
    unlink(path);
  else
    fd = open(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && (first || errno == ENOENT)) {
    fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0)
      fchmod(fd, 0666);  // every user's run may write it, whatever the umask
  }
  pLog = fd >= 0 ? fdopen(fd, "a") : nullptr;
  if (!pLog) {
    if (fd >= 0)
      close(fd);
    fprintf(stderr, common_007, path);
    return;
  }
  va_list args;
  va_start(args, fmt);
  vfprintf(pLog, fmt, args);
  va_end(args);
  fclose(pLog);
  pLog = nullptr;
}

int CreateTextFile(const char *path, const char *mode, int perms, const char *fmt, ...)
{
  FILE *f = path ? fopen(path, mode) : nullptr;
  if (!f) {
    fprintf(stderr, common_007, path ? path : "(null)");
    return 0;
  }
  va_list args;
  va_start(args, fmt);
  vfprintf(f, fmt, args);
  va_end(args);
  if (perms != 0)
    fchmod(fileno(f), static_cast<mode_t>(perms));
  fclose(f);
  return 1;
}

int SysCmdP(int mode, const char *fmt, ...)
{
  char line[SYSCMDP_SIZE];
  va_list args;
  va_start(args, fmt);
  int n = vsnprintf(line, sizeof line, fmt, args);
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= sizeof line) {
    fprintf(stderr, "ERROR: command line longer than %zu characters, not run: %.60s...\n",
            SYSCMDP_SIZE - 1, line);
    exit(1);
  }
  bool loud = mode == SYSCMD_LOG || mode == SYSCMD_FATAL;
  if (loud)
    printf("%s\n", line);
  fflush(nullptr);
  errno = 0;
  int rc = system(line);
  char why[160] = "";
  if (SysCmdStatus(rc, errno, why, sizeof why) != 0 && loud) {
    fprintf(stderr, "%s: %s\n", mode == SYSCMD_FATAL ? "ERROR" : "WARNING_MSG", why);
    if (mode == SYSCMD_FATAL)
      exit(1);
  }
  return system("/usr/bin/sleep 1");
}

void CreateFile(const char *dir, const char *name, const char *mode, const char *owner,
                const char *group)
{
  if (!dir)
    return;
  if (!FindFile(StripFn(dir), StripPath(dir)))
    SysCmd(CMD_MKDIR, SYSCMD_FATAL, "%s", dir);
  char *target = SaveStr("%s%s%s", dir, name ? "/" : "", name ? name : "");
  if (name)
    SysCmd(CMD_TOUCH, SYSCMD_FATAL, "%s", target);
  if (mode)
    SysCmd(CMD_CHMOD, SYSCMD_FATAL, "%s %s", mode, target);
  if (owner)
    SysCmd(CMD_CHOWN, SYSCMD_FATAL, "%s %s", owner, target);
  if (group)
    SysCmd(CMD_CHGRP, SYSCMD_FATAL, "%s %s", group, target);
  PutMem(target);
}

void DeleteFile(const char *dir, const char *name)
{
  if (name && !*name)
    name = nullptr;  // "dir/" would remove dir itself
  if (!dir) {
    dir = name;
    name = nullptr;
  }
  if (dir && FindFile(dir, name))
    SysCmd(CMD_RM_R, SYSCMD_LOG, "%s%s%s", dir, name ? "/" : "", name ? name : "");
}

void DeleteFile_(const char *path, const char *name)
{
  if (!path)
    return;
  if (name && !*name)
    name = nullptr;
  int exists = name ? FindFile(path, name) : FindFile(StripFn(path), StripPath(path));
  if (exists)
    SysCmd(CMD_RM_R, SYSCMD_LOG, "%s%s%s", path, name ? "/" : "", name ? name : "");
}

void RenameFile(const char *dir, const char *oldName, const char *newName)
{
  if (!oldName || !newName)
    return;
  if (dir) {
    if (FindFile(dir, oldName))
      SysCmd(-CMD_MV, SYSCMD_LOG, "%s/%s %s/%s", dir, oldName, dir, newName);
  } else if (FindFile(nullptr, oldName)) {
    SysCmd(-CMD_MV, SYSCMD_LOG, "%s %s", oldName, newName);
  }
}

char *GetUserName()
{
  char *cmd = GetCmd(CMD_WHOAMI);
  if (!cmd) {
    uid_t uid = getuid();
    if (uid == 0)
      return SaveStr_("root");
    return SaveStr("User ID:  %d", static_cast<int>(uid));
  }
  fflush(nullptr);
  FILE *pipe = popen(cmd, "r");
  PutMem(cmd);
  if (!pipe)
    return nullptr;
  char name[NAME_SIZE];
  if (!fgets(name, sizeof name, pipe))
    name[0] = '\0';
  pclose(pipe);
  CutAtLineEnd(name);
  return SaveStr_(name);
}

char *GetHostname()
{
  char name[NAME_SIZE + 1];
  if (gethostname(name, NAME_SIZE) != 0)
    return nullptr;
  name[NAME_SIZE] = '\0';
  CutAtLineEnd(name);
  return SaveStr_(name);
}

char *GetEnv(const char *name)
{
  const char *value = name ? getenv(name) : nullptr;
  return value ? SaveStr_(value) : nullptr;
}

int SniffLprng()
{
  if (!TestCmd(CMD_LPD))
    return 0;
  ResponseNode *lines = GetCmdResponse(CMD_LPD, "LPRng", "%s", " -V 2>&1");
  int found = lines != nullptr;
  FreeResponseList(lines);
  return found;
}
