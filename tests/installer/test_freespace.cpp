// The free-space check on real file systems: tmpfs mounts of chosen sizes
// inside the sandbox give exact df figures for the work area and the
// installation base, apart or on one file system, with and without space
// that the run reclaims.
#include <gtest/gtest.h>

#include "installer/setup.h"
#include "installer/test_media_util.h"
#include "syscmd/SysCmd.h"

using namespace mediatest;

namespace {

constexpr int RETURNED = 42;  // the check let the installation go on

void StartInstaller(const char *distDir)
{
  flUseLog = 0;
  static char name[] = "test_freespace";
  my_name = name;
  InitSysCmdList();
  pPathToSetup = SaveStr_(distDir);
}

// NORVO_TEST_ARG: "<isize>|<tsize>|<work>|<base>|<shell commands run first>";
// a size of "-" leaves that file out of the distribution.
int FreeSpaceScenario()
{
  std::string arg = ScenarioArg();
  std::vector<std::string> f;
  for (size_t pos = 0;;) {
    size_t bar = arg.find('|', pos);
    f.push_back(arg.substr(pos, bar == std::string::npos ? bar : bar - pos));
    if (bar == std::string::npos || f.size() == 5)
      break;
    pos = bar + 1;
  }
  if (f.size() != 5)
    return 99;
  if (!f[4].empty() && std::system(f[4].c_str()) != 0)
    return 98;
  mkdir("/tmp/dist", 0755);
  if (f[0] != "-")
    WriteFile("/tmp/dist/isize", f[0] + "\n");
  if (f[1] != "-")
    WriteFile("/tmp/dist/tsize", f[1] + "\n");
  StartInstaller("/tmp/dist");
  FreeSpaceForInstall(f[2].c_str(), f[3].c_str(), szMakerDir);
  return RETURNED;
}

MEDIA_SCENARIOS({{"freespace", FreeSpaceScenario}});

ChildResult Check(const std::vector<std::string> &mounts, const std::string &isize,
                  const std::string &tsize, const std::string &work, const std::string &base,
                  const std::string &prep = "")
{
  std::vector<std::string> options;
  for (const auto &m : mounts)
    options.insert(options.end(), {"--tmpfs", m});
  return RunScenarioInSandbox(options, "freespace", nullptr,
                              isize + "|" + tsize + "|" + work + "|" + base + "|" + prep);
}

// A file of n KiB.
std::string Fill(const std::string &path, int kib)
{
  return "mkdir -p $(dirname " + path + ") && head -c " + std::to_string(kib * 1024) +
         " /dev/zero > " + path;
}

class FreeSpace : public ::testing::Test {
protected:
  void SetUp() override { SKIP_WITHOUT_SANDBOX(); }
};

TEST_F(FreeSpace, SeparateFileSystemsWithEnoughRoomPassQuietly)
{
  ChildResult r =
      Check({"/tmp/w:5000k", "/opt/b:5000k"}, "1000", "2000", "/tmp/w/NorvoInstall", "/opt/b");
  EXPECT_EQ(r.status, RETURNED) << r.out << r.err;
  EXPECT_EQ(r.out, "");
}

TEST_F(FreeSpace, SmallWorkAreaGetsMessage49WithItsNeed)
{
  ChildResult r =
      Check({"/tmp/w:2000k", "/opt/b:5000k"}, "1000", "2000", "/tmp/w/NorvoInstall", "/opt/b");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("There isn't enough space in /tmp/w/NorvoInstall to perform"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("at least 2.040000e+03 bytes"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Run `setup /new_work_area_path`"), std::string::npos) << r.out;
}

TEST_F(FreeSpace, SmallInstallationBaseGetsMessage55)
{
  ChildResult r =
      Check({"/tmp/w:5000k", "/opt/b:1000k"}, "1000", "2000", "/tmp/w/NorvoInstall", "/opt/b");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("There isn't enough space in /opt/b to perform"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("at least 1.040000e+03 bytes"), std::string::npos) << r.out;
}

TEST_F(FreeSpace, OldWorkAreaCountsAsFree)
{
  // 2100 in all, 500 of it in the old work area: 1600 + 500 >= 2040.
  ChildResult r = Check({"/tmp/w:2100k", "/opt/b:5000k"}, "1000", "2000", "/tmp/w/NorvoInstall",
                        "/opt/b", Fill("/tmp/w/NorvoInstall/old", 500));
  EXPECT_EQ(r.status, RETURNED) << r.out;
  // The same 500 elsewhere on that file system are not given back.
  r = Check({"/tmp/w:2100k", "/opt/b:5000k"}, "1000", "2000", "/tmp/w/NorvoInstall", "/opt/b",
            Fill("/tmp/w/other/data", 500));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("at least 2.040000e+03"), std::string::npos) << r.out;
}

TEST_F(FreeSpace, OneFileSystemMustHoldBothNeeds)
{
  // 3000 free < 1040 + 2040.
  ChildResult r = Check({"/opt/s:3000k"}, "1000", "2000", "/opt/s/work/NorvoInstall", "/opt/s/base",
                        "mkdir -p /opt/s/base /opt/s/work");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(
      r.out.find(
          "As you are using a working directory, /opt/s/work/NorvoInstall on the same partition as "
          "the install directory you have selected, /opt/s/base this install requires 3.080000e+03"),
      std::string::npos)
      << r.out;
}

TEST_F(FreeSpace, OldApplicationDirectoryOnTheSameFileSystemCountsAsFree)
{
  // 2700 free plus 500 in the old application directory: 3200 >= 3080.
  ChildResult r = Check({"/opt/s:3200k"}, "1000", "2000", "/opt/s/work/NorvoInstall", "/opt/s/base",
                        Fill("/opt/s/base/Norvo/npxx/old", 500));
  EXPECT_EQ(r.status, RETURNED) << r.out;
  r = Check({"/opt/s:3200k"}, "1000", "2000", "/opt/s/work/NorvoInstall", "/opt/s/base",
            Fill("/opt/s/base/elsewhere", 500));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("3.080000e+03"), std::string::npos) << r.out;
}

TEST_F(FreeSpace, BothOldAreasOnOneFileSystemCountOnce)
{
  // 2600 free, 300 old work area, 300 old application directory: 3200.
  ChildResult r = Check({"/opt/s:3200k"}, "1000", "2000", "/opt/s/work/NorvoInstall", "/opt/s/base",
                        Fill("/opt/s/base/Norvo/npxx/old", 300) + " && " +
                            Fill("/opt/s/work/NorvoInstall/old", 300));
  EXPECT_EQ(r.status, RETURNED) << r.out;
}

TEST_F(FreeSpace, MissingSizeFilesEndTheRunWithMessage65)
{
  for (auto [isize, tsize] : {std::pair{"-", "2000"}, std::pair{"1000", "-"}}) {
    ChildResult r = Check({}, isize, tsize, "/tmp/NorvoInstall", "/opt");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Could not determine how much space needed for install, missing isize.\n");
  }
}

TEST_F(FreeSpace, NearlyFullInstallationFileSystemFailsTheProbe)
{
  ChildResult r = Check({"/tmp/w:5000k", "/opt/p:100k"}, "0", "0", "/tmp/w/NorvoInstall", "/opt/p",
                        Fill("/opt/p/fill", 88));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(
      r.out.find(
          "There isn't enough space in /opt/p to perform the installation activities: only 12 is free"),
      std::string::npos)
      << r.out;
}

TEST_F(FreeSpace, MissingBaseIsMeasuredAtItsNearestExistingDirectory)
{
  // The new directories land on the small file system at /opt/small, not on /.
  ChildResult r = Check({"/tmp/w:5000k", "/opt/small:1000k"}, "1000", "2000", "/tmp/w/NorvoInstall",
                        "/opt/small/new/base");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("There isn't enough space in /opt/small/new/base to perform"),
            std::string::npos)
      << r.out;
}

// One file system whose figures change between two readings (others write
// there): it is still treated as one file system.
TEST(FreeSpaceBusyHost, ChangingFiguresStillMeanOneFileSystem)
{
  TempDir dir;
  WriteFile(dir / "isize", "1000\n");
  WriteFile(dir / "tsize", "2000\n");
  WriteFile(dir / "df", "#!/bin/sh\nn=$(cat " + (dir / "count") +
                            " 2>/dev/null || echo 0)\n"
                            "echo $((n + 1)) > " +
                            (dir / "count") +
                            "\n"
                            "echo 'Filesystem 1K-blocks Used Available Use% Mounted on'\n"
                            "echo \"/dev/vda 10000 $((7000 + n)) $((3000 - n)) 70% /\"\n");
  chmod((dir / "df").c_str(), 0755);
  ChildResult r = RunChild(
      [&] {
        StartInstaller(dir.path().c_str());
        ComList[CMD_DF].path = SaveStr_(dir.path().c_str());
        std::string work = dir / "work", base = dir / "base";
        mkdir(base.c_str(), 0755);
        FreeSpaceForInstall(work.c_str(), base.c_str(), szMakerDir);
        return RETURNED;
      },
      nullptr);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("3.080000e+03"), std::string::npos) << r.out;
}

}  // namespace
