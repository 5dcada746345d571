// pkglist: the package's own installation recipe, <work>/pkg/pkg.list.
//
// Each line is <command> <object> [<extra>] [<attribute> <value>]... with
// words separated by blanks and line ends (tabs do not separate; a backslash
// escapes the next character). A line ending in a backslash goes on in the
// next one. The object is a path relative to the package directory for
// copies and to the application directory for everything else.
//
//   dir O            copy the directory pkg/O into pAppDir (cp -pr)
//   dirto O D        copy the directory pkg/O to D (attributes still on pAppDir/O)
//   t O              touch pAppDir/O
//   c O, other word  copy the file pkg/O into pAppDir (cp -p)
//   m O, s O         nothing; the attributes apply only when pAppDir/O exists
//   # ...            comment
//   v OP VER CMD...  CMD... only when the running release OP VER holds
//   newdir O         create pAppDir/O (mode 775); an existing O skips the line
//   checkps LIST     wait for or quit on running programs of the comma LIST
//
// Attributes, applied in order on pAppDir/O: mode, owner, group (chmod,
// chown -R, chgrp -R), link (the value becomes a symbolic link to O), name
// (rename O within pAppDir), bat (a /usr/bin wrapper that runs O) and sed
// (edit O; as the first attribute its script runs to the end of the line).
// Copies and touches only warn when they fail; a failing attribute ends the
// run with status 1.
//
// Every word that ends up in a shell command line is checked before the line
// changes anything: the list comes with the package, and a blank or a shell
// metacharacter in it must not become a second command run as root.
#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"

// Keyword lists; the order of the items is the order of the enums.
static constexpr char PkgCommands[] = ",dir,dirto,t,c,m,#,v,s,newdir,checkps";
enum PkgCommand {
  PKG_OTHER = 0,
  PKG_DIR,
  PKG_DIRTO,
  PKG_TOUCH,
  PKG_COPY,
  PKG_M,
  PKG_COMMENT,
  PKG_VERSION,
  PKG_S,
  PKG_NEWDIR,
  PKG_CHECKPS,
  PKG_ATTRIBUTES_ONLY,  // release unknown: the words after the operator are attributes
};
static constexpr char PkgAttributes[] = ",mode,bat,owner,group,link,name,sed";
enum PkgAttribute {
  ATTR_OTHER = 0,
  ATTR_MODE,
  ATTR_BAT,
  ATTR_OWNER,
  ATTR_GROUP,
  ATTR_LINK,
  ATTR_NAME,
  ATTR_SED,
};
static constexpr char ReleaseOperators[] = ",<,<=,=,>,>=,";
enum ReleaseOperator {
  OP_OTHER = 0,
  OP_LESS,
  OP_LESS_EQUAL,
  OP_EQUAL,
  OP_GREATER,
  OP_GREATER_EQUAL
};

// The item at 1-based position pos of a keyword list ("" past its end), for
// the checks below: FindToken answers positions, and the switches read them
// through the enums, so each list and its enum must stay in one order.
static constexpr std::string_view KeywordAt(std::string_view list, int pos)
{
  size_t at = 1;
  for (int i = 1; i < pos; ++i) {
    size_t next = list.find(list[0], at);
    if (next == std::string_view::npos)
      return {};
    at = next + 1;
  }
  return list.substr(at, list.find(list[0], at) - at);
}
static_assert(KeywordAt(PkgCommands, PKG_DIR) == "dir" &&
                  KeywordAt(PkgCommands, PKG_DIRTO) == "dirto" &&
                  KeywordAt(PkgCommands, PKG_TOUCH) == "t" &&
                  KeywordAt(PkgCommands, PKG_COPY) == "c" && KeywordAt(PkgCommands, PKG_M) == "m" &&
                  KeywordAt(PkgCommands, PKG_COMMENT) == "#" &&
                  KeywordAt(PkgCommands, PKG_VERSION) == "v" &&
                  KeywordAt(PkgCommands, PKG_S) == "s" &&
                  KeywordAt(PkgCommands, PKG_NEWDIR) == "newdir" &&
                  KeywordAt(PkgCommands, PKG_CHECKPS) == "checkps" &&
                  KeywordAt(PkgCommands, PKG_ATTRIBUTES_ONLY).empty(),
              "PkgCommands and enum PkgCommand in one order");
static_assert(KeywordAt(PkgAttributes, ATTR_MODE) == "mode" &&
                  KeywordAt(PkgAttributes, ATTR_BAT) == "bat" &&
                  KeywordAt(PkgAttributes, ATTR_OWNER) == "owner" &&
                  KeywordAt(PkgAttributes, ATTR_GROUP) == "group" &&
                  KeywordAt(PkgAttributes, ATTR_LINK) == "link" &&
                  KeywordAt(PkgAttributes, ATTR_NAME) == "name" &&
                  KeywordAt(PkgAttributes, ATTR_SED) == "sed" &&
                  KeywordAt(PkgAttributes, ATTR_SED + 1).empty(),
              "PkgAttributes and enum PkgAttribute in one order");
static_assert(KeywordAt(ReleaseOperators, OP_LESS) == "<" &&
                  KeywordAt(ReleaseOperators, OP_LESS_EQUAL) == "<=" &&
                  KeywordAt(ReleaseOperators, OP_EQUAL) == "=" &&
                  KeywordAt(ReleaseOperators, OP_GREATER) == ">" &&
                  KeywordAt(ReleaseOperators, OP_GREATER_EQUAL) == ">=" &&
                  KeywordAt(ReleaseOperators, OP_GREATER_EQUAL + 1).empty(),
              "ReleaseOperators and enum ReleaseOperator in one order");

static constexpr char PkgWordDelims[] = " \r\n";
static constexpr int MaxPkgWords = LINEBUF_SIZE / 2;  // a word and its delimiter each
// GetFileLine reads at most this many characters of one physical line.
static constexpr size_t PhysicalLineMax = 510;

// One line of the list, split into words before anything runs: the commands
// that follow may use the shared tokenizer and LineBuf themselves.
struct PkgLine {
  char text[LINEBUF_SIZE];                     // the joined line, continuations blanked
  char store[LINEBUF_SIZE + MaxPkgWords + 1];  // the words, each terminated
  const char *word[MaxPkgWords];
  const char *rest[MaxPkgWords];  // the raw text behind word[i]
  int count;
  char sedScript[LINEBUF_SIZE];  // the sed script running to the line end
};

// What a line asks for once its release conditions are resolved.
struct PkgAction {
  int command;
  const char *object;
  const char *dest;  // dirto only
  int firstAttribute;
};

struct PkgAttr {
  int kind;
  const char *value;
};

// Module state, touched only by ProcessPkgList and its helpers: the list
// being worked through and its current line (for messages), and the split
// line with its attributes (large, so not on the stack).
static const char *PkgListPath;
static int PkgLineNo;
static PkgLine CurPkgLine;
static PkgAttr CurPkgAttrs[MaxPkgWords / 2 + 1];
static char PkgRefusal[LINEBUF_SIZE + 256];  // why the current line is refused, "" if it is not

bool ReleaseConditionHolds(const char *release, const char *op, const char *version)
{
  if (!release || !op || !version)
    return false;
  int order = strcmp(release, version);
  switch (FindToken(op, ReleaseOperators)) {
    case OP_LESS: return order < 0;
    case OP_LESS_EQUAL: return order <= 0;
    case OP_EQUAL: return order == 0;
    case OP_GREATER: return order > 0;
    case OP_GREATER_EQUAL: return order >= 0;
    default: return false;
  }
}

// Reports a line of the list that cannot be carried out, in the log too,
// and ends the run before the line changes anything.
[[noreturn]] static void RefusePkgLine(const char *fmt, ...) NORVO_PRINTF(1, 2);
[[noreturn]] static void RefusePkgLine(const char *fmt, ...)
{
  char reason[LINEBUF_SIZE + 256];
  va_list args;
  va_start(args, fmt);
  vsnprintf(reason, sizeof reason, fmt, args);
  va_end(args);
  fprintf(stderr, "ERROR: %s line %d: %s\n", PkgListPath, PkgLineNo, reason);
  PutLogMsg("ERROR: %s line %d: %s\n", PkgListPath, PkgLineNo, reason);
  exit_app(1);
}

// Notes why the current line cannot be carried out; false, for the checks.
static bool NotePkgRefusal(const char *fmt, ...) NORVO_PRINTF(1, 2);
static bool NotePkgRefusal(const char *fmt, ...)
{
  va_list args;
  va_start(args, fmt);
  vsnprintf(PkgRefusal, sizeof PkgRefusal, fmt, args);
  va_end(args);
  return false;
}

static bool CheckShellSafe(const char *word)
{
  if (strlen(word) >= TOKENBUF_SIZE - 1)
    return NotePkgRefusal("the word \"%s\" is too long", word);
  // A leading '-' would make the word an option of chmod, chown, ln or mv
  // ("--reference=x") where the command expects a mode, a user or a path.
  if (!IsShellSafeWord(word) || word[0] == '-')
    return NotePkgRefusal("refusing \"%s\": blanks and shell metacharacters are not allowed "
                          "in names, modes, owners and link paths",
                          word);
  return true;
}

// Reads the next logical line of the list into line and splits it into
// words. False at the end of the list; a line too long to be read whole is
// refused (PkgRefusal) and not split.
static bool ReadPkgLine(PkgLine &line)
{
  if (!GetFileLine())
    return false;
  size_t len = strlen(LineBuf);
  int physical = 0;
  for (size_t i = 0; i < len; i++)
    physical += LineBuf[i] == '\n';
  bool complete = len > 0 && LineBuf[len - 1] == '\n';
  PkgLineNo += complete ? physical : physical + 1;
  // A physical line longer than one read arrives in pieces, the rest of it
  // looking like a line of its own: refuse it rather than run a torn line.
  // A torn logical line fills the buffer; its length is measured without
  // the line end, so that the last line of a list is judged alike with or
  // without one.
  line.count = 0;
  size_t content = complete ? len - 1 : len;
  if (content >= LINEBUF_SIZE - 2 || (!complete && LineLen == 0 && len >= PhysicalLineMax)) {
    NotePkgRefusal("the line is too long");
    return true;
  }

  memcpy(line.text, LineBuf, len + 1);
  for (char *p = line.text; (p = strstr(p, "\\\n")) != nullptr;)
    *p++ = ' ', *p++ = ' ';

  char *out = line.store;
  for (const char *word = GetToken(line.text, PkgWordDelims); word && line.count < MaxPkgWords;
       word = GetToken(nullptr, PkgWordDelims)) {
    size_t n = strlen(word);
    memcpy(out, word, n + 1);
    line.word[line.count] = out;
    line.rest[line.count] = GetTokenBufInput();
    line.count++;
    out += n + 1;
  }
  return true;
}

// Resolves the release conditions in front of the command. False when the
// line has nothing to do: no words, a comment, a condition that does not
// hold, or a command without its object.
static bool ParsePkgLine(const PkgLine &line, PkgAction &action)
{
  int at = 0;
  while (at < line.count) {
    int command = FindToken(line.word[at], PkgCommands);
    if (command == PKG_COMMENT)
      return false;
    if (command == PKG_VERSION) {
      struct utsname host;
      if (uname(&host) != 0) {
        perror(nlsSetupStrCvt(MSG_NO_RELEASE));
        if (at + 1 >= line.count)
          return false;
        action = {PKG_ATTRIBUTES_ONLY, line.word[at + 1], nullptr, at + 2};
        return true;
      }
      if (at + 2 >= line.count ||
          !ReleaseConditionHolds(host.release, line.word[at + 1], line.word[at + 2]))
        return false;
      at += 3;  // the condition holds: what follows is the line
      continue;
    }
    if (at + 1 >= line.count)
      return false;
    action = {command, line.word[at + 1], nullptr, at + 2};
    if (command == PKG_DIRTO) {
      if (at + 2 >= line.count)
        return false;
      action.dest = line.word[at + 2];
      action.firstAttribute = at + 3;
    }
    return true;
  }
  return false;
}

// The attribute/value pairs from word first on; an attribute without a value
// ends the line. A sed in first place takes the rest of the line.
static int ParsePkgAttributes(PkgLine &line, int first, PkgAttr *attrs)
{
  int n = 0;
  for (int at = first; at < line.count; at += 2) {
    int kind = FindToken(line.word[at], PkgAttributes);
    if (kind == ATTR_SED && at == first) {
      const char *script = line.rest[at] + strspn(line.rest[at], " \t");
      size_t len = strlen(script);
      while (len > 0 && strchr(" \t\r\n", script[len - 1]))
        len--;
      if (len == 0)
        break;
      memcpy(line.sedScript, script, len);
      line.sedScript[len] = '\0';
      attrs[n++] = {ATTR_SED, line.sedScript};
      break;
    }
    if (at + 1 >= line.count)
      break;
    attrs[n++] = {kind, line.word[at + 1]};
  }
  return n;
}

// Checks every word of the line that a shell will see (false with the
// reason in PkgRefusal). The sed arguments are sed's by design and go to sed
// quoted, each word on its own.
static bool CheckSafePkgLine(const PkgAction &action, const PkgAttr *attrs, int n)
{
  bool objectInShell = action.command != PKG_M && action.command != PKG_S &&
                       action.command != PKG_CHECKPS && action.command != PKG_ATTRIBUTES_ONLY;
  for (int i = 0; i < n; i++) {
    if (attrs[i].kind == ATTR_OTHER)
      continue;
    objectInShell = true;
    if (attrs[i].kind != ATTR_SED && !CheckShellSafe(attrs[i].value))
      return false;
  }
  if (objectInShell && !CheckShellSafe(action.object))
    return false;
  return !action.dest || CheckShellSafe(action.dest);
}

enum PkgLineKind { PKG_LINE_END = -1, PKG_LINE_IDLE, PKG_LINE_RUN, PKG_LINE_REFUSED };

// Reads the next line of the open list and works out what it asks for,
// every check made: a line to run (action, CurPkgAttrs and n set), a line
// with nothing to do, a refused line (PkgRefusal) or the end of the list.
static PkgLineKind NextPkgLine(PkgAction &action, int &n)
{
  PkgRefusal[0] = '\0';
  if (!ReadPkgLine(CurPkgLine))
    return PKG_LINE_END;
  if (PkgRefusal[0])
    return PKG_LINE_REFUSED;
  if (!ParsePkgLine(CurPkgLine, action))
    return PKG_LINE_IDLE;
  n = ParsePkgAttributes(CurPkgLine, action.firstAttribute, CurPkgAttrs);
  return CheckSafePkgLine(action, CurPkgAttrs, n) ? PKG_LINE_RUN : PKG_LINE_REFUSED;
}

// The sed arguments for a SysCmd line: the value split into words where the
// list splits words (blanks and line ends that no backslash escapes), each
// word single-quoted for the shell that runs sed and escaped for the double
// quotes SysCmd puts around the whole command, so that every word reaches sed
// as one argument exactly as written, backslashes included. Saved string.
static char *QuoteSedArguments(const char *value)
{
  // At most five bytes for each character, a blank and two quotes per word.
  size_t len = strlen(value);
  char *quoted = static_cast<char *>(GetMemOrDie(len * 5 + (len / 2 + 1) * 3 + 1));
  char *out = quoted;
  auto put = [&out](char c) {
    if (c == '\'') {
      memcpy(out, "'\\\\''", 5);  // '\'' with its backslash escaped
      out += 5;
      return;
    }
    if (strchr("\\\"$`", c))
      *out++ = '\\';
    *out++ = c;
  };
  for (const char *p = value;;) {
    p += strspn(p, PkgWordDelims);
    if (!*p)
      break;
    if (out != quoted)
      *out++ = ' ';
    *out++ = '\'';
    for (; *p && !strchr(PkgWordDelims, *p); ++p) {
      put(*p);
      if (*p == '\\' && p[1])
        put(*++p);  // the escaped character stays in the word, a blank too
    }
    *out++ = '\'';
  }
  *out = '\0';
  return quoted;
}

static void EditWithSed(const char *object, const char *value)
{
  char *quoted = QuoteSedArguments(value);
  char *tmp = SaveStr("/tmp/%s.tmp", my_name);
  // The name in /tmp is fixed: whatever lies there (a link planted to make
  // root write elsewhere) goes first. Anyone can plant another between the
  // removal and the writes, so the file is then made anew, exclusively and
  // never through a link: a planted name ends the run before anything is
  // written. Nobody else can replace root's file in the sticky /tmp.
  SysCmd(CMD_RM, SYSCMD_QUIET, "%s", tmp);
  int fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0)
    RefusePkgLine("cannot create the temporary file %s: %s", tmp, strerror(errno));
  close(fd);
  // The temporary file starts as a copy of the object, so that the copy back
  // with -p keeps the object's mode and owner (an edited script stays
  // executable, a mode set earlier on the line stays set).
  SysCmd(CMD_CP, SYSCMD_QUIET, "%s/%s %s", pAppDir, object, tmp);
  // Without the log redirection: sed's output is the edited file.
  SysCmd(-CMD_SED, SYSCMD_FATAL, "%s %s/%s > %s", quoted, pAppDir, object, tmp);
  SysCmd(CMD_CP, SYSCMD_QUIET, "%s %s/%s", tmp, pAppDir, object);
  SysCmd(CMD_RM, SYSCMD_QUIET, "%s", tmp);
  PutMem(tmp);
  PutMem(quoted);
}

// Makes linkPath a symbolic link to pAppDir/object. A link left by an
// earlier installation is replaced; a real file or directory never is.
static void LinkPkgObject(const char *object, const char *linkPath)
{
  switch (GetFileType(linkPath)) {
    case FILE_TYPE_NONE: break;
    case FILE_TYPE_LINK: SysCmd(CMD_RM, SYSCMD_FATAL, "%s", linkPath); break;
    default:
      RefusePkgLine("%s exists and is not a symbolic link; it is not replaced by a link", linkPath);
  }
  SysCmd(CMD_LN, SYSCMD_FATAL, "-s %s/%s %s", pAppDir, object, linkPath);
}

static void ApplyPkgAttribute(const char *object, const PkgAttr &attr)
{
  switch (attr.kind) {
    case ATTR_MODE: SysCmd(CMD_CHMOD, SYSCMD_FATAL, "%s %s/%s", attr.value, pAppDir, object); break;
    case ATTR_BAT: {
      char *wrapper = SaveStr("/usr/bin/%s", attr.value);
      // Writing through a link left there would overwrite the program the
      // link points to (often pAppDir/<object> itself) with its own wrapper.
      if (GetFileType(wrapper) == FILE_TYPE_LINK)
        SysCmd(CMD_RM, SYSCMD_FATAL, "%s", wrapper);
      GenSimpleScript(wrapper, ScriptShShell, SimpleScript, pAppDir, pAppDir, object);
      PutMem(wrapper);
      break;
    }
    case ATTR_OWNER:
      SysCmd(CMD_CHOWN, SYSCMD_FATAL, "-R %s %s/%s", attr.value, pAppDir, object);
      break;
    case ATTR_GROUP:
      SysCmd(CMD_CHGRP, SYSCMD_FATAL, "-R %s %s/%s", attr.value, pAppDir, object);
      break;
    case ATTR_LINK: LinkPkgObject(object, attr.value); break;
    case ATTR_NAME:
      SysCmd(CMD_MV, SYSCMD_FATAL, "%s/%s %s/%s", pAppDir, object, pAppDir, attr.value);
      break;
    case ATTR_SED: EditWithSed(object, attr.value); break;
    default:  // unknown attributes are ignored with their value
      break;
  }
}

// Carries out one line. 1 when a checkps line ended with the user's choice
// to quit, else 0.
static int RunPkgLine(const char *pkgDirName, const PkgAction &action, const PkgAttr *attrs, int n)
{
  const char *object = action.object;
  switch (action.command) {
    case PKG_DIR:
      SysCmd(CMD_CP_R, SYSCMD_LOG, "%s/%s/%s %s", pNorvoInstallDir, pkgDirName, object, pAppDir);
      break;
    case PKG_DIRTO:
      SysCmd(CMD_CP_R, SYSCMD_LOG, "%s/%s/%s %s", pNorvoInstallDir, pkgDirName, object,
             action.dest);
      break;
    case PKG_TOUCH: SysCmd(CMD_TOUCH, SYSCMD_LOG, "%s/%s", pAppDir, object); break;
    case PKG_M:
    case PKG_S:
      if (!FindFile(pAppDir, object))
        return 0;
      break;
    case PKG_NEWDIR: {
      if (FindFile(pAppDir, object))
        return 0;
      char *dir = SaveStr("%s/%s", pAppDir, object);
      CreateFile(dir, nullptr, "775", nullptr, nullptr);
      PutMem(dir);
      break;
    }
    case PKG_CHECKPS:
      if (QuitForRunningProcesses(object))
        return 1;
      break;
    case PKG_ATTRIBUTES_ONLY: break;
    default:  // c and every other word
      SysCmd(CMD_CP, SYSCMD_LOG, "%s/%s/%s %s", pNorvoInstallDir, pkgDirName, object, pAppDir);
      break;
  }
  for (int i = 0; i < n; i++)
    ApplyPkgAttribute(object, attrs[i]);
  return 0;
}

int ProcessPkgList(const char *pkgDirName)
{
  char *listPath = SaveStr("%s/%s/pkg.list", pNorvoInstallDir, pkgDirName);
  OpenInputFile(listPath, LEVEL_FATAL);
  PkgListPath = listPath;
  PkgLineNo = 0;

  int result = 0;
  PkgAction action;
  int n = 0;
  for (PkgLineKind kind; (kind = NextPkgLine(action, n)) != PKG_LINE_END;) {
    if (kind == PKG_LINE_REFUSED)
      RefusePkgLine("%s", PkgRefusal);
    if (kind == PKG_LINE_RUN && RunPkgLine(pkgDirName, action, CurPkgAttrs, n)) {
      CloseInputFile();
      result = 1;
      break;
    }
  }
  PkgListPath = nullptr;
  PutMem(listPath);
  return result;
}

int CheckPkgList(const char *path, const char **reason)
{
  if (reason)
    *reason = nullptr;
  if (!OpenInputFile(path, 0))
    return -1;
  PkgListPath = path;
  PkgLineNo = 0;
  int lines = 0;
  PkgAction action;
  int n = 0;
  for (PkgLineKind kind; (kind = NextPkgLine(action, n)) != PKG_LINE_END;) {
    if (kind == PKG_LINE_REFUSED) {
      CloseInputFile();
      if (reason)
        *reason = PkgRefusal;
      lines = -1;
      break;
    }
    lines += kind == PKG_LINE_RUN;
  }
  PkgListPath = nullptr;
  return lines;
}
