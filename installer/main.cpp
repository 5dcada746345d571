// setup: entry point. main is the installer's run sequence, step by step;
// it ends the process and never returns.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"

namespace {

// Started with descriptor 0, 1 or 2 closed (as some schedulers and remote
// runners start programs), the first file the program opened would get its
// number: the pool's /dev/zero would become standard input, and every
// prompt would read zeros for ever. Each closed one is opened on /dev/null
// first, so that a prompt meets the end of its input and output goes
// nowhere. Without /dev/null the run cannot be made safe and ends.
void OpenStandardDescriptors()
{
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    // The lowest free number: fd itself, as those below it are open.
    if (open("/dev/null", O_RDWR) != fd)
      _exit(1);
  }
}

// The path we were started with, without trailing slashes ("/x/setup/" names
// the program /x/setup as well); "setup" when it names nothing.
const char *StartPath(int argc, char **argv)
{
  std::string_view path = argc > 0 && argv[0] ? argv[0] : "";
  while (!path.empty() && path.back() == '/')
    path.remove_suffix(1);
  if (path.empty())
    return "setup";
  return SaveStr("%.*s", static_cast<int>(path.size()), path.data());
}

}  // namespace

int main(int argc, char **argv)
{
  OpenStandardDescriptors();
  const char *argv0 = StartPath(argc, argv);
  const char *slash = std::strrchr(argv0, '/');
  const char *name = slash ? slash + 1 : argv0;

  // 0. Help and mistyped options, before anything is created or logged.
  screenCommandLineOptions(argc, argv, name);

  // 1. Logging on, the default work area, an empty line buffer.
  flUseLog = 1;
  pNorvoInstallDir = SaveStr("/tmp/%sInstall", szMakerDir);
  LineBuf[0] = '\0';

  // 2. Where the distribution is (our own directory) and who we are.
  pPathToSetup = GetToolPath(argv0);
  my_name = SaveStr_(name);

  // 3. Locate the host commands; this writes the first log line.
  InitSysCmdList();

  // 4. The installation notes; the first fetch fixes the language.
  for (int i = 0; i < 5; ++i)
    InstallInfo[i] = nlsSetupStrCvt(MSG_INFO_FULL_PATH + i);
  const int siteIds[4] = {MSG_INFO_FULL_PATH, MSG_INFO_SPECIFY_DIR, MSG_SITE_CREATE,
                          MSG_SITE_IF_MISSING};
  for (int i = 0; i < 4; ++i)
    InstallSiteInfo[i] = nlsSetupStrCvt(siteIds[i]);

  // 5. The command line: work area, installation base, version query.
  parseCommandLineOptions(argc, argv);

  // 6 to 10. Earlier installation, free space, process guard and move,
  // installation, clean-up.
  runInstallation();

  // 11.
  exit_app(0);
}
