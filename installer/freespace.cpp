// The free-space check made before anything is copied: the work area must
// hold the unpacked distribution and the installation base the installed
// product. Space that the run frees itself (an old work area, an old
// application directory) counts as available. A failed check ends the run
// with status 0 before the host has been changed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

namespace {

// Added to each figure of isize and tsize.
constexpr double SIZE_MARGIN = 40;
// A file system with this much or less left cannot take even the directories.
constexpr double PROBE_MINIMUM = 17;

// The catalog's message for this case expects two paths and a size; this
// text fits the directory and the figure actually at hand.
constexpr char PROBE_TOO_SMALL[] =
    "There isn't enough space in %s to perform the installation activities: "
    "only %.0f is free there. Free some space or restart the installation "
    "procedure with 'setup install /new_install_path'.\n";

// The figure of a size file of the distribution plus the margin; a missing
// file ends the run.
double RequiredSpace(const char *file)
{
  if (!GetFileContent(pPathToSetup, file)) {
    std::printf("%s", nlsSetupStrCvt(MSG_NO_SIZE_FILE));
    exit_app(0);
  }
  return std::strtod(LineBuf, nullptr) + SIZE_MARGIN;
}

// The first and the last word of a df line: the file system and its mount
// point.
std::pair<std::string_view, std::string_view> DeviceAndMount(const char *line)
{
  constexpr std::string_view blanks = " \t\n";
  std::string_view text = line;
  size_t start = text.find_first_not_of(blanks);
  if (start == std::string_view::npos)
    return {};
  size_t end = text.find_first_of(blanks, start);
  std::string_view device = text.substr(start, end == std::string_view::npos ? end : end - start);
  size_t last = text.find_last_not_of(blanks);
  size_t before = text.find_last_of(blanks, last);
  std::string_view mount =
      text.substr(before == std::string_view::npos ? 0 : before + 1, last - before);
  return {device, mount};
}

// Two readings of one file system. Their figures may differ when something
// else writes there between them, so only the file system and the mount
// point are compared.
bool SameFileSystem(const DiskInfo &a, const DiskInfo &b)
{
  if (std::strcmp(a.line, b.line) == 0)
    return true;
  auto [deviceA, mountA] = DeviceAndMount(a.line);
  auto [deviceB, mountB] = DeviceAndMount(b.line);
  return !deviceA.empty() && deviceA == deviceB && mountA == mountB;
}

// The nearest existing directory of `path` (a saved string) and whether
// `path` itself exists.
char *ExistingPath(const char *path, bool *exists)
{
  int flag = 0;
  char *found = FindExistingPath(path, &flag);
  *exists = flag != 0;
  return found;
}

}  // namespace

void FreeSpaceForInstall(const char *workDir, const char *baseDir, const char *makerWord)
{
  double needInstall = RequiredSpace("isize");
  double needWork = RequiredSpace("tsize");

  DiskInfo work, install, same;
  bool exists = false;
  char *workPath = ExistingPath(workDir, &exists);
  bool measured = GetDiskSpace(workPath, &work);
  PutMem(workPath);
  if (!measured)
    return;
  if (exists)
    work.avail += DUPath(workDir);  // the old work area goes first

  // The installation side: the deepest of app, maker and base that exists.
  // When none does, the nearest existing ancestor of the base is measured,
  // which is the file system the new directories will land on.
  char *app = SaveStr("%s/%s/%s", baseDir, makerWord, szProductDir);
  char *maker = SaveStr("%s/%s", baseDir, makerWord);
  char *installPath = ExistingPath(app, &exists);
  const char *probe = nullptr;
  GetDiskSpace(installPath, &install);
  if (exists) {
    install.avail += DUPath(app);  // the old application directory is replaced
  } else {
    probe = installPath;
  }
  PutMem(app);
  PutMem(maker);

  if (probe) {
    DiskInfo check;
    GetDiskSpace(probe, &check);
    if (check.avail <= PROBE_MINIMUM) {
      std::printf(PROBE_TOO_SMALL, probe, check.avail);
      exit_app(0);
    }
  }

  if (!SameFileSystem(work, install)) {
    if (work.avail < needWork) {
      std::printf(nlsSetupStrCvt(MSG_WORK_TOO_SMALL), workDir, needWork);
      exit_app(0);
    }
    if (install.avail < needInstall) {
      std::printf(nlsSetupStrCvt(MSG_BASE_TOO_SMALL), baseDir, needInstall);
      exit_app(0);
    }
    PutMem(installPath);
    return;
  }

  // One file system for both: the free space counts once, plus whatever the
  // two removals give back.
  GetDiskSpace(installPath, &same);
  PutMem(installPath);
  double combined;
  if (same.avail < work.avail || same.avail < install.avail)
    combined = install.avail - same.avail + work.avail;
  else
    combined = MaxD(work.avail, install.avail);
  if (combined < needInstall + needWork) {
    std::printf(nlsSetupStrCvt(MSG_SHARED_TOO_SMALL), workDir, baseDir, needInstall + needWork);
    exit_app(0);
  }
}
