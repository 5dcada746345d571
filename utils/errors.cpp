// Error reports of the utilities and the directory the program was started from.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "utils/utils.h"

namespace {

const char *ProgramName()
{
  return my_name ? my_name : "";
}

// The directory part of a path: everything before its last '/', with a
// leading '/' kept ("/file" -> "/"); "." when there is no '/'.
std::string_view DirPart(std::string_view path)
{
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos)
    return ".";
  if (slash == 0)
    return path.substr(0, 1);
  return path.substr(0, slash);
}

// The working directory, or an empty string when the system cannot tell.
std::string WorkingDirectory()
{
  std::string buf(512, '\0');
  for (;;) {
    if (getcwd(buf.data(), buf.size()))
      return std::string(buf.c_str());
    if (errno != ERANGE)
      return {};
    buf.resize(buf.size() * 2);
  }
}

// Folds "." and ".." components and repeated slashes of an absolute path
// without looking at the file system; ".." at the root stays at the root.
std::string FoldPath(std::string_view path)
{
  std::string out;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos)
      end = path.size();
    std::string_view part = path.substr(pos, end - pos);
    if (part == "..") {
      size_t cut = out.rfind('/');
      out.resize(cut == std::string::npos ? 0 : cut);
    } else if (!part.empty() && part != ".") {
      out += '/';
      out += part;
    }
    pos = end + 1;
  }
  return out.empty() ? "/" : out;
}

// True when both paths name the same existing directory entry, or when
// neither can be examined (nothing better is known then).
bool SameDirectory(const char *a, const char *b)
{
  struct stat sa, sb;
  bool ha = stat(a, &sa) == 0, hb = stat(b, &sb) == 0;
  if (!ha || !hb)
    return ha == hb;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

void SysError(const char *fmt, ...)
{
  int err = errno;
  std::fprintf(stderr, "\n%s: ", ProgramName());
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
  std::fprintf(stderr, " : %s\n", std::strerror(err));
  std::exit(1);
}

void ErrorMsg(int level, int status, const char *fmt, ...)
{
  // Callers often report the line they just read, which lies in Line itself
  // (pLine): format into a block of its own first, then into Line.
  va_list ap, again;
  va_start(ap, fmt);
  va_copy(again, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  size_t keep = n > 0 ? std::min(size_t(n), sizeof Line - 1) : 0;
  if (auto *text = static_cast<char *>(GetMem(keep + 1))) {
    std::vsnprintf(text, keep + 1, fmt, again);
    std::memcpy(Line, text, keep + 1);
    PutMem(text);
  } else {
    std::vsnprintf(Line, sizeof Line, fmt, again);
  }
  va_end(again);
  if (level == LEVEL_WARNING) {
    std::fprintf(stderr, "WARNING: %s\n", Line);
  } else if (level == LEVEL_FATAL) {
    std::fprintf(stderr, common_116, Line);
    std::exit(status);
  }
}

void errormsg(const char *fmt, ...)
{
  std::fprintf(stderr, "%s: ", ProgramName());
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
  std::fputc('\n', stderr);
}

void exit_app(int status)
{
  std::exit(status);
}

char *GetToolPath(const char *argv0)
{
  std::string_view path = argv0 ? argv0 : "";
  std::string_view dir = DirPart(path);
  if (path.starts_with('/'))
    return SaveStrN(dir.data(), dir.size());

  std::string cwd = WorkingDirectory();
  if (cwd.empty())
    return SaveStrN(dir.data(), dir.size());  // nothing to resolve against
  if (dir == ".")
    return SaveStrN(cwd.data(), cwd.size());

  // A relative directory ("bin", "./bin", "../x", "a/../b") names a place
  // below or beside the working directory. Folding "." and ".." by hand keeps
  // the spelling the user chose, but after a symbolic link ".." leads
  // elsewhere than the kernel went when it started us: then the system's
  // own resolution of the path is the directory that holds the program.
  std::string joined = cwd;
  joined += '/';
  joined += dir;
  std::string folded = FoldPath(joined);
  if (!SameDirectory(folded.c_str(), joined.c_str())) {
    if (char *real = realpath(joined.c_str(), nullptr)) {
      char *saved = SaveStr_(real);
      std::free(real);
      return saved;
    }
  }
  return SaveStrN(folded.data(), folded.size());
}
