// An earlier installation, found through the product's well-known location
// (the application directory itself for base /usr, otherwise a symbolic link
// to it), and its move to a new installation base.
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

namespace {

constexpr const char *WELL_KNOWN_BASE = szDefaultBase;
// A link target longer than this is not read.
constexpr size_t LINK_TARGET_MAX = 255;

// True when `dest` itself (not a link standing there) is the existing
// directory `app`, however the two are spelled: a relative link target,
// "..", or a linked directory on the way.
bool IsSameDirectory(const char *app, const char *dest)
{
  struct stat sa, sd;
  return stat(app, &sa) == 0 && lstat(dest, &sd) == 0 && S_ISDIR(sd.st_mode) &&
         sa.st_dev == sd.st_dev && sa.st_ino == sd.st_ino;
}

// Makes room at toApp for the application directory that moves there. A
// link there (the well-known link of an earlier installation elsewhere) is
// removed. Anything else is never removed but renamed to the first free
// "<toApp>.old-<n>", and the name goes into the log: it may be the only
// complete copy of the installation, left by a move across file systems
// that was cut off while the old tree was being removed (the re-run then
// finds the remains of the old tree through the well-known location).
void SetAsideDestination(const char *toApp)
{
  struct stat st;
  if (lstat(toApp, &st) != 0)
    return;
  if (S_ISLNK(st.st_mode)) {
    SysCmd(CMD_RM, SYSCMD_LOG, "%s", toApp);
    return;
  }
  char *aside = nullptr;
  for (int n = 1;; ++n) {
    aside = SaveStr("%s.old-%d", toApp, n);
    if (lstat(aside, &st) != 0)
      break;
    PutMem(aside);
  }
  SysCmd(CMD_MV, SYSCMD_FATAL, "%s %s", toApp, aside);
  PutLogMsg("WARNING_MSG: %s was there already; it is kept as %s\n", toApp, aside);
  PutMem(aside);
}

}  // namespace

char *locatePreviousInstallation()
{
  char *wellKnown = SaveStr("%s/%s/%s", WELL_KNOWN_BASE, szMakerDir, szProductDir);
  struct stat st;
  if (lstat(wellKnown, &st) != 0) {
    PutMem(wellKnown);
    return nullptr;
  }
  char target[LINK_TARGET_MAX + 1];
  ssize_t n = S_ISLNK(st.st_mode) ? readlink(wellKnown, target, LINK_TARGET_MAX) : -1;
  PutMem(wellKnown);
  if (n <= 0)
    return SaveStr_(WELL_KNOWN_BASE);  // a real directory, or an unreadable link
  target[n] = '\0';
  char *base = target[0] == '/' ? SaveStr_(target) : SaveStr("%s/%s", WELL_KNOWN_BASE, target);
  return StripToBaseName(base);
}

void moveInstallation(const char *fromBase, const char *toBase)
{
  char *fromApp = SaveStr("%s/%s/%s", fromBase, szMakerDir, szProductDir);
  char *toApp = SaveStr("%s/%s/%s", toBase, szMakerDir, szProductDir);
  // Two spellings of one directory: "moving" it would first remove the
  // destination, which is the installation itself.
  bool same = IsSameDirectory(fromApp, toApp);
  PutMem(fromApp);
  if (same) {
    PutMem(toApp);
    return;
  }
  SetAsideDestination(toApp);
  PutMem(toApp);
  char *toMaker = SaveStr("%s/%s", toBase, szMakerDir);
  CreateFile(toMaker, nullptr, "755", nullptr, nullptr);
  PutMem(toMaker);
  // The table gives mv its -f already; the line carries it twice.
  SysCmd(CMD_MV, SYSCMD_FATAL, "-f %s/%s/%s %s/%s", fromBase, szMakerDir, szProductDir, toBase,
         szMakerDir);
  if (std::strcmp(toBase, WELL_KNOWN_BASE) != 0) {
    SysCmd(CMD_RM, SYSCMD_LOG, "%s/%s/%s", WELL_KNOWN_BASE, szMakerDir, szProductDir);
    SysCmd(CMD_LN, SYSCMD_FATAL, "-s %s/%s/%s %s/%s/%s", toBase, szMakerDir, szProductDir,
           WELL_KNOWN_BASE, szMakerDir, szProductDir);
  }
}
