// In-place editing of text files, line by line, in the manner of a small
// stream editor, and the check for words that go into shell command lines.
//
// Every operation copies the file into a temporary file beside it, changing
// lines on the way, and then moves the temporary file over the original in
// one rename: at every moment the original name holds either the old or the
// complete new contents. Lines are read whole (getline), so a pattern is
// found wherever it lies in a long line and every counter counts real lines.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "utils/utils.h"

// The file pair of OpenIOFiles, kept for ReplaceInputFile.
char Fn[FILE_NAME_SIZE];
char FnOut[FILE_NAME_SIZE];

namespace {
// The edited file and its temporary file of one editing operation.
struct EditNames {
  char file[FILE_NAME_SIZE];
  char temp[FILE_NAME_SIZE];
};

// Highest value a counter of the insertion text takes from its digits.
constexpr long long COUNTER_MAX = 999999999999LL;

// "ERROR: <message>\n" on stderr.
void EditError(const char *fmt, ...) NORVO_PRINTF(1, 2);
void EditError(const char *fmt, ...)
{
  char message[FILE_NAME_SIZE * 4];
  va_list args;
  va_start(args, fmt);
  vsnprintf(message, sizeof message, fmt, args);
  va_end(args);
  fprintf(stderr, common_116, message);
}

// Formats one name; false (after a message) when it does not fit or would
// not be one safe word on the shell line.
bool FormatName(char *buf, const char *fmt, const char *base, const char *ext)
{
  int n = snprintf(buf, FILE_NAME_SIZE, fmt, base, ext);
  if (n < 0 || static_cast<size_t>(n) >= FILE_NAME_SIZE) {
    EditError("file name longer than %zu characters: %.*s...", FILE_NAME_SIZE - 1,
              static_cast<int>(FILE_NAME_SIZE - 1), base);
    return false;
  }
  if (!IsShellSafeWord(buf)) {
    EditError("refusing file name \"%s\": blanks and shell metacharacters are not allowed", buf);
    return false;
  }
  return true;
}

bool MakeEditNames(EditNames &names, const char *base, const char *ext)
{
  if (!base) {
    EditError("no file name given");
    return false;
  }
  if (!ext || !*ext)
    return FormatName(names.file, "%s%s", base, "") && FormatName(names.temp, "%s.out%s", base, "");
  return FormatName(names.file, "%s.%s", base, ext) &&
         FormatName(names.temp, "%s.%sout", base, ext);
}

// Opens a fresh output file: whatever lies at the name (a link planted there
// to make us write elsewhere, an old leftover) goes first. It gets the mode
// and owner of `like`, so that the replaced file keeps them.
FILE *OpenFreshOutput(const char *path, FILE *like)
{
  unlink(path);
  FILE *out = OpenFile(nullptr, path, "wx", 2);
  struct stat st;
  if (like && fstat(fileno(like), &st) == 0) {
    // The owner first: changing it clears set-user-ID bits, which the mode
    // then puts back. Only root may give a file away; others keep theirs.
    if (fchown(fileno(out), st.st_uid, st.st_gid) != 0 && errno != EPERM)
      EditError("cannot give %s the owner of the file it replaces", path);
    fchmod(fileno(out), st.st_mode & 07777);
  }
  return out;
}

// Closes the temporary file; false (the file removed, after a message) when
// what was written did not all reach it.
bool CloseOutput(FILE *out, const char *path)
{
  bool written = !ferror(out);
  if (fclose(out) != 0)
    written = false;
  if (!written) {
    EditError("cannot write %s: %s; nothing is replaced", path, strerror(errno));
    unlink(path);
  }
  return written;
}

// The single rename that puts the edited copy in place.
int MoveOver(const char *temp, const char *file)
{
  char command[FILE_NAME_SIZE * 2 + 16];
  snprintf(command, sizeof command, "mv -f -- %s %s", temp, file);
  fflush(nullptr);
  return system(command);
}

void Write(FILE *out, std::string_view text)
{
  fwrite(text.data(), 1, text.size(), out);
}

// Position of the first occurrence of pattern in line (strstr's rules: an
// empty pattern is found at the start).
size_t Find(std::string_view line, std::string_view pattern)
{
  return line.find(pattern);
}

// The common frame: edits names.file through names.temp, handing each line
// (newline kept) and the output to edit. Returns the move's status.
template <typename LineEdit>
int EditFile(const EditNames &names, LineEdit &&edit)
{
  FILE *in = OpenFile(nullptr, names.file, "rt", 2);
  FILE *out = OpenFreshOutput(names.temp, in);
  char *buf = nullptr;
  size_t cap = 0;
  ssize_t n;
  while ((n = getline(&buf, &cap, in)) > 0)
    edit(std::string_view(buf, static_cast<size_t>(n)), out);
  free(buf);
  bool readFailed = ferror(in);
  fclose(in);
  if (!CloseOutput(out, names.temp))
    return -1;
  if (readFailed) {
    EditError("cannot read %s; nothing is replaced", names.file);
    unlink(names.temp);
    return -1;
  }
  return MoveOver(names.temp, names.file);
}

// A character code in "%i" notation (decimal, 0-octal, 0x-hexadecimal).
bool ParseCharCode(const char *text, int &code)
{
  if (!text || sscanf(text, "%i", &code) != 1 || code < 0 || code > UCHAR_MAX) {
    EditError("not a character code (0 to 255): \"%s\"", text ? text : "(null)");
    return false;
  }
  return true;
}

// The byte sequence of a comma-separated code list, up to its first 0 byte.
bool ParseReplacement(const char *list, char *bytes, size_t &len)
{
  len = 0;
  size_t count = 0;
  bool ended = false;
  for (const char *p = list; p && *p;) {
    size_t item = strcspn(p, ",");
    if (item > 0) {
      char text[32];
      int code;
      snprintf(text, sizeof text, "%.*s", static_cast<int>(item), p);
      if (item >= sizeof text) {
        EditError("not a character code (0 to 255): \"%s...\"", text);
        return false;
      }
      if (++count > REPLACEMENT_MAX) {
        EditError("more than %zu replacement codes: \"%.40s...\"", REPLACEMENT_MAX, list);
        return false;
      }
      if (!ParseCharCode(text, code))
        return false;
      if (code == 0)
        ended = true;
      if (!ended)
        bytes[len++] = static_cast<char>(code);
    }
    p += item;
    if (*p == ',')
      p++;
  }
  return true;
}

// The number written right behind a marker: decimal digits, none giving 0.
// Cuts at COUNTER_MAX. *end is set behind the digits.
long long MarkerNumber(char *at, char **end)
{
  long long value = 0;
  while (isdigit(static_cast<unsigned char>(*at))) {
    value = value * 10 + (*at - '0');
    if (value > COUNTER_MAX)
      value = COUNTER_MAX;
    at++;
  }
  *end = at;
  return value;
}

// The insertion text of FileInsert and FileSearchInsert, read once.
struct Insertion {
  std::string_view head;  // the text, or the part before "%#"
  std::string_view tail;  // the part behind "%#" and its digits
  bool numbered;          // "%#" present
  long long counter;      // the line counter, from "%s"
  long long first;        // the first counter value that gets an insertion
};

Insertion ReadInsertion(char *text)
{
  Insertion ins{};
  if (char *mark = strstr(text, "%s")) {
    char *end;
    ins.counter = MarkerNumber(mark + 2, &end);
    memmove(mark, end, strlen(end) + 1);
  }
  ins.head = text;
  if (char *mark = strstr(text, "%#")) {
    char *end;
    ins.first = MarkerNumber(mark + 2, &end);
    ins.numbered = true;
    ins.head = std::string_view(text, static_cast<size_t>(mark - text));
    ins.tail = end;
  }
  return ins;
}

void WriteInsertion(Insertion &ins, FILE *out)
{
  if (!ins.numbered)
    Write(out, ins.head);
  else if (ins.counter >= ins.first) {
    Write(out, ins.head);
    fprintf(out, "%05lli", ins.counter - ins.first);
    Write(out, ins.tail);
  }
  ins.counter++;
}

// Counts down the lines a deletion leaves alone: true while some are left.
bool Spare(int &n)
{
  if (n <= 0)
    return false;
  n--;
  return true;
}

bool RequireText(const char *text, const char *what)
{
  if (!text)
    EditError("no %s given", what);
  return text != nullptr;
}
}  // namespace

bool IsShellSafeWord(const char *word)
{
  if (!word || !*word)
    return false;
  static constexpr char safePunctuation[] = "/._-+,:@%=";
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(word); *p; ++p) {
    bool letterOrDigit =
        (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9');
    if (letterOrDigit || *p >= 0x80 || strchr(safePunctuation, *p))
      continue;
    return false;
  }
  return true;
}

int FileChange(const char *base, const char *ext, const char *pattern, const char *replacement)
{
  EditNames names;
  if (!RequireText(pattern, "pattern") || !MakeEditNames(names, base, ext))
    return -1;
  std::string_view pat = pattern, rep = replacement ? replacement : "";
  return EditFile(names, [&](std::string_view line, FILE *out) {
    size_t at = Find(line, pat);
    if (at == std::string_view::npos)
      return Write(out, line);
    Write(out, line.substr(0, at));
    Write(out, rep);
    Write(out, line.substr(at + pat.size()));
  });
}

int FileChangeChar(const char *base, const char *ext, const char *code, const char *replacements)
{
  EditNames names;
  int c;
  char bytes[REPLACEMENT_MAX];
  size_t len;
  if (!ParseCharCode(code, c) || !ParseReplacement(replacements, bytes, len) ||
      !MakeEditNames(names, base, ext))
    return -1;
  std::string_view rep(bytes, len);
  return EditFile(names, [&](std::string_view line, FILE *out) {
    for (size_t at; (at = line.find(static_cast<char>(c))) != std::string_view::npos;) {
      Write(out, line.substr(0, at));
      Write(out, rep);
      line.remove_prefix(at + 1);
    }
    Write(out, line);
  });
}

int FileDel(const char *base, const char *ext, int n, const char *pattern)
{
  EditNames names;
  if (!RequireText(pattern, "pattern") || !MakeEditNames(names, base, ext))
    return -1;
  std::string_view pat = pattern;
  return EditFile(names, [&](std::string_view line, FILE *out) {
    size_t at = Find(line, pat);
    if (at == std::string_view::npos || Spare(n))
      return Write(out, line);
    Write(out, line.substr(0, at));
    Write(out, line.substr(at + pat.size()));
  });
}

int FileDelFormat(const char *base, const char *ext, const char *mode, const char *pattern)
{
  char how = mode ? mode[0] : '\0';
  if (how && !strchr("ablc", how))
    return 1;  // an unknown mode: nothing is opened, nothing left behind
  EditNames names;
  if (!RequireText(pattern, "pattern"))
    return -1;
  int c = 0;
  if (how == 'c' && !ParseCharCode(pattern, c))
    return -1;
  if (!MakeEditNames(names, base, ext))
    return -1;
  std::string_view pat = pattern;
  int rc = EditFile(names, [&](std::string_view line, FILE *out) {
    if (how == 'c') {
      for (size_t at; (at = line.find(static_cast<char>(c))) != std::string_view::npos;) {
        Write(out, line.substr(0, at));
        line.remove_prefix(at + 1);
      }
      return Write(out, line);
    }
    size_t at = Find(line, pat);
    if (at == std::string_view::npos)
      return Write(out, line);
    switch (how) {
      case 'a':
        Write(out, line.substr(0, at + pat.size()));
        Write(out, "\n");
        break;
      case 'b': Write(out, line.substr(at)); break;
      case 'l': break;
      default:
        Write(out, line.substr(0, at));
        Write(out, line.substr(at + pat.size()));
        break;
    }
  });
  // A move that failed is no success: its status goes back as it is.
  return rc;
}

int FileDelLine(const char *base, const char *ext, int n, const char *pattern)
{
  EditNames names;
  if (!RequireText(pattern, "pattern") || !MakeEditNames(names, base, ext))
    return -1;
  std::string_view pat = pattern;
  return EditFile(names, [&](std::string_view line, FILE *out) {
    if (Find(line, pat) == std::string_view::npos || Spare(n))
      Write(out, line);
  });
}

int FileDelLinePair(const char *base, const char *ext, int n, const char *open, const char *close)
{
  EditNames names;
  if (!RequireText(open, "opening pattern") || !RequireText(close, "closing pattern") ||
      !MakeEditNames(names, base, ext))
    return -1;
  std::string_view opening = open, closing = close;
  long due = 0;
  return EditFile(names, [&](std::string_view line, FILE *out) {
    if (Find(line, opening) != std::string_view::npos) {
      if (Spare(n))
        return Write(out, line);
      due++;
      return;
    }
    if (due > 0 && Find(line, closing) != std::string_view::npos) {
      due--;
      return;
    }
    Write(out, line);
  });
}

int FileInsert(const char *base, const char *ext, char *text)
{
  EditNames names;
  if (!RequireText(text, "text to insert") || !MakeEditNames(names, base, ext))
    return -1;
  Insertion ins = ReadInsertion(text);
  return EditFile(names, [&](std::string_view line, FILE *out) {
    WriteInsertion(ins, out);
    Write(out, line);
  });
}

int FileSearchInsert(const char *base, const char *ext, char *text, const char *pattern)
{
  EditNames names;
  if (!RequireText(text, "text to insert") || !RequireText(pattern, "pattern") ||
      !MakeEditNames(names, base, ext))
    return -1;
  Insertion ins = ReadInsertion(text);
  std::string_view pat = pattern;
  return EditFile(names, [&](std::string_view line, FILE *out) {
    if (Find(line, pat) != std::string_view::npos)
      WriteInsertion(ins, out);
    Write(out, line);
  });
}

FILE *OpenIOFiles(const char *base, const char *ext)
{
  char file[FILE_NAME_SIZE], temp[FILE_NAME_SIZE];
  bool named = base && (!ext || !*ext ? FormatName(file, "%s%s", base, "")
                                      : FormatName(file, "%s.%s", base, ext));
  if (!base)
    EditError("no file name given");
  if (!named || !FormatName(temp, "%s%s", file, "out")) {
    Fn[0] = FnOut[0] = '\0';
    return nullptr;
  }
  memcpy(Fn, file, sizeof Fn);
  memcpy(FnOut, temp, sizeof FnOut);

  pIn = OpenFile(pIn, Fn, "rt", 2);
  snprintf(InputFileName, sizeof InputFileName, "%s", Fn);
  FileStatus = 0;
  LineLen = 0;
  if (pOut)
    fclose(pOut);
  pOut = OpenFreshOutput(FnOut, pIn);
  return pOut;
}

int ReplaceInputFile()
{
  if (!pOut || !Fn[0]) {
    EditError("no file opened for editing");
    return -1;
  }
  CloseInputFile();
  bool written = CloseOutput(pOut, FnOut);
  pOut = nullptr;
  if (!written)
    return -1;
  snprintf(Line, LINE_SIZE, "mv -f -- %s %s", FnOut, Fn);
  fflush(nullptr);
  return system(Line);
}

char *GenName(const char *text)
{
  static char name[GEN_NAME_SIZE];
  size_t len = 0;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text ? text : "");
  while (*p && !isalpha(*p))
    p++;
  while (*p && len < GEN_NAME_SIZE - 1) {
    if (!isalnum(*p)) {
      p++;
      continue;
    }
    name[len++] = static_cast<char>(toupper(*p++));
    while (*p && isalnum(*p) && len < GEN_NAME_SIZE - 1)
      name[len++] = static_cast<char>(tolower(*p++));
  }
  name[len] = '\0';
  return name;
}
