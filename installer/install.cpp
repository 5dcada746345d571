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
void ChangeDirectory(const char *dir) {
  if (chdir(dir) != 0) PutLogMsg("WARNING_MSG: cannot change directory to %s\n", dir);
}

// Runs a command line through the shell; its status does not matter.
void RunUnchecked(const char *command) {
  int status = std::system(command);
  (void)status;
}

// Copies every file named by the distribution list in `list` (a private
// copy of LineBuf) from the distribution directory into `workDir`. Lines
// end at '\n' or '\r'; the list ends at a line without words or a line that
// is exactly the end mark, and the end mark ends the line it stands on.
void CopyDistribution(char *list, const char *workDir) {
  const char *lineCursor = list;
  char line[LINEBUF_SIZE];
  while (GetTokenD(nullptr, "\n\r", &lineCursor, line, sizeof line)) {
    if (std::strcmp(line, END_OF_LIST) == 0) return;
    char word[LINEBUF_SIZE];
    const char *wordCursor = line;
    const char *w = GetTokenD(line, WORD_DELIMS, &wordCursor, word, sizeof word);
    if (!w) return;
    for (; w && std::strcmp(w, END_OF_LIST) != 0; w = GetTokenD(nullptr, WORD_DELIMS, &wordCursor, word, sizeof word))
      SysCmd(CMD_CP, 2, "%s/%s %s", pPathToSetup, w, workDir);
  }
}

}  // namespace

int installFromSite(const char *workDir) {
  // The unpacking and the clean-up work from other directories (the work
  // area itself, "/"): a relative work area would name something else there.
  char cwd[LINEBUF_SIZE];
  if (workDir[0] != '/' && getcwd(cwd, sizeof cwd)) {
    pNorvoInstallDir = SaveStr("%s/%s", cwd, workDir);
    workDir = pNorvoInstallDir;
  }
  DeleteFile(workDir, nullptr);
  mkdir(workDir, 0777);
  GetDisksData(pPathToSetup);
  char list[LINEBUF_SIZE];
  std::snprintf(list, sizeof list, "%s", LineBuf);
  CopyDistribution(list, workDir);
  Install();
  return 0;
}

int Install() {
  if (!readyForInstallation()) return 0;
  genZFile();
  SysCmd(CMD_UNCOMPRESS, 2, "%s/%s.tar.Z", pNorvoInstallDir, szArchiveName);
  ChangeDirectory(pNorvoInstallDir);
  SysCmd(CMD_TAR_X, 2, "%s/%s.tar", pNorvoInstallDir, szArchiveName);
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

  SysCmd(CMD_CHMOD, 0, "755 %s/%s", pTargetInstallDir, szMakerDir);
  SysCmd(CMD_CHMOD, 1, "4755 %s/%s", pAppDir, "nprnpxxtty");
  SysCmd(CMD_CHMOD, 1, "4755 %s/%s", pAppDir, "nsf");
  return 0;
}

void NorvoClean(const char *workDir) {
  ChangeDirectory("/");
  SysCmd(CMD_RM_R, 1, " %s", workDir);
  if (flCreatedTmpDir) {
    ChangeDirectory("/usr");
    char parent[LINEBUF_SIZE];
    std::snprintf(parent, sizeof parent, "%s", StripFn(workDir));
    SysCmd(CMD_RM_R, 1, " %s", parent);
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
