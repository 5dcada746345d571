// A real terminal for the menu tests: a detached tmux session of a fixed
// size on a private server socket, driven with send-keys and read back with
// capture-pane. Screen content is waited for by polling.
#ifndef NORVO_TESTS_TMUXTERM_H
#define NORVO_TESTS_TMUXTERM_H

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

inline std::string ShellQuote(const std::string &s)
{
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

inline std::string RunText(const std::string &cmd)
{
  std::string out;
  FILE *p = popen(cmd.c_str(), "r");
  if (p == nullptr) {
    return out;
  }
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) {
    out.append(buf, n);
  }
  pclose(p);
  return out;
}

class TmuxTerm {
public:
  // Starts command (a shell line) in dir on a cols x rows terminal; the
  // line's exit status is shown as "EXIT=<n>" when it ends.
  TmuxTerm(const std::string &command, int cols, int rows, const std::string &dir = "/tmp")
  {
    static int serial = 0;
    socket_ = "menus-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    std::string line = "cd " + ShellQuote(dir) + " && " + command + "; echo EXIT=$?; sleep 600";
    std::string cmd = "tmux -L " + socket_ + " -f /dev/null new-session -d -x " +
                      std::to_string(cols) + " -y " + std::to_string(rows) + " " + ShellQuote(line);
    started_ = system(cmd.c_str()) == 0;
  }
  ~TmuxTerm() { (void)!system(("tmux -L " + socket_ + " kill-server 2>/dev/null").c_str()); }
  TmuxTerm(const TmuxTerm &) = delete;
  TmuxTerm &operator=(const TmuxTerm &) = delete;

  bool Started() const { return started_; }
  std::string Screen() const { return RunText("tmux -L " + socket_ + " capture-pane -p"); }
  // Types text literally, then Return.
  void Type(const std::string &text) const
  {
    if (!text.empty()) {
      (void)!system(("tmux -L " + socket_ + " send-keys -l " + ShellQuote(text)).c_str());
    }
    (void)!system(("tmux -L " + socket_ + " send-keys Enter").c_str());
  }
  // Waits up to 15 s for text to be on the screen (or, with present false,
  // to be gone); true when it happened. The screen keeps no blanks at line
  // ends, so neither does the text looked for.
  bool WaitFor(std::string text, bool present = true) const
  {
    while (!text.empty() && text.back() == ' ') {
      text.pop_back();
    }
    for (int i = 0; i < 300; i++) {
      if ((Screen().find(text) != std::string::npos) == present) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // Waits until the screen stops changing and gives it.
  std::string Settled() const
  {
    std::string last = Screen();
    for (int i = 0; i < 40; i++) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::string now = Screen();
      if (now == last) {
        return now;
      }
      last = now;
    }
    return last;
  }

private:
  std::string socket_;
  bool started_ = false;
};

// The demo program of the build tree.
inline std::string DemoPath()
{
  return std::string(NORVO_BINARY_DIR) + "/printerdemo";
}

#endif
