// The current input file, the line readers that fill LineBuf and Line, and
// questions about files (existence, size, time, type, whole contents).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <string_view>

#include "syscmd/SysCmd.h"
#include "utils/utils.h"

// The current input file and what the readers last did with it. Only the
// readers of this file change them; every module may read them.
int LineLen = 0;
char *pLine = Line;
int LineCnt = 0;
long InPos = 0;
FILE *pIn = nullptr;
FILE *pOut = nullptr;
char InputFileName[INPUT_FILE_NAME_SIZE];
int FileStatus = 1;
long SavedFileSize = 0;
int flInputFilterState = 1;

namespace {
constexpr int PHYSICAL_READ = 511;    // fgets size: at most 510 characters
constexpr size_t GETLINE_AREA = 512;  // the part of Line that GetLine returns
constexpr size_t FORMATTED_PATH = 512;
constexpr size_t FINDFILE_PATH = 256;

// Formats a path; false (nothing usable) when it does not fit.
bool FormatPath(char *buf, size_t size, const char *fmt, va_list args) NORVO_PRINTF(3, 0);
bool FormatPath(char *buf, size_t size, const char *fmt, va_list args)
{
  int n = vsnprintf(buf, size, fmt, args);
  return n >= 0 && static_cast<size_t>(n) < size;
}

// dir, or dir/name when a name is given; false when it does not fit.
bool JoinPath(char *buf, size_t size, const char *dir, const char *name)
{
  int n = name ? snprintf(buf, size, "%s/%s", dir, name) : snprintf(buf, size, "%s", dir);
  return n >= 0 && static_cast<size_t>(n) < size;
}

// Closes a descriptor on every way out.
struct Fd {
  int fd;
  explicit Fd(int f) : fd(f) {}
  ~Fd()
  {
    if (fd >= 0)
      close(fd);
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
};

// Reads up to size bytes (fewer at end of file); the count read.
size_t ReadAll(int fd, char *buf, size_t size)
{
  size_t got = 0;
  while (got < size) {
    ssize_t n = read(fd, buf + got, size - got);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    got += static_cast<size_t>(n);
  }
  return got;
}
}  // namespace

FILE *OpenFile(FILE *old, const char *path, const char *mode, int level)
{
  if (old)
    fclose(old);
  FILE *f = path ? fopen(path, mode) : nullptr;
  if (!f) {
    if (level == LEVEL_FATAL)
      SysError(common_115, path ? path : "(null)");
    if (level == LEVEL_WARNING)
      fprintf(stderr, common_114, path ? path : "(null)");
  }
  return f;
}

FILE *OpenFileF(FILE *old, const char *mode, int level, const char *fmt, ...)
{
  char path[FORMATTED_PATH];
  va_list args;
  va_start(args, fmt);
  bool fits = FormatPath(path, sizeof path, fmt, args);
  va_end(args);
  if (!fits) {
    // Opening a cut-down path would open the wrong file: refuse instead.
    if (old)
      fclose(old);
    if (level == LEVEL_FATAL)
      SysError(common_115, path);
    if (level == LEVEL_WARNING)
      fprintf(stderr, common_114, path);
    return nullptr;
  }
  return OpenFile(old, path, mode, level);
}

int OpenRawFile(const char *path, int flags)
{
  int fd = path ? open(path, flags, 0666) : -1;
  if (fd < 0) {
    printf(common_113, path ? path : "(null)");
    fflush(stdout);
  }
  return fd;
}

int OpenInputFile(const char *path, int level)
{
  // Kept for messages only: a longer path is cut to the buffer.
  const char *name = path ? path : "";
  size_t n = strnlen(name, sizeof InputFileName - 1);
  memcpy(InputFileName, name, n);
  InputFileName[n] = '\0';
  if (pIn) {
    fclose(pIn);
    pIn = nullptr;
  }
  pIn = path ? fopen(path, "rt") : nullptr;
  if (pIn) {
    FileStatus = 0;
    return 1;
  }
  // A package list that cannot be read is a failed run, not a normal end.
  ErrorMsg(level, 1, common_115, path ? path : "(null)");
  FileStatus = 2;
  LineBuf[0] = '\0';
  LineLen = 0;
  return 0;
}

int OpenInputFileF(int level, const char *fmt, ...)
{
  char path[FORMATTED_PATH];
  va_list args;
  va_start(args, fmt);
  bool fits = FormatPath(path, sizeof path, fmt, args);
  va_end(args);
  if (!fits) {
    CloseInputFile();
    ErrorMsg(level, 1, common_115, path);
    FileStatus = 2;
    LineBuf[0] = '\0';
    LineLen = 0;
    return 0;
  }
  return OpenInputFile(path, level);
}

void CloseInputFile()
{
  if (pIn) {
    fclose(pIn);
    pIn = nullptr;
    FileStatus = 1;
  }
}

static bool EndsInContinuation(const char *part)
{
  size_t len = strlen(part);
  return len >= 2 && part[len - 2] == '\\' && part[len - 1] == '\n';
}

int GetFileLine()
{
  if (!pIn)
    return 0;
  if (!fgets(LineBuf, PHYSICAL_READ, pIn)) {
    LineBuf[0] = '\0';
    CloseInputFile();
    return 0;
  }
  LineLen = 0;
  const char *part = LineBuf;
  while (EndsInContinuation(part)) {
    LineLen += static_cast<int>(strlen(part));
    char *next = LineBuf + LineLen;
    int room = static_cast<int>(LINEBUF_SIZE) - LineLen;
    if (room < 2 || !fgets(next, room, pIn)) {
      *next = '\0';
      break;
    }
    part = next;
  }
  return 1;
}

int GetFileTextLine(const char *delims)
{
  if (!delims)
    return 0;
  while (GetFileLine()) {
    if (LineBuf[0] == '#')
      continue;
    const char *token = GetToken(LineBuf, delims);
    if (!token)
      continue;
    memmove(LineBuf, token, strlen(token) + 1);
    return 1;
  }
  return 0;
}

// Text of a line behind leading white space.
static char *SkipLeadingSpace(char *p)
{
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
    p++;
  return p;
}

// Cuts at the first newline or carriage return that follows another
// character; a text of line ends only is left alone.
static void CutLineEnd(char *p)
{
  size_t start = strspn(p, "\r\n");
  if (p[start] == '\0')
    return;
  p[start + strcspn(p + start, "\r\n")] = '\0';
}

// Appends text to Line's returned area, never past it.
static void AppendToLine(size_t &used, const char *text)
{
  size_t len = strnlen(text, GETLINE_AREA - 1 - used);
  memmove(Line + used, text, len);
  used += len;
  Line[used] = '\0';
}

int GetLine()
{
  LineCnt = 0;
  pLine = Line;
  InPos = pIn ? ftell(pIn) : 0;
  if (!pIn)
    return 0;

  // A /* comment that spans lines: the text in front of it is kept in Line
  // (used bytes) and joined with the text behind its closing */.
  char part[PHYSICAL_READ + 1];
  size_t used = 0;
  bool open = false;
  for (;;) {
    if (!fgets(part, PHYSICAL_READ, pIn)) {
      if (used == 0)
        return 0;
      break;  // unterminated comment at the end: return the text before it
    }
    LineCnt++;
    if (!flInputFilterState) {
      AppendToLine(used, part);
      break;
    }
    char *p = part;
    if (open) {
      char *close = strstr(p, "*/");
      if (!close) {
        if (used == 0)
          InPos = ftell(pIn);
        continue;  // the whole physical line lies inside the comment
      }
      p = close + 2;
      open = false;
    }
    if (char *slashes = strstr(p, "//"))
      *slashes = '\0';
    if (used == 0)
      p = SkipLeadingSpace(p);
    if (*p) {
      if (char *comment = strstr(p, "/*")) {
        *comment = '\0';
        char *close = strstr(comment + 2, "*/");
        if (!close) {
          AppendToLine(used, p);
          open = true;
          if (used == 0)
            InPos = ftell(pIn);
          continue;
        }
        AppendToLine(used, p);
        p = close + 2;
      }
    }
    AppendToLine(used, p);
    CutLineEnd(Line);
    break;
  }
  memset(Line + strlen(Line), 0, GETLINE_AREA - strlen(Line));
  return LineCnt;
}

int GetLineN(int n)
{
  int result = 0;
  for (int i = 0; i < n; i++)
    result = GetLine();
  return result;
}

int GetLinePos(long offset)
{
  if (pIn)
    fseek(pIn, offset, SEEK_SET);
  return GetLine();
}

char *fgetsp(char *buf, int size, FILE *stream, long offset)
{
  if (!stream)
    return nullptr;
  fseek(stream, offset, SEEK_SET);
  return fgets(buf, size, stream);
}

int GetFileContentR(const char *dir, const char *name, char *buf, size_t size)
{
  char path[PATH_MAX];
  if (!dir || !buf || size == 0 || !JoinPath(path, sizeof path, dir, name))
    return 0;
  Fd fd(open(path, O_RDONLY));
  if (fd.fd < 0)
    return 0;
  buf[ReadAll(fd.fd, buf, size - 1)] = '\0';
  return 1;
}

int GetFileContent(const char *dir, const char *name)
{
  return GetFileContentR(dir, name, LineBuf, LINEBUF_SIZE);
}

char *GetSavedFileContent(const char *dir, const char *name)
{
  char path[256];
  SavedFileSize = 0;
  if (!dir)
    return nullptr;
  int n = snprintf(path, sizeof path, "%s%s%s", dir, name ? "/" : "", name ? name : "");
  if (n < 0 || static_cast<size_t>(n) >= sizeof path)
    return nullptr;
  SavedFileSize = GetFileSize(path);
  if (SavedFileSize <= 0)
    return nullptr;
  size_t size = static_cast<size_t>(SavedFileSize);
  char *text = static_cast<char *>(GetMem(size + 1));
  if (!text) {
    ErrorMsg(LEVEL_WARNING, 0, "%s", common_109);
    return nullptr;
  }
  // A one-byte file is taken as empty: its byte is not read.
  if (size > 1) {
    Fd fd(open(path, O_RDONLY));
    if (fd.fd < 0) {
      PutMem(text);
      return nullptr;
    }
    text[ReadAll(fd.fd, text, size)] = '\0';
  }
  return text;
}

char *FileSearch(const char *path, const char *pattern, int level)
{
  static char found[512];
  FILE *f = OpenFile(nullptr, path, "rt", level);
  if (!f)
    return nullptr;
  char *result = nullptr;
  while (fgets(found, PHYSICAL_READ, f)) {
    if (!pattern || StrStr(found, pattern)) {
      result = found;
      break;
    }
  }
  fclose(f);
  return result;
}

long GetFileSize(const char *path)
{
  struct stat st;
  if (!path || stat(path, &st) != 0)
    return 0;
  return static_cast<long>(st.st_size);
}

long GetFileTime(const char *path)
{
  struct stat st;
  if (!path || stat(path, &st) != 0)
    return 0;
  return static_cast<long>(st.st_mtime);
}

int GetFileType(const char *path)
{
  struct stat st;
  if (!path || lstat(path, &st) != 0)
    return FILE_TYPE_NONE;
  if (S_ISDIR(st.st_mode))
    return FILE_TYPE_DIRECTORY;
  if (S_ISLNK(st.st_mode))
    return FILE_TYPE_LINK;
  return FILE_TYPE_OTHER;
}

int FindFile(const char *dir, const char *name)
{
  if (!dir) {
    if (!name || !*name)
      return 0;
    dir = name;
    name = nullptr;
  }
  // Private copies: the splitters below return static buffers that a
  // caller may have passed in.
  char dirPart[FINDFILE_PATH];
  char namePart[FINDFILE_PATH];
  if (name && *name) {
    if (strchr(name, '/')) {
      char joined[FINDFILE_PATH];
      int n = snprintf(joined, sizeof joined, "%s/%s", dir, name);
      if (n < 0 || static_cast<size_t>(n) >= sizeof joined)
        return 0;
      char *slash = strrchr(joined, '/');
      *slash = '\0';
      snprintf(dirPart, sizeof dirPart, "%s", joined[0] ? joined : "/");
      snprintf(namePart, sizeof namePart, "%s", slash + 1);
    } else {
      if (strlen(dir) >= sizeof dirPart || strlen(name) >= sizeof namePart)
        return 0;
      snprintf(dirPart, sizeof dirPart, "%s", dir);
      snprintf(namePart, sizeof namePart, "%s", name);
    }
  } else {
    if (strlen(dir) >= sizeof dirPart)
      return 0;
    char whole[FINDFILE_PATH];
    snprintf(whole, sizeof whole, "%s", dir);
    snprintf(namePart, sizeof namePart, "%s", StripPath(whole));
    snprintf(dirPart, sizeof dirPart, "%s", StripFn(whole));
    // The root has no name in any listing; it exists when it can be listed.
    if (whole[0] && strspn(whole, "/") == strlen(whole))
      namePart[0] = '\0';
  }
  char *listing = GetDirFileList(dirPart);
  if (!listing)
    return 0;
  int found = FindToken(namePart, listing) != 0;
  PutMem(listing);
  return found;
}

int FindFile_(const char *dir, const char *name)
{
  if (!dir && (!name || !*name))
    return 0;
  char path[PATH_MAX];
  bool fits = dir && name ? JoinPath(path, sizeof path, dir, name)
                          : JoinPath(path, sizeof path, dir ? dir : name, nullptr);
  struct stat st;
  return fits && stat(path, &st) == 0;
}
