// Questions about the running host, answered from the output of table commands.
#include <cstring>

#include "syscmd/SysCmd.h"

namespace {
constexpr const char *WORD_DELIMS = " \t\n";
constexpr int PS_COMMAND_COLUMN = 6;  // the command name in `ps -ace` output
}  // namespace

char *GetSysPsIdList(const char *name)
{
  if (!name || !*name)
    return nullptr;
  Line[0] = '\0';
  size_t used = 0;
  ResponseNode *lines = GetCmdResponse(CMD_PS, name, "%s", "");
  for (ResponseNode *n = lines; n; n = n->next) {
    const char *command = GetTokenN(n->text, WORD_DELIMS, PS_COMMAND_COLUMN);
    if (!command || strcmp(command, name) != 0)
      continue;
    const char *pid = GetTokenN(n->text, WORD_DELIMS, 1);
    if (!pid)
      continue;
    int len = snprintf(Line + used, LINE_SIZE - used, " %s", pid);
    if (len < 0 || used + static_cast<size_t>(len) + 1 >= LINE_SIZE)
      break;  // keep room for the closing blank
    used += static_cast<size_t>(len);
  }
  FreeResponseList(lines);
  if (used == 0) {
    Line[0] = '\0';
    return nullptr;
  }
  Line[used++] = ' ';
  Line[used] = '\0';
  return SaveStr_(Line);
}
