// The running-process guard: programs of the product must not run while
// their files are replaced. While any of them runs, the user may wait for
// them or quit the installation.
#include <cstdio>
#include <unistd.h>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

namespace {

// One wait: WAIT_CHECKS looks at the process table, WAIT_STEP seconds apart.
constexpr int WAIT_CHECKS = 6;
constexpr unsigned WAIT_STEP = 5;

}  // namespace

bool QuitForRunningProcesses(const char *names)
{
  const char *running = nlsSetupStrCvt(MSG_RUNNING);
  const char *choose = nlsSetupStrCvt(MSG_CHOOSE);
  const char *wait = nlsSetupStrCvt(MSG_WAIT);
  const char *quit = nlsSetupStrCvt(MSG_QUIT);
  const char *select = nlsSetupStrCvt(MSG_SELECT);

  char *report = CheckProcTableForExecs(names);
  for (;;) {
    if (!report)
      return false;
    std::printf("%s%s\n%s%s%s%s", running, report, choose, wait, quit, select);
    std::fflush(stdout);
    PutMem(report);
    report = nullptr;

    int choice = std::getchar();
    if (choice == EOF) {
      // Nobody can answer: treat it as the choice to quit, which changes
      // nothing on the host, rather than showing the menu forever.
      std::printf("\n");
      errormsg("no selection (end of input): quitting the installation");
      return true;
    }
    if (choice != '\n')
      std::getchar();  // the line end behind the choice

    if (choice == '2')
      return true;
    if (choice == '1') {
      for (int i = 0; i < WAIT_CHECKS; ++i) {
        sleep(WAIT_STEP);
        PutMem(report);
        report = CheckProcTableForExecs(names);
        if (!report)
          return false;
      }
      continue;  // still running after the whole wait: a fresh menu
    }
    report = CheckProcTableForExecs(names);
  }
}
