// The command table and the lookup of its commands in the host's directories.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "syscmd/SysCmd.h"

// The table is filled in by InitSysCmdList (or lazily while flInitSysCmd is
// set) and read by the execution functions; only this file sets paths.
ComEntry ComList[COMLIST_SIZE] = {
    {"", "", nullptr, 0},
    {"", "", nullptr, 0},
    {"cancel", "", nullptr, 2},
    {"cat", "", nullptr, 0},
    {"chgrp", "", nullptr, 0},
    {"chmod", "", nullptr, 0},
    {"chown", "", nullptr, 0},
    {"clear", "", nullptr, 0},
    {"compress", "", nullptr, 0},
    {"cp", "-p", nullptr, 0},
    {"cp", "-pr", nullptr, 0},  // 10
    {"cupsd", "", nullptr, 0},
    {"id", "", nullptr, 0},
    {"echo", "", nullptr, 0},
    {"eject", "-f", nullptr, 1},
    {"eject", "-q", nullptr, 1},
    {"file", "", nullptr, 0},
    {"ln", "", nullptr, 0},
    {"lp", "", nullptr, 0},
    {"lpc", "", nullptr, 1},
    {"lpr", "", nullptr, 0},  // 20
    {"lprm", "", nullptr, 1},
    {"lpstat", "", nullptr, 1},
    {"ls", "", nullptr, 0},
    {"kill", "-KILL", nullptr, 0},
    {"mv", "-f", nullptr, 0},
    {"mkdir", "-p", nullptr, 0},
    {"more", "", nullptr, 0},
    {"ping", "", nullptr, 0},
    {"rm", "-f", nullptr, 0},
    {"rm", "-rf", nullptr, 0},  // 30
    {"sh", "", nullptr, 0},
    {"sleep", "", nullptr, 0},
    {"tar", "cvfp", nullptr, 0},
    {"tar", "xvfp", nullptr, 0},
    {"touch", "", nullptr, 0},
    {"uncompress", "", nullptr, 0},
    {"whoami", "", nullptr, 0},
    {"zcat", "", nullptr, 0},
    {"uname", "", nullptr, 0},
    {"sed", "", nullptr, 0},  // 40
    {"du", "-s", nullptr, 0},
    {"checkpc", "", nullptr, 0},
    {"lpd", "", nullptr, 0},
    {"pkgadd", "", nullptr, 1},
    {"pkginfo", "", nullptr, 0},
    {"pkgrm", "", nullptr, 1},
    {"accept", "", nullptr, 1},
    {"disable", "", nullptr, 1},
    {"enable", "", nullptr, 1},
    {"lpadmin", "", nullptr, 1},  // 50
    {"lpfilter", "", nullptr, 1},
    {"lpsched", "", nullptr, 1},
    {"lpshut", "", nullptr, 1},
    {"lpsystem", "", nullptr, 1},
    {"ps", "-ace", nullptr, 0},
    {"bar", "", nullptr, 0},
    {"df", "", nullptr, 0},
    {"lpq", "-P", nullptr, 0},
    {"ypcat", "", nullptr, 0},
    {"reject", "", nullptr, 1},  // 60
    {"pmadm", "", nullptr, 1},
    {"sacadm", "", nullptr, 1},
    {"volcheck", "", nullptr, 0},
    {"capture", "", nullptr, 0},
    {"lpset", "", nullptr, 1},
    {"instnetpr", "", nullptr, 1},
    {"piomkpq", "", nullptr, 0},
    {"piomisc_ext", "", nullptr, 0},
    {"piomisc_base", "", nullptr, 0},
    {"lsallq", "", nullptr, 0},  // 70
    {"mkque", "", nullptr, 0},
    {"mkquedev", "", nullptr, 0},
    {"rmque", "", nullptr, 0},
    {"rmquedev", "", nullptr, 0},
    {"piochdfq", "", nullptr, 0},
    {"enq", "", nullptr, 0},
    {"lsquedev", "", nullptr, 0},
    {"lsque", "", nullptr, 0},
    {"startsrc", "", nullptr, 1},
    {"stopsrc", "", nullptr, 0},  // 80
    {"lssrc", "", nullptr, 0},
    {nullptr, nullptr, nullptr, 0},
};

const char SearchPaths[] = "/usr/sbin:/usr/bin:/bin:/sbin:/etc:/usr/etc";
char *FullSearchPath = nullptr;
int flInitSysCmd = 1;
int flSysCmdLog = 0;

static void MakeFullSearchPath()
{
  if (FullSearchPath)
    return;
  const char *path = getenv("PATH");
  FullSearchPath = SaveStr("%s:%s", SearchPaths, path ? path : "");
}

// Splits a pool copy of a ':'-separated list in place and offers each
// directory to FillCmdPaths until nothing is missing. The copy is never
// released: located commands keep pointers into it.
static bool FillFromDirectories(const char *list)
{
  char *copy = SaveStr_(list);
  bool missing = true;
  char *p = copy;
  while (missing && *p) {
    char *end = strchr(p, ':');
    if (end)
      *end = '\0';
    if (*p)
      missing = FillCmdPaths(p);
    if (!end)
      break;
    p = end + 1;
  }
  return missing;
}

void InitSysCmdList()
{
  flInitSysCmd = 0;
  char *path = GetEnv("PATH");
  if (!FullSearchPath)
    FullSearchPath = SaveStr("%s:%s", SearchPaths, path ? path : "");

  bool missing = FillFromDirectories(SearchPaths);
  if (missing && path)
    FillFromDirectories(path);
  if (path)
    PutMem(path);

  // putenv keeps the string itself, so it must live as long as the process.
  const ComEntry &sh = ComList[CMD_SH];
  putenv(SaveStr("SHELL=%s/%s ", sh.path ? sh.path : "", sh.name));

  if (flUseLog) {
    flSysCmdLog = 1;
    PutLogMsg("initializing system\n");
  }
}

bool FillCmdPaths(char *dir)
{
  char *listing = GetDirFileList(dir);
  if (!listing)
    return true;
  bool missing = false;
  for (int i = 2; ComList[i].name && ComList[i].name[0]; i++) {
    if (!ComList[i].path && FindToken(ComList[i].name, listing))
      ComList[i].path = dir;
    if (!ComList[i].path)
      missing = true;
  }
  PutMem(listing);
  return missing;
}

bool FillCmdPath(int index)
{
  if (index < 2 || index > MAX_CMD_INDEX)
    return false;
  MakeFullSearchPath();
  // A private walk, so that a lookup never disturbs the caller's token scan.
  std::string_view rest = FullSearchPath;
  char dir[4096];
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::string_view part = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (part.empty() || part.size() >= sizeof dir)
      continue;
    memcpy(dir, part.data(), part.size());
    dir[part.size()] = '\0';
    if (FindFile(dir, ComList[index].name)) {
      ComList[index].path = SaveStr_(dir);
      return true;
    }
  }
  return false;
}

bool TestCmd(int index)
{
  if (index < 2 || index > MAX_CMD_INDEX)
    return false;
  if (flInitSysCmd && !ComList[index].path)
    FillCmdPath(index);
  return ComList[index].path != nullptr;
}

char *GetCmd(int index)
{
  if (index < 0 || index > MAX_CMD_INDEX || !ComList[index].path)
    return nullptr;
  const ComEntry &c = ComList[index];
  return SaveStr("%s/%s %s", c.path, c.name, c.flags);
}

char *GetCmdNoFlags(int index)
{
  if (index < 0 || index > MAX_CMD_INDEX || !ComList[index].path)
    return nullptr;
  return SaveStr("%s/%s", ComList[index].path, ComList[index].name);
}

char *ReadDir(DIR *dir)
{
  struct dirent *entry = dir ? readdir(dir) : nullptr;
  return entry ? entry->d_name : nullptr;
}

namespace {
// Closes the directory on every way out of a listing function.
struct DirHandle {
  DIR *dir;
  explicit DirHandle(const char *path) : dir(path ? opendir(path) : nullptr) {}
  ~DirHandle()
  {
    if (dir)
      closedir(dir);
  }
  DirHandle(const DirHandle &) = delete;
  DirHandle &operator=(const DirHandle &) = delete;
};

// Does the entry belong in a SearchDirFileList of ext?
bool MatchesExt(const char *name, const char *ext)
{
  if (!ext)
    return strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
  const char *dot = strrchr(name, '.');
  return dot && strcmp(dot + 1, ext) == 0;
}

// Two passes over the directory: measure, then fill. Entries that appear
// between the passes are dropped rather than written past the block.
char *ListDirectory(const char *path, const char *ext, bool filter)
{
  DirHandle d(path);
  if (!d.dir)
    return nullptr;
  size_t size = 0;
  size_t count = 0;
  while (char *name = ReadDir(d.dir)) {
    if (filter && !MatchesExt(name, ext))
      continue;
    size += strlen(name) + 1;
    count++;
  }
  if (filter && count == 0)
    return nullptr;
  char *list = static_cast<char *>(GetMemOrDie(size + 3));
  rewinddir(d.dir);
  size_t used = 0;
  while (char *name = ReadDir(d.dir)) {
    if (filter && !MatchesExt(name, ext))
      continue;
    size_t len = strlen(name);
    if (used + 1 + len > size)
      continue;
    list[used++] = ' ';
    memcpy(list + used, name, len);
    used += len;
  }
  list[used++] = ' ';
  list[used] = '\0';
  return list;
}
}  // namespace

char *GetDirFileList(const char *dir)
{
  return ListDirectory(dir, nullptr, false);
}

char *SearchDirFileList(const char *dir, const char *ext)
{
  return ListDirectory(dir, ext, true);
}
