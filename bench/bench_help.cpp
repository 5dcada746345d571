// The help viewer's layout of a large help file against a text browser:
// a generated help file of about 1 MB (many pages, each with headings,
// paragraphs, links, an ordered list and bordered tables, some nested) is
// printed as plain text by the helpdump tool and by `w3m -dump`, each as a
// whole process with its output thrown away. Five interleaved repetitions;
// the ratios of the best wall times and of the best processor times of the
// children are printed at the end (goal: helpdump at most 0.1x w3m). The dump tool is found beside
// this program's build folder
// (../helpdump) or through NORVO_HELPDUMP.
#include <benchmark/benchmark.h>

#include "bench/BenchRatio.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern char **environ;

namespace {

std::string HelpFile;
std::string DumpTool;

std::string Page(int n)
{
  std::string s = "<html page=\"p" + std::to_string(n) + "\"><head><title>Help page " +
                  std::to_string(n) + "</title></head><body>\n";
  for (int sec = 0; sec < 3; ++sec) {
    s += "<h2>Section " + std::to_string(sec) + " of page " + std::to_string(n) + "</h2>\n";
    s += "<p>The printer queue <b>administration</b> keeps every job of the spool area in\n"
         "order; see <a href=\"#p" +
         std::to_string((n + 1) % 500) + "\">the next page</a> and <a name=\"m" +
         std::to_string(sec) + "\">this mark</a> &eacute;t&eacute; &amp; more text.</p>\n";
    s += "<ol><li>Choose the queue</li><li>Select the driver</li><li>Apply &nbsp;it</li></ol>\n";
  }
  s += "<table border cellpadding=7><tr><td>Option</td><td>Meaning</td><td>Default</td></tr>\n";
  for (int r = 0; r < 6; ++r)
    s += "<tr><td>opt" + std::to_string(r) + "</td><td>what option " + std::to_string(r) +
         " does</td><td>" + std::to_string(r * 7) + "</td></tr>\n";
  s += "<tr><td>nested</td><td><table border><tr><td>a</td><td>b</td></tr>"
       "<tr><td>c</td><td>d</td></tr></table></td><td>-</td></tr></table>\n";
  s += "<table width=500><tr><td width=140>left</td><td>right <a href=\"#p0\">top</a></td></tr>"
       "</table>\n</body></html>\n";
  return s;
}

void Generate(const std::string &path)
{
  std::ofstream out(path);
  size_t size = 0;
  for (int n = 0; size < 1000000; ++n) {
    std::string p = Page(n);
    size += p.size();
    out << p;
  }
}

void Run(benchmark::State &state, std::vector<std::string> args)
{
  std::vector<char *> argv;
  for (std::string &a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  rusage before{}, after{};
  getrusage(RUSAGE_CHILDREN, &before);
  for (auto _ : state) {
    pid_t pid;
    int status = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError(("cannot run " + args[0]).c_str());
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  // The children's own processor time, which a busy machine does not inflate.
  getrusage(RUSAGE_CHILDREN, &after);
  auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  double cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
               seconds(before.ru_stime);
  state.counters["child_cpu_ms"] =
      benchmark::Counter(cpu * 1000, benchmark::Counter::kAvgIterations);
}

void BM_HelpDump(benchmark::State &state)
{
  Run(state, {DumpTool, HelpFile});
}
void BM_W3mDump(benchmark::State &state)
{
  Run(state, {"w3m", "-dump", "-T", "text/html", HelpFile});
}

BENCHMARK(BM_HelpDump)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_W3mDump)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  self[n > 0 ? n : 0] = '\0';
  std::string dir = self;
  dir = dir.substr(0, dir.rfind('/'));
  const char *tool = getenv("NORVO_HELPDUMP");
  DumpTool = tool ? tool : dir + "/../helpdump";
  char tmp[] = "/tmp/bench_help.XXXXXX";
  if (!mkdtemp(tmp))
    return 1;
  HelpFile = std::string(tmp) + "/big.html";
  Generate(HelpFile);

  std::vector<char *> args;
  if (!InitInterleaved(argc, argv, args))
    return 1;
  BestTimesReporter reporter("child_cpu_ms");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto dump = reporter.best.find("BM_HelpDump");
  auto w3m = reporter.best.find("BM_W3mDump");
  if (dump != reporter.best.end() && w3m != reporter.best.end() && w3m->second.wall > 0 &&
      w3m->second.counter > 0)
    printf("ratio helpdump / w3m -dump (best of each): wall %.3f, processor time %.3f\n",
           dump->second.wall / w3m->second.wall, dump->second.counter / w3m->second.counter);
  benchmark::Shutdown();
  unlink(HelpFile.c_str());
  rmdir(tmp);
  return 0;
}
