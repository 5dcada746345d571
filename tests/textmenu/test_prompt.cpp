// Prompts and the pass-phrase reader: questions that end at the end of
// input, and the reader on a real pseudo-terminal (echo, length, signals,
// stop and continue, time limit) and without one.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>

#include <string>

#include "MenuTestSupport.h"

namespace {

TEST(Prompts, AskAgainUntilAnAnswerAndEndAtTheEndOfInput)
{
  UseMenuMessages();
  int answer = -1;
  std::string out = WithInput("maybe\nY\nn\n", [&] { answer = PromptYN("Remove %s", "lp0"); });
  EXPECT_EQ(answer, 0);
  EXPECT_EQ(out, "Remove lp0? [y/n] Remove lp0? [y/n] Remove lp0? [y/n] ");
  out = WithInput("yes\n", [&] { answer = PromptYN("Go on"); });
  EXPECT_EQ(answer, 1);

  char *typed = nullptr;
  out = WithInput("lp1\n", [&] { typed = PromptUser("Name 100%%: ", nullptr); });
  EXPECT_EQ(out, "Name 100%: ");
  EXPECT_STREQ(typed, "lp1");
  PutMem(typed);

  // A closed standard input: every prompt returns at once (the alarm ends a
  // child that would spin).
  ChildResult r = RunChild([] {
    if (freopen("/dev/null", "r", stdin) == nullptr)
      _exit(2);
    alarm(10);
    int yn = PromptYN("Again");
    char *post = PostMsg("Note %d", 7);
    char *user = PromptUser("Who: ", nullptr);
    char buf[LINEBUF_SIZE];
    char *own = PromptUser("", buf);
    printf("|%d %s [%s] %d", yn, post == nullptr ? "null" : "line", user, own == buf);
    fflush(stdout);
    _exit(0);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Again? [y/n] Note 7\nPress <Return> to continue Who: |0 null [] 1");
}

// A child on a new pseudo-terminal; the test holds the master side.
struct PtyChild {
  pid_t pid = -1;
  int master = -1;
  std::string seen;  // everything read from the terminal so far

  explicit PtyChild(void (*body)())
  {
    pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
      body();
      fflush(stdout);
      _exit(0);
    }
  }
  ~PtyChild()
  {
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    close(master);
  }
  // Reads until `want` appears after position `from`; false when the
  // terminal stays silent for ms milliseconds first.
  bool WaitFor(const std::string &want, size_t from = 0, int ms = 10000)
  {
    char buf[512];
    pollfd p{master, POLLIN, 0};
    while (seen.find(want, from) == std::string::npos) {
      ssize_t n = poll(&p, 1, ms) > 0 ? read(master, buf, sizeof buf) : 0;
      if (n <= 0)
        return false;
      seen.append(buf, size_t(n));
    }
    return true;
  }
  bool Echo()
  {
    termios t{};
    tcgetattr(master, &t);
    return (t.c_lflag & ECHO) != 0;
  }
  // Waits until the reader has turned echo off.
  bool WaitEchoOff()
  {
    for (int i = 0; i < 1000 && Echo(); i++)
      usleep(10000);
    return !Echo();
  }
  void Type(const std::string &text)
  {
    ASSERT_EQ(write(master, text.data(), text.size()), ssize_t(text.size()));
  }
  int Wait()
  {
    int ws = 0;
    waitpid(pid, &ws, 0);
    pid = -1;
    return ws;
  }
};

void ReadAndShowPhrase()
{
  char *phrase = GetPassPhrase("Phrase: ");
  printf("<%zu:%s>", strlen(phrase), phrase);
  PutMem(phrase);
}

TEST(PassPhrase, ReadsWithEchoOffKeeps256AndRestoresTheTerminal)
{
  PtyChild child(ReadAndShowPhrase);
  ASSERT_TRUE(child.WaitFor("Phrase: "));
  ASSERT_TRUE(child.WaitEchoOff());
  child.Type(std::string(300, 's') + "\n");
  ASSERT_TRUE(child.WaitFor(">"));
  EXPECT_EQ(child.seen, "Phrase: \r\n<256:" + std::string(256, 's') + ">");
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_TRUE(child.Echo());
}

TEST(PassPhrase, TheTimeLimitEndsTheEntryWithAnEmptyPhrase)
{
  EXPECT_EQ(PassPhraseTimeLimit(0), 60);  // the default
  PtyChild child([] {
    PassPhraseTimeLimit(1);
    ReadAndShowPhrase();
  });
  ASSERT_TRUE(child.WaitFor(">", 0, 20000));
  EXPECT_EQ(child.seen, "Phrase: \r\n<0:>");
  EXPECT_TRUE(child.Echo());
}

TEST(PassPhrase, AnInterruptIsDeliveredAgainAfterTheRestore)
{
  PtyChild child(ReadAndShowPhrase);
  ASSERT_TRUE(child.WaitFor("Phrase: "));
  ASSERT_TRUE(child.WaitEchoOff());
  kill(child.pid, SIGINT);
  int ws = child.Wait();
  ASSERT_TRUE(WIFSIGNALED(ws));
  EXPECT_EQ(WTERMSIG(ws), SIGINT);
  EXPECT_TRUE(child.Echo());
}

volatile sig_atomic_t hangups = 0;

TEST(PassPhrase, TheCallersSignalActionsComeBack)
{
  PtyChild child([] {
    signal(SIGHUP, [](int) { hangups = hangups + 1; });
    signal(SIGQUIT, SIG_IGN);
    char *phrase = GetPassPhrase("Phrase: ");
    struct sigaction hup {
    }, quit{}, term{};
    sigaction(SIGHUP, nullptr, &hup);
    sigaction(SIGQUIT, nullptr, &quit);
    sigaction(SIGTERM, nullptr, &term);
    printf("<%d %d %d %d [%s]>", int(hangups),
           hup.sa_handler != SIG_DFL && hup.sa_handler != handler, quit.sa_handler == SIG_IGN,
           term.sa_handler == SIG_DFL, phrase);
  });
  ASSERT_TRUE(child.WaitFor("Phrase: "));
  ASSERT_TRUE(child.WaitEchoOff());
  kill(child.pid, SIGHUP);
  ASSERT_TRUE(child.WaitFor(">"));
  EXPECT_EQ(child.seen.substr(child.seen.find('<')), "<1 1 1 1 []>");
  EXPECT_EQ(child.Wait(), 0);
}

// The session leader on the terminal runs the reader in a foreground job
// of its own, as a shell would, so that ^Z really stops it; it reports the
// stop and continues the job.
void ReaderInAJob()
{
  pid_t job = fork();
  if (job == 0) {
    setpgid(0, 0);
    while (tcgetpgrp(0) != getpid())
      usleep(1000);
    ReadAndShowPhrase();
    fflush(stdout);
    _exit(0);
  }
  setpgid(job, job);
  tcsetpgrp(0, job);
  int ws = 0;
  while (waitpid(job, &ws, WUNTRACED) == job && WIFSTOPPED(ws)) {
    printf("[stopped]");
    fflush(stdout);
    kill(job, SIGCONT);
  }
}

TEST(PassPhrase, StopAndContinuePromptsAnew)
{
  PtyChild child(ReaderInAJob);
  ASSERT_TRUE(child.WaitFor("Phrase: "));
  ASSERT_TRUE(child.WaitEchoOff());
  child.Type("ab\x1a");  // the suspend character
  ASSERT_TRUE(child.WaitFor("[stopped]"));
  size_t stopped = child.seen.find("[stopped]");
  ASSERT_TRUE(child.WaitFor("Phrase: ", stopped));
  ASSERT_TRUE(child.WaitEchoOff());
  child.Type("xyz\n");
  ASSERT_TRUE(child.WaitFor(">", stopped));
  EXPECT_EQ(child.seen.substr(child.seen.find("Phrase: ", stopped)), "Phrase: \r\n<3:xyz>");
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_TRUE(child.Echo());
}

TEST(PassPhrase, WithoutATerminalStandardInputAndErrorServe)
{
  ChildResult r = RunChild([] {
    int fds[2];
    if (pipe(fds) != 0 || write(fds[1], "secret\nrest\n", 12) != 12)
      _exit(2);
    close(fds[1]);
    dup2(fds[0], 0);
    setsid();  // no controlling terminal any more
    char *phrase = GetPassPhrase("Phrase: ");
    printf("<%s>", phrase);
    fflush(stdout);
    _exit(0);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "Phrase: \n");
  EXPECT_EQ(r.out, "<secret>");
}

}  // namespace
