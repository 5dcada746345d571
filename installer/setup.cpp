// The installer's state and its command line.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "installer/setup.h"

// Installer state: written by main and parseCommandLineOptions, read by every
// step afterwards. The strings are saved strings kept until the process ends.
char *pPathToSetup = nullptr;
char *pNorvoInstallDir = nullptr;
char *pCmdLineInstallDir = nullptr;
char *pCurrentInstallDir = nullptr;
char *pTargetInstallDir = nullptr;
char *pAppDir = nullptr;
int flCreatedTmpDir = 0;
const char *InstallInfo[5];
const char *InstallSiteInfo[4];
const char pBinaryInstanceCheckList[] = ",npadmin,npqadmin,nprint,nprnpxxtty,NPQ,NPRM,nsf,";

namespace {

// Words of the command line, in the order the switch below handles them.
constexpr char kOptions[] = ",install,-v";
enum { OPT_INSTALL = 1, OPT_VERSION = 2 };

bool Exists(const char *path)
{
  struct stat st;
  return lstat(path, &st) == 0;
}

bool IsDirectory(const char *path)
{
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// path as an absolute saved string: a relative path is taken from the
// working directory ("" is the working directory itself). The run changes
// its directory later (into the work area, to "/"), so a relative path
// would then name another place.
char *AbsolutePath(const char *path)
{
  if (path[0] == '/')
    return SaveStr_(path);
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd))
    return SaveStr_(path);
  if (!path[0])
    return SaveStr_(cwd);
  return SaveStr("%s%s%s", cwd, std::strcmp(cwd, "/") == 0 ? "" : "/", path);
}

// The directories of the command line end up in shell command lines (and
// the work area's parent in an "rm -rf"): a blank or a shell metacharacter
// would make them name something else, so such a path is refused before
// anything on the host changes.
void RefuseUnsafePath(const char *path)
{
  if (!IsShellSafeWord(path))
    ErrorMsg(LEVEL_FATAL, 2,
             "refusing the directory \"%s\": blanks and shell special characters are not allowed",
             path);
}

[[noreturn]] void CannotOpenWorkArea(const char *dir)
{
  flCreatedTmpDir = 0;
  std::printf(nlsSetupStrCvt(MSG_CANNOT_OPEN), dir);
  std::printf("\n\n");
  exit_app(2);
}

// Makes <dir>/NorvoInstall the work area, creating <dir> (with its parents)
// when it is missing. Ends the process with status 2 when <dir> cannot be
// had as a directory.
void SetWorkArea(const char *arg)
{
  char *given = SaveStr_(arg);
  size_t len = std::strlen(given);
  if (len > 1 && given[len - 1] == '/')
    given[len - 1] = '\0';
  if (!given[0])
    CannotOpenWorkArea(given);
  char *dir = AbsolutePath(given);
  RefuseUnsafePath(dir);

  // Only the parent of the work area in use may be removed by the clean-up:
  // a directory created for an earlier, replaced argument is not it, and
  // an existing directory must never be.
  flCreatedTmpDir = 0;
  if (!IsDirectory(dir)) {
    if (!Exists(dir)) {
      flCreatedTmpDir = 1;
      CreateFile(dir, nullptr, nullptr, nullptr, nullptr);
    }
    if (!IsDirectory(dir))
      CannotOpenWorkArea(given);
  }
  pNorvoInstallDir = std::strcmp(dir, "/") == 0 ? SaveStr("/%sInstall", szMakerDir)
                                                : SaveStr("%s/%sInstall", dir, szMakerDir);
}

// The command line, one line for each argument.
void PrintUsage(FILE *out, const char *name)
{
  std::fprintf(out,
               "usage: %s [<work-area parent>] [install <base>] [-v]\n"
               "  <work-area parent>  directory that receives the work area %sInstall (default\n"
               "                      /tmp); made when missing and then removed at the end; a\n"
               "                      name that starts with \"-\" is given as \"./-name\"\n"
               "  install <base>      install into <base>/%s/%s (default: the base of the\n"
               "                      earlier installation, else %s)\n"
               "  -v                  print the version on standard error and exit\n"
               "  -h, --help          print this help and exit\n",
               name, szMakerDir, szMakerDir, szProductDir, szDefaultBase);
}

}  // namespace

void screenCommandLineOptions(int argc, char **argv, const char *name)
{
  for (int i = 1; i < argc; ++i) {
    const char *word = argv[i];
    if (FindToken(word, kOptions) == OPT_INSTALL) {
      ++i;  // the base, whatever it looks like
      continue;
    }
    if (word[0] != '-' || FindToken(word, kOptions) == OPT_VERSION)
      continue;
    if (std::strcmp(word, "-h") == 0 || std::strcmp(word, "--help") == 0) {
      PrintUsage(stdout, name);
      std::fflush(stdout);
      exit_app(0);
    }
    std::fprintf(stderr, "ERROR: unknown option %s\n", word);
    PrintUsage(stderr, name);
    exit_app(2);
  }
}

void parseCommandLineOptions(int argc, char **argv)
{
  for (int i = 1; i < argc; ++i) {
    switch (FindToken(argv[i], kOptions)) {
      case OPT_INSTALL:
        if (i + 1 < argc) {
          // Reduced before it is made absolute, so that the working
          // directory's own name is never cut.
          char *base = StripToBaseName(SaveStr_(argv[++i]));
          pCmdLineInstallDir = base[0] == '/' ? base : AbsolutePath(base);
          RefuseUnsafePath(pCmdLineInstallDir);
        }
        break;
      case OPT_VERSION: std::fprintf(stderr, "%s %s\n", my_name, szVersion); exit_app(0);
      default: SetWorkArea(argv[i]); break;
    }
  }
}

char *StripToBaseName(char *path)
{
  if (!path)
    return nullptr;
  if (char *p = std::strstr(path, szProductDir))
    *p = '\0';
  if (char *p = std::strstr(path, szMakerDir))
    *p = '\0';
  size_t len = std::strlen(path);
  if (len > 1 && path[len - 1] == '/')
    path[len - 1] = '\0';
  return path;
}

void runInstallation()
{
  // 6. An earlier installation decides between upgrade and fresh install.
  pCurrentInstallDir = locatePreviousInstallation();
  if (pCmdLineInstallDir)
    pTargetInstallDir = pCmdLineInstallDir;
  else if (pCurrentInstallDir)
    pTargetInstallDir = pCurrentInstallDir;
  else
    pTargetInstallDir = SaveStr_(szDefaultBase);
  pAppDir = SaveStr("%s/%s/%s", pTargetInstallDir, szMakerDir, szProductDir);

  // 7. Returns only when there is room in the work area and at the base.
  FreeSpaceForInstall(pNorvoInstallDir, pTargetInstallDir, szMakerDir);

  // 8. Upgrade: nothing of ours may run while it is replaced; then the
  //    earlier installation moves to the new base when one was asked for.
  if (pCurrentInstallDir) {
    if (QuitForRunningProcesses(pBinaryInstanceCheckList))
      exit_app(0);
    if (std::strcmp(pTargetInstallDir, pCurrentInstallDir) != 0)
      moveInstallation(pCurrentInstallDir, pTargetInstallDir);
  }

  // 9. Copy, unpack and install; 10. clean up and hand over to npqadmin.
  installFromSite(pNorvoInstallDir);
  NorvoClean(pNorvoInstallDir);
}
