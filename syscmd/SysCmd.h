// SysCmd: the numbered table of host commands, locating them, running them
// with logging and a failure policy, and capturing their output.
//
// The program never runs a host command by a bare name: every command of
// ComList is resolved once to the directory that holds it (the built-in
// system directories first, then PATH) and run by full path through the
// located sh. Callers name a command by its index in ComList; the indices
// are part of the interface.
#ifndef NORVO_SYSCMD_H
#define NORVO_SYSCMD_H

#include <dirent.h>

#include <cstdint>

#include "utils/utils.h"

// ---- Command table and lookup (comtable.cpp) ------------------------------

// One command of the table. name is "" for indices 0 and 1 (caller-spelled
// command lines) and null in the terminating entry.
struct ComEntry {
  const char *name;   // file name of the command
  const char *flags;  // options always placed right after it (may be "")
  char *path;         // directory that holds it; null until located
  int32_t delay;      // after a run: 0 nothing, n > 0 sleep n s, -1 wait for the process
};

constexpr int COMLIST_SIZE = 83;   // entries 0..82, 82 ends the table
constexpr int MAX_CMD_INDEX = 81;  // highest command index

// Command indices the program names (the rest are listed in comtable.cpp).
enum : int {
  CMD_CAT = 3,
  CMD_CHGRP = 4,
  CMD_CHMOD = 5,
  CMD_CHOWN = 6,
  CMD_CLEAR = 7,
  CMD_CP = 9,
  CMD_CP_R = 10,
  CMD_LN = 17,
  CMD_MV = 25,
  CMD_MKDIR = 26,
  CMD_RM = 29,
  CMD_RM_R = 30,
  CMD_SH = 31,
  CMD_TAR_X = 34,
  CMD_TOUCH = 35,
  CMD_UNCOMPRESS = 36,
  CMD_WHOAMI = 37,
  CMD_SED = 40,
  CMD_DU = 41,
  CMD_LPD = 43,
  CMD_PS = 55,
  CMD_DF = 57,
};

extern ComEntry ComList[COMLIST_SIZE];
extern const char SearchPaths[];  // "/usr/sbin:/usr/bin:/bin:/sbin:/etc:/usr/etc"
extern char *FullSearchPath;      // SearchPaths + ":" + PATH, made on first need
extern int flInitSysCmd;          // 1 until InitSysCmdList: look commands up lazily
extern int flSysCmdLog;           // SysCmd logs its command lines (set with flUseLog)

// Locates every command (built-in directories, then PATH), puts
// SHELL=<sh> into the environment and logs "initializing system\n".
// Afterwards a command that was not found stays unlocated.
void InitSysCmdList();
// Gives every unlocated command found in dir that directory (the string
// itself is kept). True when some command is still unlocated afterwards.
bool FillCmdPaths(char *dir);
// Looks one command up along FullSearchPath; true when found.
bool FillCmdPath(int index);
// True for a located command index (2..81).
bool TestCmd(int index);
// "<path>/<name> <flags>" as a saved string; null when not located.
char *GetCmd(int index);
// "<path>/<name>" as a saved string; null when not located or index > 81.
char *GetCmdNoFlags(int index);

// Next entry name of an open directory, null at the end.
char *ReadDir(DIR *dir);
// " name1 name2 ... nameN " of every entry ("." and ".." included) as a saved
// string: a blank-delimited keyword list for FindToken. Null when unreadable.
char *GetDirFileList(const char *dir);
// The same shape with only the entries whose text after the last '.' is ext
// (every entry but "." and ".." for a null ext); null when none or unreadable.
char *SearchDirFileList(const char *dir, const char *ext);

// ---- Command execution and captured output (exec.cpp) ---------------------

// One captured output line; text lies in the same pool block right behind
// the node and keeps its newline.
struct ResponseNode {
  ResponseNode *next;
  char *text;
};

// Modes of SysCmd.
enum : int {
  SYSCMD_QUIET = 0,  // output discarded, failure ignored
  SYSCMD_LOG = 1,    // dot, logged line and output; failure logged as warning
  SYSCMD_FATAL = 2,  // as SYSCMD_LOG; failure logged, printed, exit status 1
};

// Runs ComList[index] (2..81) with the formatted arguments behind its flags,
// as `<sh> -c "<path>/<name> <flags> <args> <redirection>"`. A negative index
// runs the same command without dot, log line and log redirection; index 0
// and 1 run the formatted text alone (0 quietly). Returns 0 on success, else
// the command's exit status, 128 + the signal that killed it, or the system
// error when it could not be started. An unlocated command or an overlong
// command line (4096 bytes) ends the process with status 1.
int SysCmd(int index, int mode, const char *fmt, ...) NORVO_PRINTF(3, 4);
// Judges a system() result (and the errno right after it): 0 for success;
// otherwise the status SysCmd returns, with the reason written into why.
int SysCmdStatus(int rc, int savedErrno, char *why, size_t whySize);
// Standard output of the command as a response list (lines containing
// pattern only, unless pattern is null or ""); null when nothing was kept.
// The exit status is not examined; nothing is logged.
ResponseNode *GetCmdResponse(int index, const char *pattern, const char *fmt, ...)
    NORVO_PRINTF(3, 4);
// The kept lines in one saved string, each whole (however long) and ending
// in '\n': the output exactly, plus a '\n' behind a last line without one.
// Null for none.
char *GetCmdResponseStr(int index, const char *pattern, const char *fmt, ...) NORVO_PRINTF(3, 4);
// Releases every node; returns null.
ResponseNode *FreeResponseList(ResponseNode *list);

// ---- System queries (queries.cpp) -----------------------------------------

// " 123 456 " of the processes whose command name is exactly name (saved
// string), or null when none runs.
char *GetSysPsIdList(const char *name);

// ---- System queries: programs, disk space (sysquery.cpp) -------------------
// Every answer comes from a command's output; output that cannot be read or
// understood counts as "nothing found". Sizes are df's and du's own figures.

// One df reading. Two readings are of one file system exactly when their
// lines are equal.
struct DiskInfo {
  char line[512];  // df's data line as printed (newline kept), cut to 511 characters
  double avail;    // its "Avail" column; 0 when not read
};

// "name ( 12 40 )\n" for each program of names (",a,b,": comma-separated,
// at most 511 characters) that runs, as a saved string; null when none runs.
// A report over 1024 bytes is cut and ends in " ...\n".
char *CheckProcTableForExecs(const char *names);
// Sends SIGKILL to every process named name; stops (after a second's sleep)
// at the first one that may not be signalled. Sleeps a second; returns 0.
int KillProcessByName(const char *name);
// Reads df of path into info; true when its "Avail" column (first header
// word beginning with "avail", any case) was found on the data line.
bool GetDiskSpace(const char *path, DiskInfo *info);
// du -s of path; 0 when du prints nothing.
double DUPath(const char *path);
// True when dir (or dir/name: its own usage counts as free) has at least
// needed available; a dir that df cannot measure is replaced by its parent.
bool AvailSpace(const char *dir, const char *name, double needed);

#endif
