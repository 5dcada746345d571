// The distribution medium: its list file, the readiness check made before
// anything is unpacked (root, old print daemon) and the joining of the
// package archive's segments in the work area.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

namespace {

constexpr char END_OF_LIST[] = "end_of_list";
// Answers to the continue prompt, by position: y, yes, n, no.
constexpr char YES_NO[] = ",y,yes,n,no,";
enum Answer { ANSWER_Y = 1, ANSWER_YES, ANSWER_N, ANSWER_NO };
// The answer line is read with at most this many characters.
constexpr int ANSWER_MAX = 511;

// Run-level links of the old print daemon, removed when the user answers "n".
constexpr const char *OLD_DAEMON_LINKS[] = {"KNorvoPrintD", "SNorvoPrintD"};
constexpr char OLD_DAEMON_LINK_DIR[] = "/etc/rc2.d";

// Upper-cases the list up to its end mark: a DOS medium shows its file
// names in capitals, and the mark itself stays as it is.
void UpperCaseList(char *text)
{
  const char *end = std::strstr(text, END_OF_LIST);
  for (char *p = text; *p && p != end; ++p)
    *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
}

// Reads one answer line into LineBuf; false at end of input. The rest of an
// overlong line is dropped so that it is not taken for the next answer.
bool ReadAnswer()
{
  if (!std::fgets(LineBuf, ANSWER_MAX + 1, stdin))
    return false;
  if (!std::strchr(LineBuf, '\n')) {
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
  }
  return true;
}

// Asks whether to go on despite an earlier installation that used the old
// print daemon. "no" and end of input end the run with status 0.
void ConfirmOldDaemon()
{
  std::printf(nlsSetupStrCvt(MSG_OLD_DAEMON), szMakerDir, szMakerDir, szMakerDir, szProductDir);
  for (;;) {
    std::printf("%s", nlsSetupStrCvt(MSG_CONTINUE));
    std::fflush(stdout);
    if (!ReadAnswer()) {
      // Nobody can answer: decline, as "no" does, instead of asking forever.
      std::printf("\n");
      errormsg("no answer (end of input): the installation is not continued");
      exit_app(0);
    }
    char word[ANSWER_MAX + 1];
    const char *cursor = LineBuf;
    if (!GetTokenD(LineBuf, " \t\r\n", &cursor, word, sizeof word))
      continue;
    // No answer is longer than three letters; longer words are not looked up.
    int answer = std::strlen(word) <= 3 ? FindToken(word, YES_NO) : 0;
    switch (answer) {
      case ANSWER_Y:
      case ANSWER_YES: return;
      case ANSWER_NO: exit_app(0);
      case ANSWER_N:
        // Declines the old daemon: its start-up links go, the new package
        // is installed.
        for (const char *link : OLD_DAEMON_LINKS)
          DeleteFile(OLD_DAEMON_LINK_DIR, link);
        return;
      default: break;
    }
  }
}

}  // namespace

int GetDisksData(const char *dir)
{
  if (GetFileContent(dir, "disks"))
    return 1;
  if (!GetFileContent(dir, "DISKS"))
    ErrorMsg(LEVEL_FATAL, 1, nlsSetupStrCvt(MSG_NO_LIST), szMakerDir);
  UpperCaseList(LineBuf);
  return 1;
}

bool readyForInstallation()
{
  char *user = GetUserName();
  if (!user || std::strcmp(user, "root") != 0) {
    std::printf(nlsSetupStrCvt(MSG_NOT_ROOT), user ? user : "", my_name);
    PutMem(user);
    return false;
  }
  PutMem(user);
  if (FindFile(pAppDir, "NPrintD") || FindFile(pAppDir, "NPrintDStop"))
    ConfirmOldDaemon();
  return true;
}

void genZFile()
{
  if (chdir(pNorvoInstallDir) != 0)
    PutLogMsg("WARNING_MSG: cannot change directory to %s\n", pNorvoInstallDir);
  GetDisksData(pNorvoInstallDir);
  char list[LINEBUF_SIZE];
  std::snprintf(list, sizeof list, "%s", LineBuf);
  // A private cursor: FindFile and SysCmd may use the shared tokenizer.
  char word[LINEBUF_SIZE];
  const char *cursor = list;
  for (const char *w = GetTokenD(list, " \r\n", &cursor, word, sizeof word);
       w && std::strcmp(w, END_OF_LIST) != 0;
       w = GetTokenD(nullptr, " \r\n", &cursor, word, sizeof word)) {
    bool segment = std::strncmp(w, "pkg_tar.", 8) == 0 || std::strncmp(w, "PKG_TAR.", 8) == 0;
    if (!segment || !FindFile(pNorvoInstallDir, w))
      continue;
    SysCmd(-CMD_CAT, SYSCMD_FATAL, "%s/%s >> %s/%s.tar.Z", pNorvoInstallDir, w, pNorvoInstallDir,
           szArchiveName);
  }
}
