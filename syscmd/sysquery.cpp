// System queries: which of several programs run (ps), free space of a file
// system (df) and the size of a tree (du). Every answer comes from a
// command of the table read through a pipe; an unreadable or odd output is
// treated as "nothing found", never as an error.
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unistd.h>

#include "syscmd/SysCmd.h"
#include "utils/utils.h"

namespace {

constexpr char WORD_DELIMS[] = " \t\n";

// Size of the report of running programs; longer reports are cut and end
// with TRUNCATED_MARK.
constexpr size_t REPORT_SIZE = 1024;
constexpr char TRUNCATED_MARK[] = " ...\n";

// The n-th word (0-based) of `text` as a view into it; empty when missing.
// Own scanner: the shared tokenizer state stays untouched, and a word is
// never cut at the tokenizer's 254-character limit.
std::string_view NthWord(std::string_view text, size_t n)
{
  size_t pos = 0;
  for (size_t i = 0;; ++i) {
    pos = text.find_first_not_of(WORD_DELIMS, pos);
    if (pos == std::string_view::npos)
      return {};
    size_t end = text.find_first_of(WORD_DELIMS, pos);
    if (end == std::string_view::npos)
      end = text.size();
    if (i == n)
      return text.substr(pos, end - pos);
    pos = end;
  }
}

// Appends `text` to the terminated string in buf[size]; what does not fit is
// cut. Returns false when something was cut.
bool Append(char *buf, size_t size, std::string_view text)
{
  size_t used = std::strlen(buf);
  size_t room = size - 1 - used;
  size_t n = text.size() < room ? text.size() : room;
  std::memcpy(buf + used, text.data(), n);
  buf[used + n] = '\0';
  return n == text.size();
}

}  // namespace

char *CheckProcTableForExecs(const char *names)
{
  if (!names)
    return nullptr;
  char list[512];
  std::snprintf(list, sizeof list, "%s", names);
  char report[REPORT_SIZE] = "";
  bool cut = false;
  int found = 0;
  char *rest = list;
  while (rest) {
    char *name = rest;
    rest = std::strchr(rest, ',');
    if (rest)
      *rest++ = '\0';
    if (!*name)
      continue;
    char *ids = GetSysPsIdList(name);
    if (!ids)
      continue;
    ++found;
    if (!cut) {
      // Keep room for the mark so that a cut report still ends its line.
      constexpr size_t room = sizeof report - (sizeof TRUNCATED_MARK - 1);
      if (!Append(report, room, name) || !Append(report, room, " (") ||
          !Append(report, room, ids) || !Append(report, room, ")\n")) {
        Append(report, sizeof report, TRUNCATED_MARK);
        cut = true;
      }
    }
    PutMem(ids);
  }
  return found ? SaveStr_(report) : nullptr;
}

int KillProcessByName(const char *name)
{
  char *ids = GetSysPsIdList(name);
  if (ids) {
    char *pos = ids;
    for (;;) {
      char *end = nullptr;
      long pid = std::strtol(pos, &end, 10);
      if (end == pos)
        break;
      pos = end;
      // Never 0 or a negative id: those would signal whole process groups.
      if (pid <= 0)
        continue;
      if (kill(static_cast<pid_t>(pid), SIGKILL) != 0 && errno == EPERM) {
        PutMem(ids);
        sleep(1);
        return 0;
      }
    }
    PutMem(ids);
  }
  sleep(1);
  return 0;
}

bool GetDiskSpace(const char *path, DiskInfo *info)
{
  info->avail = 0;
  info->line[0] = '\0';
  ResponseNode *lines = GetCmdResponse(CMD_DF, nullptr, "%s", path);
  bool ok = false;
  if (lines) {
    std::string_view header = lines->text;
    size_t column = 0;
    bool found = false;
    for (std::string_view word; !(word = NthWord(header, column)).empty(); ++column) {
      if (word.size() >= 5 && strncasecmp(word.data(), "avail", 5) == 0) {
        found = true;
        break;
      }
    }
    if (found && lines->next) {
      const char *data = lines->next->text;
      std::snprintf(info->line, sizeof info->line, "%s", data);
      std::string_view word = NthWord(data, column);
      if (!word.empty()) {
        info->avail = std::strtod(word.data(), nullptr);
        ok = true;
      }
    }
  }
  FreeResponseList(lines);
  return ok;
}

double DUPath(const char *path)
{
  ResponseNode *lines = GetCmdResponse(CMD_DU, nullptr, "%s", path);
  double size = lines ? std::strtod(lines->text, nullptr) : 0;
  FreeResponseList(lines);
  return size;
}

bool AvailSpace(const char *dir, const char *name, double needed)
{
  DiskInfo info;
  if (name && *name && FindFile(dir, name)) {
    char *path = SaveStr("%s/%s", dir, name);
    double used = DUPath(path);
    PutMem(path);
    GetDiskSpace(dir, &info);
    return info.avail + used >= needed;
  }
  char *current = SaveStr_(dir);
  for (;;) {
    if (GetDiskSpace(current, &info)) {
      PutMem(current);
      return info.avail >= needed;
    }
    char *parent = SaveStr_(StripFn(current));
    bool top = std::strcmp(parent, current) == 0;
    PutMem(current);
    current = parent;
    if (top)
      break;
  }
  PutMem(current);
  return false;
}
