// The installer's command line: the version query (also through the built
// setup program), "install <dir>" and the work-area argument.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/ChildProcess.h"
#include "installer/setup.h"

namespace {

char kTestName[] = "test_cmdline";

bool IsDir(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class CommandLine : public ::testing::Test {
protected:
  void SetUp() override
  {
    my_name = kTestName;
    flUseLog = 0;
    pNorvoInstallDir = SaveStr("/tmp/%sInstall", szMakerDir);
    pCmdLineInstallDir = nullptr;
    flCreatedTmpDir = 0;
    pCurLang = nullptr;
    unsetenv("LANG");
    ASSERT_FALSE(tmp_.path().empty());
    top_ = tmp_.path();
  }
  // parseCommandLineOptions on "setup" followed by args.
  void Parse(std::vector<std::string> args)
  {
    args.insert(args.begin(), "setup");
    std::vector<char *> argv;
    for (std::string &a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    parseCommandLineOptions(int(args.size()), argv.data());
  }
  TempDir tmp_;
  std::string top_;
};

TEST_F(CommandLine, VersionGoesToStandardErrorAndEndsWithZero)
{
  ChildResult r = RunChild([this] { Parse({"-v"}); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "test_cmdline 3.02.05\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(CommandLine, VersionEndsTheRunBeforeLaterArguments)
{
  std::string missing = top_ + "/never";
  ChildResult r = RunChild([&] { Parse({"install", "/opt", "-v", missing}); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "test_cmdline 3.02.05\n");
  EXPECT_FALSE(IsDir(missing));
}

TEST_F(CommandLine, InstallSetsTheBaseAndConsumesItsArgument)
{
  Parse({"install", "/opt"});
  ASSERT_NE(pCmdLineInstallDir, nullptr);
  EXPECT_STREQ(pCmdLineInstallDir, "/opt");
  EXPECT_STREQ(pNorvoInstallDir, "/tmp/NorvoInstall");  // "/opt" was not a work area

  Parse({"install", "/opt/Norvo/npxx/"});
  EXPECT_STREQ(pCmdLineInstallDir, "/opt");
  Parse({"install", "/"});
  EXPECT_STREQ(pCmdLineInstallDir, "/");
}

TEST_F(CommandLine, InstallLeavesTheCallersArgumentIntact)
{
  std::string arg = "/data/Norvo/npxx";
  char *argv[] = {const_cast<char *>("setup"), const_cast<char *>("install"), arg.data(), nullptr};
  parseCommandLineOptions(3, argv);
  EXPECT_STREQ(pCmdLineInstallDir, "/data");
  EXPECT_EQ(arg, "/data/Norvo/npxx");
}

TEST_F(CommandLine, RelativeInstallBaseIsTakenFromTheWorkingDirectory)
{
  // The run later works from other directories, so the base is made
  // absolute at once; the working directory's own name is never reduced.
  std::string cwd = top_ + "/npxx_media";
  ASSERT_EQ(mkdir(cwd.c_str(), 0755), 0);
  ChildResult r = RunChild([&] {
    if (chdir(cwd.c_str()) != 0)
      _exit(98);
    Parse({"install", "opt/"});
    std::printf("|%s", pCmdLineInstallDir);
    Parse({"install", "Norvo/npxx"});
    std::printf("|%s", pCmdLineInstallDir);
    if (chdir("/") != 0)
      _exit(98);
    Parse({"install", "srv"});
    std::printf("|%s", pCmdLineInstallDir);
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.out, "|" + cwd + "/opt|" + cwd + "|/srv");
}

TEST_F(CommandLine, InstallAsLastArgumentDoesNothing)
{
  Parse({"install"});
  EXPECT_EQ(pCmdLineInstallDir, nullptr);
  EXPECT_STREQ(pNorvoInstallDir, "/tmp/NorvoInstall");
  EXPECT_EQ(flCreatedTmpDir, 0);
}

TEST_F(CommandLine, OptionWordsMatchOnlyAsWholeWords)
{
  // A word that merely contains an option is a work-area directory.
  std::string dir = top_ + "/-v,install";
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  Parse({dir});
  EXPECT_EQ(std::string(pNorvoInstallDir), dir + "/NorvoInstall");
  EXPECT_EQ(pCmdLineInstallDir, nullptr);
}

TEST_F(CommandLine, ExistingWorkAreaParentLosesOneTrailingSlash)
{
  Parse({top_ + "/"});
  EXPECT_EQ(std::string(pNorvoInstallDir), top_ + "/NorvoInstall");
  EXPECT_EQ(flCreatedTmpDir, 0);
  Parse({top_ + "//"});
  EXPECT_EQ(std::string(pNorvoInstallDir), top_ + "//NorvoInstall");
}

TEST_F(CommandLine, RootAsWorkAreaParent)
{
  Parse({"/"});
  EXPECT_STREQ(pNorvoInstallDir, "/NorvoInstall");
  EXPECT_EQ(flCreatedTmpDir, 0);
}

TEST_F(CommandLine, MissingWorkAreaParentIsCreatedWithItsParents)
{
  std::string dir = top_ + "/new/deeper";
  ChildResult r = RunChild([&] {
    Parse({dir + "/"});
    std::printf("|%s|%d", pNorvoInstallDir, flCreatedTmpDir);
  });
  EXPECT_EQ(r.status, 99) << r.out << r.err;
  EXPECT_TRUE(IsDir(dir));
  EXPECT_NE(r.out.find("|" + dir + "/NorvoInstall|1"), std::string::npos) << r.out;
}

TEST_F(CommandLine, LaterWorkAreaReplacesEarlierAndOnlyItsOwnCreationCounts)
{
  // The clean-up removes the parent when the flag is set: it must never be
  // set for a directory that was already there.
  std::string made = top_ + "/made";
  ChildResult r = RunChild([&] {
    Parse({made, top_});
    std::printf("|%s|%d", pNorvoInstallDir, flCreatedTmpDir);
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_NE(r.out.find("|" + top_ + "/NorvoInstall|0"), std::string::npos) << r.out;

  r = RunChild([&] {
    Parse({top_, top_ + "/second"});
    std::printf("|%s|%d", pNorvoInstallDir, flCreatedTmpDir);
  });
  EXPECT_NE(r.out.find("|" + top_ + "/second/NorvoInstall|1"), std::string::npos) << r.out;
}

TEST_F(CommandLine, RelativeWorkAreaParentIsTakenFromTheWorkingDirectory)
{
  ChildResult r = RunChild([&] {
    if (chdir(top_.c_str()) != 0)
      _exit(98);
    Parse({"scratch/"});
    std::printf("|%s|%d", pNorvoInstallDir, flCreatedTmpDir);
  });
  EXPECT_EQ(r.status, 99) << r.err;
  EXPECT_TRUE(IsDir(top_ + "/scratch"));
  EXPECT_NE(r.out.find("|" + top_ + "/scratch/NorvoInstall|1"), std::string::npos) << r.out;
}

TEST_F(CommandLine, EmptyWorkAreaArgumentEndsWithStatusTwo)
{
  ChildResult r = RunChild([&] { Parse({""}); });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "ERROR: couldn't open \n\n");
}

TEST_F(CommandLine, WorkAreaParentThatIsAFileEndsWithStatusTwo)
{
  std::string file = top_ + "/plain";
  std::ofstream(file) << "x";
  ChildResult r = RunChild([&] { Parse({file}); });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "ERROR: couldn't open " + file + "\n\n");

  setenv("LANG", "fr_FR.ISO8859-1", 1);
  r = RunChild([&] { Parse({file + "/"}); });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "ERREUR : impossible d'ouvrir " + file + "\n\n");
}

TEST_F(CommandLine, WorkAreaParentThatCannotBeMadeEndsTheRun)
{
  // mkdir -p below a plain file fails; the command layer ends the run.
  std::string file = top_ + "/plain";
  std::ofstream(file) << "x";
  ChildResult r = RunChild([&] { Parse({file + "/sub"}); });
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_FALSE(IsDir(file + "/sub"));
}

// ---- StripToBaseName --------------------------------------------------------

std::string Base(const char *path)
{
  std::string copy = path;
  return StripToBaseName(copy.data());
}

TEST(StripToBaseName, ReducesAPathToItsInstallationBase)
{
  EXPECT_EQ(Base("/opt/Norvo/npxx"), "/opt");
  EXPECT_EQ(Base("/opt/Norvo/npxx/"), "/opt");
  EXPECT_EQ(Base("/opt/Norvo"), "/opt");
  EXPECT_EQ(Base("/opt/"), "/opt");
  EXPECT_EQ(Base("/opt"), "/opt");
  EXPECT_EQ(Base("/"), "/");
  EXPECT_EQ(Base("/data/npxxold"), "/data");
  EXPECT_EQ(Base("/usr/Norvo/npxx/bin/x"), "/usr");
}

TEST(StripToBaseName, CutsAtTheFirstOccurrenceAnywhere)
{
  EXPECT_EQ(Base("/home/Norvoland/x"), "/home");
  EXPECT_EQ(Base("/a/npxx/b/Norvo"), "/a");
  EXPECT_EQ(Base("/Norvo/npxx"), "/");
  EXPECT_EQ(Base("Norvo/npxx"), "");
  EXPECT_EQ(Base(""), "");
  EXPECT_EQ(Base("/opt//"), "/opt/");  // only one slash goes
  EXPECT_EQ(Base("rel/dir/"), "rel/dir");
}

TEST(StripToBaseName, WorksInPlaceAndPassesNullThrough)
{
  char path[] = "/srv/Norvo/npxx/";
  EXPECT_EQ(StripToBaseName(path), path);
  EXPECT_STREQ(path, "/srv");
  EXPECT_EQ(StripToBaseName(nullptr), nullptr);
}

// ---- The built program --------------------------------------------------------

// The built setup started under a private name (so that its log is
// /tmp/<name>.log, not the real one), with args; only -v is ever run here.
class SetupProgram : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_FALSE(tmp_.path().empty());
    dir_ = tmp_.path();
    name_ = "setup_v_test_" + std::to_string(getpid());
    std::string program = std::string(NORVO_BINARY_DIR) + "/setup";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    ASSERT_EQ(symlink(program.c_str(), (dir_ + "/" + name_).c_str()), 0);
    log_ = "/tmp/" + name_ + ".log";
  }
  void TearDown() override { unlink(log_.c_str()); }
  // Runs the program at `path` (by default argv0 itself) with argv[0] = argv0.
  ChildResult Run(const std::string &argv0, std::vector<std::string> args, std::string path = "")
  {
    if (path.empty())
      path = argv0;
    return RunChild([&] {
      if (chdir(dir_.c_str()) != 0)
        _exit(98);
      std::vector<char *> argv{const_cast<char *>(argv0.c_str())};
      for (std::string &a : args)
        argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(path.c_str(), argv.data());
      _exit(97);
    });
  }
  TempDir tmp_;
  std::string dir_, name_, log_;
};

TEST_F(SetupProgram, VersionQueryPrintsItsOwnNameAndVersion)
{
  ChildResult r = Run(dir_ + "/" + name_, {"-v"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, name_ + " 3.02.05\n");
  EXPECT_EQ(r.out, "");

  // Started by a relative path, the name is still the last component.
  r = Run("./" + name_, {"-v"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, name_ + " 3.02.05\n");

  // Trailing slashes do not empty the name (nor make the log "/tmp/.log").
  r = Run(dir_ + "/" + name_ + "//", {"-v"}, dir_ + "/" + name_);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, name_ + " 3.02.05\n");
  EXPECT_EQ(access(log_.c_str(), F_OK), 0);
}

TEST_F(SetupProgram, VersionQueryComesAfterTheCommandLayerStarted)
{
  ChildResult r = Run(dir_ + "/" + name_, {"install", "/opt", "-v"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, name_ + " 3.02.05\n");
  std::ifstream log(log_);
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_EQ(text.str(), "initializing system\n");
}

// Help and mistyped options end the run before anything is made or logged:
// no work-area parent named after the word, no log.
TEST_F(SetupProgram, HelpAndUnknownOptionsChangeNothing)
{
  std::string usage = "usage: " + name_ + " [<work-area parent>] [install <base>] [-v]\n";
  for (const char *help : {"-h", "--help"}) {
    ChildResult r = Run(dir_ + "/" + name_, {"install", "/opt", help});
    EXPECT_EQ(r.status, 0) << help;
    EXPECT_EQ(r.out.rfind(usage, 0), 0u) << r.out;
    for (const char *arg : {"<work-area parent>", "install <base>", "-v ", "-h, --help"})
      EXPECT_NE(r.out.find("\n  " + std::string(arg)), std::string::npos) << arg << "\n" << r.out;
    EXPECT_EQ(r.err, "");
  }
  for (const char *typo : {"--hepl", "-x", "-", "--install"}) {
    ChildResult r = Run(dir_ + "/" + name_, {typo, "install", "/opt"});
    EXPECT_EQ(r.status, 2) << typo;
    EXPECT_EQ(r.err.rfind("ERROR: unknown option " + std::string(typo) + "\n" + usage, 0), 0u)
        << r.err;
    EXPECT_NE(r.err.find("  -h, --help"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(IsDir(dir_ + "/--hepl"));
  EXPECT_FALSE(IsDir(dir_ + "/-x"));
  EXPECT_NE(access(log_.c_str(), F_OK), 0) << "a log was written";
}

// A directory whose name starts with '-' is given as "./-name".
TEST_F(CommandLine, DashedWorkAreaParentGivenWithItsDirectory)
{
  ASSERT_EQ(chdir(top_.c_str()), 0);
  Parse({"./-w"});
  EXPECT_TRUE(IsDir(top_ + "/-w"));
  EXPECT_EQ(std::string(pNorvoInstallDir), top_ + "/./-w/NorvoInstall");
}

}  // namespace
