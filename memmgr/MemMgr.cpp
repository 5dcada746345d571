#include "memmgr/MemMgr.h"
