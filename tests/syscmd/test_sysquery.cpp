// System queries: process reports from the real process table and from
// captured ps output, df parsing of captured samples and of real tmpfs
// mounts, du, AvailSpace and SniffCUPS.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "installer/test_media_util.h"
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

using namespace mediatest;

namespace {

void StartCommandLayer()
{
  flUseLog = 0;
  static char name[] = "test_sysquery";
  my_name = name;
  InitSysCmdList();
}

std::string Take(char *saved)
{
  std::string text = saved ? saved : "<null>";
  PutMem(saved);
  return text;
}

// Makes command `index` of the table a script in `dir` that prints `sample`
// whatever its arguments: captured output of a real host, replayed.
void ReplayOutput(const TempDir &dir, int index, const std::string &sample)
{
  std::string name = ComList[index].name;
  WriteFile(dir / (name + ".out"), sample);
  WriteFile(dir / name, "#!/bin/sh\ncat '" + (dir / (name + ".out")) + "'\n");
  chmod((dir / name).c_str(), 0755);
  ComList[index].path = SaveStr_(dir.path().c_str());
}

class SysQuery : public ::testing::Test {
protected:
  void SetUp() override
  {
    StartCommandLayer();
    ps_ = ComList[CMD_PS].path;
    df_ = ComList[CMD_DF].path;
  }
  void TearDown() override
  {
    ComList[CMD_PS].path = ps_;
    ComList[CMD_DF].path = df_;
  }
  TempDir dir;

private:
  char *ps_ = nullptr;
  char *df_ = nullptr;
};

// ---- processes -------------------------------------------------------------

TEST_F(SysQuery, IdListHoldsExactlyTheProcessesOfThatName)
{
  std::string name = UniqueName("npq");
  WatchedProcess a(dir, name, 60), b(dir, name, 60), old(dir, name + "_old", 60);
  std::vector<pid_t> ids = {a.pid(), b.pid()};
  std::sort(ids.begin(), ids.end());
  std::string expected = " " + std::to_string(ids[0]) + " " + std::to_string(ids[1]) + " ";

  EXPECT_EQ(Take(GetSysPsIdList(name.c_str())), expected);
  EXPECT_EQ(Take(CheckProcTableForExecs(("," + name + ",npqabsent0,").c_str())),
            name + " (" + expected + ")\n");
  // The longer name of the other program holds the name but does not match.
  EXPECT_EQ(Take(GetSysPsIdList((name + "_old").c_str())), " " + std::to_string(old.pid()) + " ");
}

TEST_F(SysQuery, ReportIsNullWhenNothingRuns)
{
  EXPECT_EQ(CheckProcTableForExecs(",npqabsent1,npqabsent2,"), nullptr);
  EXPECT_EQ(CheckProcTableForExecs(",,,"), nullptr);
  EXPECT_EQ(CheckProcTableForExecs(""), nullptr);
}

TEST_F(SysQuery, ManyProcessesGiveACutReportThatStillEndsItsLine)
{
  std::string name = UniqueName("npm");
  std::vector<std::unique_ptr<WatchedProcess>> procs;
  std::string ids;
  // As many processes as it takes for an id list over 1100 characters (fewer
  // when the process ids are long).
  while (ids.size() <= 1100 && procs.size() < 400) {
    for (int i = 0; i < 20; ++i)
      procs.push_back(std::make_unique<WatchedProcess>(dir, name, 60));
    ids = Take(GetSysPsIdList(name.c_str()));
    ASSERT_EQ(static_cast<size_t>(std::count(ids.begin(), ids.end(), ' ')), procs.size() + 1)
        << ids;
  }
  ASSERT_GT(ids.size(), 1100u);  // the id list itself is not limited

  std::string report = Take(CheckProcTableForExecs(("," + name + ",").c_str()));
  EXPECT_EQ(report.size(), 1023u);
  EXPECT_EQ(report.rfind(name + " (" + ids.substr(0, 100), 0), 0u);
  EXPECT_EQ(report.substr(report.size() - 5), " ...\n");
}

TEST_F(SysQuery, NamesBeyond511CharactersAreNotLookedAt)
{
  std::string name = UniqueName("npl");
  WatchedProcess p(dir, name, 60);
  std::string filler = ",";
  while (filler.size() < 520)
    filler += std::string(60, 'q') + ",";
  EXPECT_EQ(CheckProcTableForExecs((filler + name + ",").c_str()), nullptr);
  EXPECT_NE(Take(CheckProcTableForExecs(("," + name + filler).c_str())), "<null>");
}

TEST_F(SysQuery, KillProcessByNameEndsEveryProcessOfThatName)
{
  std::string name = UniqueName("npk");
  WatchedProcess a(dir, name, 60), b(dir, name, 60), other(dir, name + "x", 60);
  EXPECT_EQ(KillProcessByName(name.c_str()), 0);
  for (int i = 0; i < 100 && (a.Running() || b.Running()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(a.Running());
  EXPECT_FALSE(b.Running());
  EXPECT_TRUE(other.Running());
  EXPECT_EQ(KillProcessByName("npqabsent3"), 0);
}

TEST_F(SysQuery, PsLinesMatchOnlyOnTheCommandColumn)
{
  ReplayOutput(dir, CMD_PS,
               "  PID CLS PRI TTY          TIME CMD\n"
               "    7 TS   19 ?        00:00:00 npqadmin\n"
               "   12 TS   19 pts/0    00:00:01 npqadmin\n"
               "   13 TS   19 ?        00:00:00 npqadmin_old\n"
               "   14 TS   19 ?        00:00:00 tmux: npqadmin\n"
               "   15 TS   19 npqadmin 00:00:00 sh\n"
               "   40 TS   19 ?        00:00:00 npqadmin\n");
  EXPECT_EQ(Take(GetSysPsIdList("npqadmin")), " 7 12 40 ");
  EXPECT_EQ(Take(CheckProcTableForExecs(",npadmin,npqadmin,nsf,")), "npqadmin ( 7 12 40 )\n");
  EXPECT_EQ(GetSysPsIdList("npadmin"), nullptr);
}

// ---- df, du ----------------------------------------------------------------

struct DfCase {
  const char *what;
  const char *sample;
  bool ok;
  double avail;
};

TEST_F(SysQuery, DfSamples)
{
  const DfCase cases[] = {
      {"GNU df",
       "Filesystem     1K-blocks     Used Available Use% Mounted on\n"
       "/dev/vda       264212084 16586528  83750660  17% /\n",
       true, 83750660},
      {"Avail column", "Filesystem Size Used Avail Use% Mounted on\ntmpfs 5000 0 4000 0% /x\n",
       true, 4000},
      {"capitals", "FILESYSTEM BLOCKS USED AVAILABLE CAPACITY MOUNTED\nfs 10 2 8 20% /\n", true, 8},
      {"long device name on a line of its own",
       "Filesystem 1K-blocks Used Available Use% Mounted on\n"
       "/dev/mapper/a-very-long-volume-group-name-root\n"
       "                 10000 2000 8000 20% /\n",
       false, 0},
      {"no avail column", "Filesystem Size Used\n/dev/x 1 2\n", false, 0},
      {"header only", "Filesystem 1K-blocks Used Available Use% Mounted on\n", false, 0},
      {"no output", "", false, 0},
  };
  for (const DfCase &c : cases) {
    ReplayOutput(dir, CMD_DF, c.sample);
    DiskInfo info;
    info.avail = -1;
    EXPECT_EQ(GetDiskSpace("/", &info), c.ok) << c.what;
    EXPECT_EQ(info.avail, c.avail) << c.what;
  }
  ReplayOutput(dir, CMD_DF, cases[0].sample);
  DiskInfo info;
  ASSERT_TRUE(GetDiskSpace("/", &info));
  EXPECT_STREQ(info.line, "/dev/vda       264212084 16586528  83750660  17% /\n");
}

TEST_F(SysQuery, LongDfLineIsCutButItsFigureStillRead)
{
  std::string mount(700, 'm');
  ReplayOutput(dir, CMD_DF,
               "Filesystem 1K-blocks Used Available Use% Mounted on\n"
               "/dev/" +
                   std::string(600, 'd') + " 10 2 8 20% /" + mount + "\n");
  DiskInfo info;
  ASSERT_TRUE(GetDiskSpace("/", &info));
  EXPECT_EQ(info.avail, 8);
  EXPECT_EQ(std::strlen(info.line), 511u);
  EXPECT_EQ(std::string(info.line, 5), "/dev/");
}

TEST_F(SysQuery, RealDfAndDuOnTheHost)
{
  DiskInfo a;
  ASSERT_TRUE(GetDiskSpace(dir.path().c_str(), &a));
  EXPECT_GT(a.avail, 0);
  EXPECT_EQ(a.line[std::strlen(a.line) - 1], '\n');
  mkdir((dir / "sub").c_str(), 0755);
  WriteFile(dir / "sub/data", std::string(300 * 1024, 'x'));
  FILE *du = popen(("du -s " + dir.path() + "/sub").c_str(), "r");
  double expected = 0;
  ASSERT_EQ(fscanf(du, "%lf", &expected), 1);
  pclose(du);
  EXPECT_GE(expected, 300);
  EXPECT_EQ(DUPath((dir / "sub").c_str()), expected);
  EXPECT_EQ(DUPath((dir / "missing").c_str()), 0);
}

// ---- in the sandbox: exact figures on tmpfs, cupsd -------------------------

// /tmp/q is a 1000k tmpfs holding a 200k file "f".
int AvailSpaceScenario()
{
  StartCommandLayer();
  WriteFile("/tmp/q/f", std::string(200 * 1024, 'f'));
  int bits = 0, bit = 1;
  auto expect = [&](bool got) {
    if (got)
      bits |= bit;
    bit <<= 1;
  };
  expect(AvailSpace("/tmp/q", "f", 1000));  // 800 free + 200 used by f
  expect(AvailSpace("/tmp/q", "f", 1001));
  expect(AvailSpace("/tmp/q", nullptr, 800));
  expect(AvailSpace("/tmp/q", "absent", 801));             // absent: only the free space
  expect(AvailSpace("/tmp/q/no/such/dir", nullptr, 800));  // measured at /tmp/q
  expect(AvailSpace("/tmp/q/no/such/dir", nullptr, 801));
  // On a quiet file system two readings give the same line.
  mkdir("/tmp/q/sub", 0755);
  DiskInfo a, b;
  expect(GetDiskSpace("/tmp/q", &a) && GetDiskSpace("/tmp/q/sub", &b) &&
         std::strcmp(a.line, b.line) == 0);
  expect(a.avail == 800);
  return bits;
}

int SniffCupsScenario()
{
  StartCommandLayer();
  int before = SniffCUPS();
  TempDir dir;
  WatchedProcess cupsd(dir, "cupsd", 60);
  int during = SniffCUPS();
  return before * 10 + during;
}

MEDIA_SCENARIOS({{"sysquery-availspace", AvailSpaceScenario},
                 {"sysquery-sniffcups", SniffCupsScenario}});

TEST(SysQuerySandbox, AvailSpaceCountsTheEntryItReplacesAndWalksUpToAMeasurableDirectory)
{
  SKIP_WITHOUT_SANDBOX();
  ChildResult r = RunScenarioInSandbox({"--tmpfs", "/tmp/q:1000k"}, "sysquery-availspace", nullptr);
  EXPECT_EQ(r.status, 0b11010101) << r.err;
}

TEST(SysQuerySandbox, SniffCupsSeesARunningScheduler)
{
  SKIP_WITHOUT_SANDBOX();
  ChildResult r = RunScenarioInSandbox({}, "sysquery-sniffcups", nullptr);
  EXPECT_EQ(r.status, 1) << r.err;
}

}  // namespace
