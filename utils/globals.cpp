// The buffers and settings that every module of the program shares.
#include "utils/utils.h"

char *my_name = nullptr;
int flUseLog = 0;
char LineBuf[LINEBUF_SIZE];
char Line[LINE_SIZE];
