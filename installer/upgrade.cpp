// upgrade: raises a package registered in a System V package database to
// this release from the unpacked package image in the work area.
//
// Each plain file of the image's package map is registered with installf
// and copied into place, the registration is completed, and the VERSION
// line of the package's pkginfo is raised. The version is the database's
// promise that the files are those of this release, so it is raised only
// when every registration and copy went through; whatever failed is
// reported and pkginfo stays as it was.
//
// Every word of the map goes into a shell command line as it is: a word
// that is not one safe shell word is refused (with its line), never run.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"

const char *pPathToInstallf = "/usr/sbin/installf";

namespace {
// The file types of a map line; only plain files are upgraded.
constexpr char PkgMapTypes[] = ",f,d,i,";
constexpr int PKGMAP_PLAIN_FILE = 1;
// Part, type, class, path, mode, owner, group; the rest is not used.
constexpr int PKGMAP_WORDS = 7;
constexpr char PkgMapDelims[] = " \t\r\n";
constexpr size_t UPGRADE_LINE_SIZE = 4096;
constexpr char PkgDbDir[] = "/var/sadm/pkg";

// Module state, touched only by upgradeSolarisPackage and its helpers: the
// map being read and its line number, for messages.
char UpgradeMapPath[512];
int UpgradeLineNo;

void UpgradeError(const char *fmt, ...) NORVO_PRINTF(1, 2);
void UpgradeError(const char *fmt, ...)
{
  char message[UPGRADE_LINE_SIZE + 256];
  va_list args;
  va_start(args, fmt);
  vsnprintf(message, sizeof message, fmt, args);
  va_end(args);
  fprintf(stderr, "ERROR: %s\n", message);
  fflush(stderr);
}

// A word may go into a shell line as it is.
bool SafeWord(const char *what, const char *word)
{
  if (IsShellSafeWord(word))
    return true;
  char where[sizeof UpgradeMapPath + 32] = "";
  if (UpgradeLineNo > 0)
    snprintf(where, sizeof where, "%s line %d: ", UpgradeMapPath, UpgradeLineNo);
  UpgradeError("%srefusing the %s \"%s\": blanks and shell metacharacters are not allowed in "
               "package map words",
               where, what, word ? word : "(null)");
  return false;
}

// Runs a formatted line through the shell, as it is (not logged); true when
// it succeeded, else reported.
bool RunUpgradeLine(const char *fmt, ...) NORVO_PRINTF(1, 2);
bool RunUpgradeLine(const char *fmt, ...)
{
  char line[UPGRADE_LINE_SIZE];
  va_list args;
  va_start(args, fmt);
  int n = vsnprintf(line, sizeof line, fmt, args);
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= sizeof line) {
    UpgradeError("command line longer than %zu characters, not run: %.60s...", sizeof line - 1,
                 line);
    return false;
  }
  fflush(nullptr);  // the command's output must not overtake ours
  errno = 0;
  int rc = system(line);
  char why[160] = "";
  if (SysCmdStatus(rc, errno, why, sizeof why) == 0)
    return true;
  UpgradeError("%s: %s", line, why);
  return false;
}

void Progress()
{
  fputs(".", stdout);
  fflush(stdout);
}

// Registers and copies the file of one map line. True when done or when
// the line names no plain file.
bool UpgradeMapLine(const char *pkg, char *text)
{
  char *word[PKGMAP_WORDS];
  int count = 0;
  char *save = nullptr;
  for (char *w = strtok_r(text, PkgMapDelims, &save); w && count < PKGMAP_WORDS;
       w = strtok_r(nullptr, PkgMapDelims, &save))
    word[count++] = w;
  if (count < PKGMAP_WORDS || FindToken(word[1], PkgMapTypes) != PKGMAP_PLAIN_FILE)
    return true;
  const char *type = word[1], *cls = word[2], *path = word[3];
  const char *mode = word[4], *owner = word[5], *group = word[6];
  if (!SafeWord("class", cls) || !SafeWord("path", path) || !SafeWord("mode", mode) ||
      !SafeWord("owner", owner) || !SafeWord("group", group))
    return false;

  bool done;
  if (path[0] == '/') {
    done = RunUpgradeLine("%s -c %s %s %s %s %s %s %s", pPathToInstallf, cls, pkg, path, type, mode,
                          owner, group) &&
           RunUpgradeLine("cp %s/%s/root%s %s", pNorvoInstallDir, pkg, path, path);
  } else {
    if (!SafeWord("installation base", pTargetInstallDir))
      return false;
    done = RunUpgradeLine("%s -c %s %s %s/%s/%s %s %s %s %s", pPathToInstallf, cls, pkg,
                          pTargetInstallDir, szMakerDir, path, type, mode, owner, group) &&
           RunUpgradeLine("cp %s/%s/reloc/%s %s/%s/%s", pNorvoInstallDir, pkg, path,
                          pTargetInstallDir, szMakerDir, path);
  }
  Progress();
  return done;
}

// True when LineBuf holds only the front of a map line and the rest follows
// in the next reads: a read limit cut it (no newline, yet the file goes on),
// or a line continued behind a final backslash did not fit into LineBuf.
bool LineGoesOn(size_t len)
{
  bool newline = len > 0 && LineBuf[len - 1] == '\n';
  bool continued = newline && len > 1 && LineBuf[len - 2] == '\\';
  if ((newline && !continued) || !pIn)
    return false;
  int next = getc(pIn);
  if (next == EOF)
    return false;
  ungetc(next, pIn);
  return true;
}

// Reads the map through the current input file; true when every plain file
// was registered and copied.
bool UpgradeMapFiles(const char *pkg)
{
  bool allDone = true;
  bool inLongLine = false;  // the rest of a refused long line is still coming
  char text[LINEBUF_SIZE];
  while (GetFileLine()) {
    size_t len = strlen(LineBuf);
    bool goesOn = LineGoesOn(len);
    if (inLongLine) {
      inLongLine = goesOn;
      continue;
    }
    UpgradeLineNo++;
    // A line longer than one read (or, continued, longer than LineBuf)
    // arrives in pieces: refuse it rather than take its pieces for lines.
    if (goesOn) {
      UpgradeError("%s line %d: the line is too long", UpgradeMapPath, UpgradeLineNo);
      allDone = false;
      inLongLine = true;
      continue;
    }
    memcpy(text, LineBuf, len + 1);
    if (!UpgradeMapLine(pkg, text))
      allDone = false;
  }
  return allDone;
}
}  // namespace

int upgradeSolarisPackage(const char *pkg, const char *imageDir)
{
  if (!imageDir) {
    UpgradeError("no package image given");
    return 0;
  }
  snprintf(UpgradeMapPath, sizeof UpgradeMapPath, "%s/HLCRnpxx/pkgmap", imageDir);
  UpgradeLineNo = 0;
  if (!SafeWord("package name", pkg) || !SafeWord("work area", pNorvoInstallDir))
    return 0;
  OpenInputFileF(2, "%s/HLCRnpxx/pkgmap", imageDir);

  bool done = UpgradeMapFiles(pkg);
  CloseInputFile();
  if (!RunUpgradeLine("%s -f %s", pPathToInstallf, pkg))
    done = false;
  if (!done) {
    UpgradeError("the upgrade of %s is incomplete: its version is not raised", pkg);
    return 0;
  }

  SysCmd(CMD_RM, SYSCMD_LOG, "%s/%s/pkginfo.tmp", PkgDbDir, pkg);
  bool edited = RunUpgradeLine("sed -e\"s/VERSION=[0-9.].*/VERSION=%s/\" %s/%s/pkginfo >> "
                               "%s/%s/pkginfo.tmp",
                               szVersion, PkgDbDir, pkg, PkgDbDir, pkg);
  Progress();
  if (!edited) {
    // What sed left behind is empty or partial: it never replaces pkginfo.
    SysCmd(CMD_RM, SYSCMD_LOG, "%s/%s/pkginfo.tmp", PkgDbDir, pkg);
    UpgradeError("the version of %s is not raised", pkg);
    return 0;
  }
  if (SysCmd(CMD_MV, SYSCMD_LOG, "%s/%s/pkginfo.tmp %s/%s/pkginfo", PkgDbDir, pkg, PkgDbDir, pkg) !=
      0) {
    UpgradeError("the version of %s is not raised", pkg);
    return 0;
  }
  return 1;
}
