// Links the installed toolkit through its public headers and checks a few
// answers of each module it touches.
#include <cstdio>
#include <cstring>

#include "dbm/Dbm.h"
#include "list/List.h"
#include "memmgr/MemMgr.h"
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

int main() {
  char *s = SaveStr("%s/%d", "dir", 7);
  int ok = std::strcmp(s, "dir/7") == 0 && FindToken("b", ",a,b,") == 2 &&
           std::strcmp(StripPath("/x/y.z"), "y.z") == 0;
  PutMem(s);
  List *list = ListCreate();
  ok = ok && ListPushItem(list, "abc", 4) != nullptr && ListFindItemN(list, 1) != nullptr;
  ListDel(list);
  std::printf("%s\n", ok ? "consumer ok" : "consumer FAILED");
  return ok ? 0 : 1;
}
