// The installer's state and its command line.
#include <sys/stat.h>

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

bool Exists(const char *path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

bool IsDirectory(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes <dir>/NorvoInstall the work area, creating <dir> (with its parents)
// when it is missing. Ends the process with status 2 when <dir> cannot be
// had as a directory.
void SetWorkArea(const char *arg) {
  char *dir = SaveStr_(arg);
  size_t len = std::strlen(dir);
  if (len > 1 && dir[len - 1] == '/') dir[len - 1] = '\0';

  // Only the parent of the work area in use may be removed by the clean-up:
  // a directory created for an earlier, replaced argument is not it, and
  // an existing directory must never be.
  flCreatedTmpDir = 0;
  if (!IsDirectory(dir)) {
    if (!Exists(dir)) {
      flCreatedTmpDir = 1;
      CreateFile(dir, nullptr, nullptr, nullptr, nullptr);
    }
    if (!IsDirectory(dir)) {
      flCreatedTmpDir = 0;
      std::printf(nlsSetupStrCvt(3), dir);
      std::printf("\n\n");
      exit_app(2);
    }
  }
  pNorvoInstallDir = std::strcmp(dir, "/") == 0 ? SaveStr("/%sInstall", szMakerDir)
                                                : SaveStr("%s/%sInstall", dir, szMakerDir);
}

}  // namespace

void parseCommandLineOptions(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    switch (FindToken(argv[i], kOptions)) {
      case OPT_INSTALL:
        if (i + 1 < argc) pCmdLineInstallDir = StripToBaseName(SaveStr_(argv[++i]));
        break;
      case OPT_VERSION:
        std::fprintf(stderr, "%s %s\n", my_name, szVersion);
        exit_app(0);
      default:
        SetWorkArea(argv[i]);
        break;
    }
  }
}

char *StripToBaseName(char *path) {
  if (!path) return nullptr;
  if (char *p = std::strstr(path, szProductDir)) *p = '\0';
  if (char *p = std::strstr(path, szMakerDir)) *p = '\0';
  size_t len = std::strlen(path);
  if (len > 1 && path[len - 1] == '/') path[len - 1] = '\0';
  return path;
}
