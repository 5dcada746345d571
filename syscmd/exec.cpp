// Running table commands through the shell, and capturing their output.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "syscmd/SysCmd.h"

namespace {
constexpr size_t CMDLINE_SIZE = 4096;
constexpr int PROCESS_WAIT_TRIES = 10;

// A command line under construction. Every append is checked: a line that
// does not fit is never run cut short, the process ends instead.
struct CmdLine {
  char text[CMDLINE_SIZE];
  size_t len = 0;

  CmdLine() { text[0] = '\0'; }

  void Fits(int n)
  {
    if (n < 0 || len + static_cast<size_t>(n) >= CMDLINE_SIZE) {
      text[len] = '\0';
      // Not logged: the log writer itself runs commands through here.
      fprintf(stderr, "ERROR: command line longer than %zu bytes, not run: %.60s...\n",
              CMDLINE_SIZE - 1, text);
      exit(1);
    }
  }

  void VAppend(const char *fmt, va_list args) NORVO_PRINTF(2, 0)
  {
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(text + len, CMDLINE_SIZE - len, fmt, copy);
    va_end(copy);
    Fits(n);
    len += static_cast<size_t>(n);
  }

  void Append(const char *fmt, ...) NORVO_PRINTF(2, 3)
  {
    va_list args;
    va_start(args, fmt);
    VAppend(fmt, args);
    va_end(args);
  }
};

// While lookup is still lazy, locate a command the first time it is used.
void LazyLookup(int index)
{
  if (flInitSysCmd && index > 1 && !ComList[index].path)
    FillCmdPath(index);
}

[[noreturn]] void Unlocated(int index)
{
  fprintf(stderr, "ERROR: unable to locate system command '%s'\n", ComList[index].name);
  exit(1);
}

// Starts a captured command: "<path>/<name> <flags> " (nothing for the
// caller-spelled indices 0 and 1) and the formatted arguments, read through
// a pipe. Null when the pipe cannot be opened.
NORVO_PRINTF(2, 0) FILE *OpenCapture(int index, const char *fmt, va_list args)
{
  CmdLine line;
  if (index >= 2) {
    LazyLookup(index);
    if (!ComList[index].path)
      Unlocated(index);
    line.Append("%s/%s %s ", ComList[index].path, ComList[index].name, ComList[index].flags);
  }
  line.VAppend(fmt, args);
  fflush(nullptr);
  return popen(line.text, "r");
}

// Reads the pipe to its end; calls keep(text, length) for every line that
// holds pattern (every line for a null or empty pattern). With pieces, a line
// longer than CMDLINE_SIZE - 1 characters comes in pieces of that length,
// each a line of its own (the response list's nodes); without, every line
// comes whole, however long.
template <typename Keep>
void ReadResponse(FILE *pipe, const char *pattern, bool pieces, Keep keep)
{
  char *buf = nullptr;
  size_t size = 0;
  bool all = !pattern || !*pattern;
  for (ssize_t got; (got = getline(&buf, &size, pipe)) > 0;) {
    size_t len = static_cast<size_t>(got);
    size_t step = pieces ? CMDLINE_SIZE - 1 : len;
    for (size_t at = 0; at < len; at += step) {
      size_t n = len - at < step ? len - at : step;
      char saved = buf[at + n];
      buf[at + n] = '\0';
      if (all || strstr(buf + at, pattern))
        keep(buf + at, n);
      buf[at + n] = saved;
    }
  }
  free(buf);
}

// Waits for a command that starts a daemon until a process of its name
// shows up in the process table.
void WaitForProcess(const char *name)
{
  for (int tries = 0; tries <= PROCESS_WAIT_TRIES; tries++) {
    if (tries > 0)
      sleep(1);
    if (char *ids = GetSysPsIdList(name)) {
      PutMem(ids);
      return;
    }
  }
  PutLogMsg("ERROR: Time out for command %s\n", name);
}
}  // namespace

int SysCmdStatus(int rc, int savedErrno, char *why, size_t whySize)
{
  if (rc == -1) {
    int err = savedErrno ? savedErrno : ECHILD;
    snprintf(why, whySize, "cannot run the command: %s", strerror(err));
    return err;
  }
  if (WIFEXITED(rc)) {
    int status = WEXITSTATUS(rc);
    if (status != 0)
      snprintf(why, whySize, "command failed with exit status %d", status);
    return status;
  }
  if (WIFSIGNALED(rc)) {
    int sig = WTERMSIG(rc);
    snprintf(why, whySize, "command killed by signal %d (%s)", sig, strsignal(sig));
    return 128 + sig;
  }
  snprintf(why, whySize, "command ended abnormally (wait status %d)", rc);
  return rc ? rc : 1;
}

int SysCmd(int index, int mode, const char *fmt, ...)
{
  bool show = true;
  if (index < 0) {
    index = -index;
    show = false;
  } else if (index == 0) {
    show = false;
  }
  if (index > MAX_CMD_INDEX) {
    fprintf(stderr, "ERROR: no system command number %d\n", index);
    exit(1);
  }

  if (flInitSysCmd && index > 1) {
    LazyLookup(index);
    LazyLookup(CMD_SH);
  }

  CmdLine line;
  if (index > 1) {
    const ComEntry &cmd = ComList[index];
    const ComEntry &sh = ComList[CMD_SH];
    if (!cmd.path)
      Unlocated(index);
    if (!sh.path)
      Unlocated(CMD_SH);
    line.Append("%s/%s -c \"%s/%s %s ", sh.path, sh.name, cmd.path, cmd.name, cmd.flags);
  }
  va_list args;
  va_start(args, fmt);
  line.VAppend(fmt, args);
  va_end(args);

  bool logged = mode == SYSCMD_LOG || mode == SYSCMD_FATAL;
  // Measure the whole line before anything is shown or run.
  CmdLine full = line;
  if (mode == SYSCMD_QUIET)
    full.Append(" 1>/dev/null 2>/dev/null");
  else if (show && logged) {
    if (flUseLog && my_name)
      full.Append(" 1>>/tmp/%s.log 2>>/tmp/%s.log", my_name, my_name);
    else
      full.Append(" 1>>/dev/null 2>>/dev/null");
  }
  if (index > 1)
    full.Append("\"");

  if (show && flSysCmdLog && logged) {
    fputs(".", stdout);
    fflush(stdout);
    PutLogMsg("%s\n", line.text);
  }

  fflush(nullptr);  // the command's output must not overtake ours
  errno = 0;
  int rc = system(full.text);
  char why[160] = "";
  int status = SysCmdStatus(rc, errno, why, sizeof why);

  if (status != 0 && logged) {
    const char *label = mode == SYSCMD_FATAL ? "ERROR" : "WARNING_MSG";
    PutLogMsg("%s: %s\n", label, why);
    if (mode == SYSCMD_FATAL) {
      printf("%s: %s\n", label, why);
      fflush(stdout);
      exit(1);
    }
  }

  if (index > 1) {
    int delay = ComList[index].delay;
    if (delay == -1)
      WaitForProcess(ComList[index].name);
    else if (delay > 0)
      sleep(static_cast<unsigned>(delay));
  }
  return status;
}

ResponseNode *GetCmdResponse(int index, const char *pattern, const char *fmt, ...)
{
  va_list args;
  va_start(args, fmt);
  FILE *pipe = OpenCapture(index, fmt, args);
  va_end(args);
  if (!pipe)
    return nullptr;
  ResponseNode *first = nullptr;
  ResponseNode **tail = &first;
  ReadResponse(pipe, pattern, true, [&](const char *text, size_t len) {
    auto *node = static_cast<ResponseNode *>(GetMem(sizeof(ResponseNode) + len + 1));
    if (!node)
      return;
    node->text = reinterpret_cast<char *>(node + 1);
    memcpy(node->text, text, len + 1);
    *tail = node;
    tail = &node->next;
  });
  pclose(pipe);
  return first;
}

char *GetCmdResponseStr(int index, const char *pattern, const char *fmt, ...)
{
  va_list args;
  va_start(args, fmt);
  FILE *pipe = OpenCapture(index, fmt, args);
  va_end(args);
  if (!pipe)
    return nullptr;
  char *result = nullptr;
  size_t used = 0;
  ReadResponse(pipe, pattern, false, [&](const char *text, size_t len) {
    size_t size = used + len + 2;
    char *grown = static_cast<char *>(result ? AdjustMem(result, size) : GetMem(size));
    if (!grown)
      return;
    result = grown;
    memcpy(result + used, text, len);
    used += len;
    if (len == 0 || text[len - 1] != '\n')
      result[used++] = '\n';
    result[used] = '\0';
  });
  pclose(pipe);
  return result;
}

ResponseNode *FreeResponseList(ResponseNode *list)
{
  while (list) {
    ResponseNode *next = list->next;
    PutMem(list);
    list = next;
  }
  return nullptr;
}
