// CUPS detection: the scheduler counts as present while it runs.
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

int SniffCUPS()
{
  char *report = CheckProcTableForExecs(",cupsd,");
  int running = report ? 1 : 0;
  PutMem(report);
  return running;
}
