// The two driving steps of a run and its clean-up: fill the work area from
// the distribution, unpack the package, build or update the installation,
// then remove the work area and hand over to the installed queue tool.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

namespace {

constexpr char END_OF_LIST[] = "end_of_list";
constexpr char WORD_DELIMS[] = " \t\r\n";

// Changes the working directory; a failure is only logged, the commands that
// follow name their files in full.
void ChangeDirectory(const char *dir)
{
  if (chdir(dir) != 0)
    PutLogMsg("WARNING_MSG: cannot change directory to %s\n", dir);
}

// Runs a command line through the shell; its status does not matter.
void RunUnchecked(const char *command)
{
  int status = std::system(command);
  (void)status;
}

// Walks the distribution list in `list` (a private copy of LineBuf): with a
// null `workDir` it only checks that every word is safe to paste into a
// shell line (a blank or metacharacter would make another command) and ends
// the run with status 1 on the first that is not; otherwise it copies every
// named file from the distribution directory into `workDir`. Lines
// end at '\n' or '\r'; the list ends at a line without words or a line that
// is exactly the end mark, and the end mark ends the line it stands on.
void CopyDistribution(const char *list, const char *workDir)
{
  const char *lineCursor = list;
  char line[LINEBUF_SIZE];
  while (GetTokenD(nullptr, "\n\r", &lineCursor, line, sizeof line)) {
    if (std::strcmp(line, END_OF_LIST) == 0)
      return;
    char word[LINEBUF_SIZE];
    const char *wordCursor = line;
    const char *w = GetTokenD(line, WORD_DELIMS, &wordCursor, word, sizeof word);
    if (!w)
      return;
    for (; w && std::strcmp(w, END_OF_LIST) != 0;
         w = GetTokenD(nullptr, WORD_DELIMS, &wordCursor, word, sizeof word)) {
      if (!workDir) {
        if (!IsShellSafeWord(w))
          ErrorMsg(
              LEVEL_FATAL, 1,
              "distribution list names \"%s\": blanks and shell special characters are not allowed",
              w);
        continue;
      }
      SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %s", pPathToSetup, w, workDir);
    }
  }
}

// Root copies the package from the work area into the system and makes two
// of its programs set-user-ID: nobody else may write into it meanwhile. It
// must be a fresh directory of our own that only we can write to; anything
// else (someone was quicker after the removal) ends the run.
void MakePrivateWorkArea(const char *workDir)
{
  struct stat st;
  if (mkdir(workDir, 0755) != 0 || lstat(workDir, &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    ErrorMsg(LEVEL_FATAL, 1, "cannot create the private work area %s", workDir);
}

}  // namespace

int installFromSite(const char *workDir)
{
  // The unpacking and the clean-up work from other directories (the work
  // area itself, "/"): a relative work area would name something else there.
  char cwd[LINEBUF_SIZE];
  if (workDir[0] != '/' && getcwd(cwd, sizeof cwd)) {
    pNorvoInstallDir = SaveStr("%s/%s", cwd, workDir);
    workDir = pNorvoInstallDir;
  }
  // The distribution directory is pasted into every copy command line.
  if (!IsShellSafeWord(pPathToSetup))
    ErrorMsg(
        LEVEL_FATAL, 1,
        "refusing the distribution directory \"%s\": blanks and shell special characters are not allowed",
        pPathToSetup);
  GetDisksData(pPathToSetup);
  char list[LINEBUF_SIZE];
  std::snprintf(list, sizeof list, "%s", LineBuf);
  CopyDistribution(list, nullptr);
  DeleteFile(workDir, nullptr);
  MakePrivateWorkArea(workDir);
  CopyDistribution(list, workDir);
  Install();
  return 0;
}

int Install()
{
  if (!readyForInstallation())
    return 0;
  genZFile();
  SysCmd(CMD_UNCOMPRESS, SYSCMD_FATAL, "%s/%s.tar.Z", pNorvoInstallDir, szArchiveName);
  ChangeDirectory(pNorvoInstallDir);
  SysCmd(CMD_TAR_X, SYSCMD_FATAL, "%s/%s.tar", pNorvoInstallDir, szArchiveName);
  char *tarFile = SaveStr("%s/%s.tar", pNorvoInstallDir, szArchiveName);
  DeleteFile(tarFile, nullptr);
  PutMem(tarFile);

  char *spoolDir = SaveStr(szSpoolDirFmt, szMakerDir);
  if (pCurrentInstallDir) {
    if (ProcessPkgList(szPkgDir) == 1) {
      PutMem(spoolDir);
      return 1;
    }
    createPrintingSubsystemFile(pAppDir);
    createQueueScripts(spoolDir);
  } else {
    createInstallationDirectories(pTargetInstallDir);
    createPrintingSubsystemFile(pAppDir);
    createQueueScripts(spoolDir);
    CreateFile(spoolDir, nullptr, "775", nullptr, nullptr);
    char *downloadDir = SaveStr("%s/%s/__npa_download__", spoolDir, szProductDir);
    CreateFile(downloadDir, nullptr, "777", nullptr, nullptr);
    PutMem(downloadDir);
    if (ProcessPkgList(szPkgDir) == 1) {
      PutMem(spoolDir);
      return 1;
    }
  }
  PutMem(spoolDir);

  SysCmd(CMD_CHMOD, SYSCMD_QUIET, "755 %s/%s", pTargetInstallDir, szMakerDir);
  SysCmd(CMD_CHMOD, SYSCMD_LOG, "4755 %s/%s", pAppDir, "nprnpxxtty");
  SysCmd(CMD_CHMOD, SYSCMD_LOG, "4755 %s/%s", pAppDir, "nsf");
  return 0;
}

void NorvoClean(const char *workDir)
{
  ChangeDirectory("/");
  SysCmd(CMD_RM_R, SYSCMD_LOG, " %s", workDir);
  if (flCreatedTmpDir) {
    ChangeDirectory("/usr");
    char parent[LINEBUF_SIZE];
    std::snprintf(parent, sizeof parent, "%s", StripFn(workDir));
    SysCmd(CMD_RM_R, SYSCMD_LOG, " %s", parent);
  }
  // The queue tool is the suite's own program: run directly, not logged,
  // and whatever it answers, the installation is over.
  char command[LINEBUF_SIZE];
  std::snprintf(command, sizeof command, "%s/npqadmin -upgrade", pAppDir);
  RunUnchecked(command);
  std::printf(".");
  std::fflush(stdout);
  std::snprintf(command, sizeof command, "%s/npqadmin -clean", pAppDir);
  RunUnchecked(command);
  std::printf(".");
  std::printf("\n");
  std::fflush(stdout);
}
