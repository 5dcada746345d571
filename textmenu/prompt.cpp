// Dialogue on a plain terminal: yes/no and free-text questions, messages
// that wait for Return, and the pass-phrase reader with echo off, a time
// limit and its signal handling.
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "nls/NlsUtils.h"
#include "textmenu/TextMenu.h"

// Pass-phrase reader state: the last signal caught during a read (0 when
// none), the phrase as it is read, and the time limit of one entry. Only
// one reader runs at a time.
static volatile sig_atomic_t signo = 0;
static char PassPhrase[PASSPHRASE_MAX + 1];
static int PassPhraseLimit = 60;

namespace {

constexpr int kQuestionSize = 4096;
constexpr int kAnswerSize = 1024;

// The signals the reader catches, in the order their actions are saved and
// restored.
constexpr int kReaderSignals[] = {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU};
constexpr int kSignalCount = sizeof kReaderSignals / sizeof kReaderSignals[0];

bool IsStopSignal(int n)
{
  return n == SIGTSTP || n == SIGTTIN || n == SIGTTOU;
}

// Prints text as a format without arguments: a prompt may hold "%%".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
void PrintBare(const char *text)
{
  printf(text);
}
#pragma GCC diagnostic pop

void WriteAll(int fd, const char *text, size_t len)
{
  while (len > 0) {
    ssize_t n = write(fd, text, len);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    text += n;
    len -= size_t(n);
  }
}

long long NowMs()
{
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// Reads the entry into PassPhrase: at most PASSPHRASE_MAX characters, until
// a line end, the time limit, a failed wait or read, or a caught signal.
// The reader's signals are let in only while the wait sleeps or a character
// is read: one that came between the test of signo and the wait would
// otherwise leave the wait to the time limit.
void ReadPhrase(int fd, const sigset_t &readerSignals)
{
  sigset_t open;
  sigprocmask(SIG_BLOCK, &readerSignals, &open);
  int n = 0;
  const long long deadline = NowMs() + PassPhraseLimit * 1000LL;
  while (n < PASSPHRASE_MAX && signo == 0) {
    long long left = deadline - NowMs();
    if (left <= 0)
      break;
    pollfd p{fd, POLLIN, 0};
    timespec wait{time_t(left / 1000), long(left % 1000) * 1000000L};
    int ready = ppoll(&p, 1, &wait, &open);
    if (ready < 0 && errno == EAGAIN)
      continue;
    if (ready <= 0)
      break;
    char c = 0;
    sigprocmask(SIG_SETMASK, &open, nullptr);  // a read from the background stops
    ssize_t got = read(fd, &c, 1);
    sigprocmask(SIG_BLOCK, &readerSignals, nullptr);
    if (got != 1 || c == '\n' || c == '\r')
      break;
    PassPhrase[n++] = c;
  }
  PassPhrase[n] = '\0';
  int kept = errno;
  sigprocmask(SIG_SETMASK, &open, nullptr);
  errno = kept;
}

}  // namespace

void handler(int n)
{
  signo = n;
}

int PassPhraseTimeLimit(int seconds)
{
  int previous = PassPhraseLimit;
  PassPhraseLimit = seconds > 0 ? seconds : 60;
  return previous;
}

int PromptYN(const char *question, ...)
{
  char format[kQuestionSize];
  snprintf(format, sizeof format, "%s? [y/n] ", question != nullptr ? question : "");
  va_list args;
  va_start(args, question);
  int answer = 0;
  for (;;) {
    va_list again;
    va_copy(again, args);
    vprintf(format, again);
    va_end(again);
    fflush(stdout);
    if (Gets(LineBuf, sizeof LineBuf) == nullptr)
      break;  // end of input: nobody is there to say yes
    if (LineBuf[0] == 'y' || LineBuf[0] == 'n') {
      answer = LineBuf[0] == 'y';
      break;
    }
  }
  va_end(args);
  return answer;
}

char *PromptUser(const char *prompt, char *buf)
{
  if (prompt != nullptr)
    PrintBare(prompt);
  fflush(stdout);
  if (buf != nullptr) {
    Gets(buf, LINEBUF_SIZE);
    return buf;
  }
  char answer[kAnswerSize];
  Gets(answer, sizeof answer);
  return SaveStr("%s", answer);
}

char *PostMsg(const char *fmt, ...)
{
  va_list args;
  va_start(args, fmt);
  if (fmt != nullptr)
    vprintf(fmt, args);
  va_end(args);
  char *press = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1001);
  fputs(press, stdout);
  PutMem(press);
  fflush(stdout);
  return Gets(LineBuf, sizeof LineBuf);
}

char *GetPassPhrase(const char *prompt)
{
  signo = 0;
  int keptErrno = 0;
  for (;;) {
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
    int in = tty >= 0 ? tty : 0;
    int out = tty >= 0 ? tty : 2;
    if (prompt != nullptr)
      WriteAll(out, prompt, strlen(prompt));

    struct sigaction catcher {};
    catcher.sa_handler = handler;
    sigemptyset(&catcher.sa_mask);
    catcher.sa_flags = 0;
    struct sigaction previous[kSignalCount];
    sigset_t readerSignals;
    sigemptyset(&readerSignals);
    for (int i = 0; i < kSignalCount; i++) {
      sigaction(kReaderSignals[i], &catcher, &previous[i]);
      sigaddset(&readerSignals, kReaderSignals[i]);
    }

    termios saved{}, quiet{};
    if (tcgetattr(in, &saved) == 0) {
      quiet = saved;
      quiet.c_lflag &= ~tcflag_t(ECHO | ECHONL);
      tcsetattr(in, TCSAFLUSH, &quiet);
    } else {
      memset(&saved, 0, sizeof saved);
      memset(&quiet, 0, sizeof quiet);
    }

    ReadPhrase(in, readerSignals);

    keptErrno = errno;
    if ((quiet.c_lflag & ECHO) == 0)
      WriteAll(out, "\n", 1);
    if (memcmp(&quiet, &saved, sizeof saved) != 0)
      tcsetattr(in, TCSAFLUSH, &saved);
    for (int i = 0; i < kSignalCount; i++)
      sigaction(kReaderSignals[i], &previous[i], nullptr);
    if (in != 0)
      close(in);

    int caught = signo;
    if (caught == 0)
      break;
    // Now that the caller's action is back, the signal does what it would
    // have done without the reader: end, stop, or be handled.
    kill(getpid(), caught);
    if (!IsStopSignal(caught))
      break;
    signo = 0;  // stopped and continued: prompt anew
  }
  errno = keptErrno;
  char *phrase = SaveStr("%s", PassPhrase);
  // The phrase must not linger in static memory once the caller has its copy.
  explicit_bzero(PassPhrase, sizeof PassPhrase);
  errno = keptErrno;
  return phrase;
}
