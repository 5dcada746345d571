// The package list: every command and attribute worked through on a real
// work area and application directory (temporary directories), release
// conditions against the running kernel, fatal attributes, the process
// check, the refusal of shell metacharacters and the replacement of links.
#include <grp.h>
#include <pwd.h>
#include <sys/utsname.h>

#include <gtest/gtest.h>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"
#include "test_pkglist_util.h"

using namespace pkgtest;

namespace {

// A work area with its package directory and an application directory, and
// ProcessPkgList run over them in a child process with logging on. The child
// ends with 10 + the result of ProcessPkgList, or with the status of an exit
// inside it.
struct PkgHost {
  TempDir tmp;
  std::string work = tmp / "work", pkg = work + "/pkg", app = tmp / "app";
  std::string name = "pkgtest-" + tmp.path().substr(tmp.path().rfind('-') + 1);

  PkgHost()
  {
    MakeDirs(pkg);
    MakeDirs(app);
  }
  ~PkgHost() { TempDir::Run("rm -f /tmp/" + name + ".log /tmp/" + name + ".tmp"); }
  void List(const std::string &text) { WriteFile(pkg + "/pkg.list", text); }
  void File(const std::string &path, const std::string &text = "data\n", mode_t mode = 0644)
  {
    std::string full = pkg + "/" + path;
    MakeDirs(full.substr(0, full.rfind('/')));
    WriteFile(full, text, mode);
  }
  ChildResult Run(const char *input = nullptr)
  {
    return RunChild(
        [&] {
          SetInstallerState(app, work, "/usr", name);
          flUseLog = 1;
          InitSysCmdList();
          if (chdir(work.c_str()) != 0)
            return 126;
          return 10 + ProcessPkgList("pkg");
        },
        input);
  }
  std::string Log() { return ReadAll("/tmp/" + name + ".log"); }
  std::string App(const std::string &path) { return app + "/" + path; }
};

std::string Release()
{
  struct utsname host;
  uname(&host);
  return host.release;
}

}  // namespace

TEST(PkgList, WorksThroughEveryCommandAndAttribute)
{
  PkgHost h;
  h.File("lib/libnp.so", "lib\n", 0755);
  chmod((h.pkg + "/lib").c_str(), 0755);
  h.File("ppd/a.ppd");
  for (const char *f : {"tool1", "tool2", "npstat.sh", "README", "y", "z"})
    h.File(f, "x\n", 0700);
  h.File("config", "path=TOOLDIR\n");
  h.File("lpconf", "TOOLDIR TOOLDIR\n");
  struct passwd *user = getpwuid(geteuid());
  struct group *grp = getgrgid(getegid());
  ASSERT_TRUE(user && grp);
  h.List("# a comment: c never\n"
         "#comment y\n"
         "dir lib\n"
         "dirto ppd " +
         h.tmp / "dest" +
         "\n"
         "newdir spool mode 777\n"
         "newdir lib mode 700\n"
         "t log mode 666\n"
         "c tool1 mode 750 owner " +
         user->pw_name + " group " + grp->gr_name +
         "\n"
         "file tool2 mode 711\n"
         "c npstat.sh name npstat\n"
         "m npstat mode 755\n"
         "m missing mode 600 link " +
         h.tmp / "never" +
         "\n"
         "s npstat mode 700\n"
         "c config sed s/TOOLDIR/\\/usr\\/Norvo\\/npxx/g\n"
         "c lpconf sed s#TOOLDIR#/opt/x#g\n"
         "c README note x \\\n"
         "  mode 600\n"
         "c z mode\n"
         "\n");
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 10) << r.out << r.err;

  EXPECT_EQ(ReadAll(h.App("lib/libnp.so")), "lib\n");
  EXPECT_EQ(ModeOf(h.App("lib")), 0755);  // newdir leaves an existing directory alone
  EXPECT_EQ(ReadAll(h.tmp / "dest/a.ppd"), "data\n");
  EXPECT_TRUE(IsDir(h.App("spool")));
  EXPECT_EQ(ModeOf(h.App("spool")), 0777);
  EXPECT_EQ(ModeOf(h.App("log")), 0666);
  EXPECT_EQ(ModeOf(h.App("tool1")), 0750);
  EXPECT_EQ(ModeOf(h.App("tool2")), 0711);  // an unknown command copies
  EXPECT_EQ(ModeOf(h.App("z")), 0700);
  EXPECT_FALSE(Exists(h.App("npstat.sh")));
  EXPECT_EQ(ModeOf(h.App("npstat")), 0700);
  EXPECT_FALSE(Exists(h.tmp / "never"));
  EXPECT_EQ(ReadAll(h.App("config")), "path=/usr/Norvo/npxx\n");
  EXPECT_EQ(ReadAll(h.App("lpconf")), "/opt/x /opt/x\n");
  EXPECT_EQ(ModeOf(h.App("README")), 0600);  // the continuation line's attribute
  EXPECT_TRUE(Exists(h.App("y")));           // "#comment" is a command word, not a comment
  EXPECT_FALSE(Exists(h.App("never")));
  EXPECT_FALSE(Exists(h.App("600")));
  EXPECT_FALSE(Exists("/tmp/" + h.name + ".tmp"));

  // Every logged command, in the order of the list; each printed one dot.
  std::vector<std::string> expected = {
      "/cp -pr " + h.pkg + "/lib " + h.app,
      "/cp -pr " + h.pkg + "/ppd " + h.tmp / "dest",
      "/chmod  777 " + h.app + "/spool",
      "/touch  " + h.app + "/log",
      "/chmod  666 " + h.app + "/log",
      "/cp -p " + h.pkg + "/tool1 " + h.app,
      "/chmod  750 " + h.app + "/tool1",
      "/chown  -R " + std::string(user->pw_name) + " " + h.app + "/tool1",
      "/chgrp  -R " + std::string(grp->gr_name) + " " + h.app + "/tool1",
      "/cp -p " + h.pkg + "/tool2 " + h.app,
      "/mv -f " + h.app + "/npstat.sh " + h.app + "/npstat",
      "/chmod  700 " + h.app + "/npstat",
      "/cp -p " + h.pkg + "/README " + h.app,
      "/chmod  600 " + h.app + "/README",
  };
  std::string log = h.Log();
  size_t at = 0;
  for (const std::string &line : expected) {
    size_t found = log.find(line + "\n", at);
    EXPECT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
    if (found != std::string::npos)
      at = found;
  }
  EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
  EXPECT_EQ(log.find("never"), std::string::npos) << log;
}

TEST(PkgList, DirtoAppliesItsAttributesInTheApplicationDirectory)
{
  PkgHost h;
  h.File("ppd/a.ppd");
  chmod((h.pkg + "/ppd").c_str(), 0755);
  MakeDirs(h.App("ppd"));
  h.List("dirto ppd " + h.tmp / "dest" + " mode 700\n");
  EXPECT_EQ(h.Run().status, 10);
  EXPECT_EQ(ModeOf(h.App("ppd")), 0700);
  EXPECT_EQ(ModeOf(h.tmp / "dest"), 0755);
}

TEST(PkgList, ReleaseConditionsCompareTheRunningReleaseAsBytes)
{
  EXPECT_FALSE(ReleaseConditionHolds("2.0.36", ">=", "2.2"));
  EXPECT_TRUE(ReleaseConditionHolds("2.0.36", "<", "2.2"));
  EXPECT_FALSE(ReleaseConditionHolds("2.2.14", ">", "2.2.5"));  // '1' sorts before '5'
  EXPECT_TRUE(ReleaseConditionHolds("2.2.14", "<", "2.2.5"));
  EXPECT_TRUE(ReleaseConditionHolds("2.0.36", "=", "2.0.36"));
  EXPECT_TRUE(ReleaseConditionHolds("2.0.36", "<=", "2.0.36"));
  EXPECT_TRUE(ReleaseConditionHolds("2.0.36", ">=", "2.0.36"));
  EXPECT_FALSE(ReleaseConditionHolds("2.0.36", "==", "2.0.36"));
  EXPECT_FALSE(ReleaseConditionHolds("2.0.36", "!=", "2.0"));
  EXPECT_FALSE(ReleaseConditionHolds(nullptr, "<", "2"));

  PkgHost h;
  std::string rel = Release();
  h.List("v = " + rel +
         " t eq\n"
         "v < " +
         rel +
         " t lt\n"
         "v <= " +
         rel +
         " t le\n"
         "v > " +
         rel +
         " t gt\n"
         "v >= " +
         rel +
         " t ge mode 600\n"
         "v ~ " +
         rel +
         " t tilde\n"
         "v >= 0 v < ~ t chained\n"
         "v < 0 t never mode 600\n"
         "v = " +
         rel +
         "\n"
         "v =\n");
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 10) << r.out << r.err;
  EXPECT_TRUE(Exists(h.App("eq")));
  EXPECT_TRUE(Exists(h.App("le")));
  EXPECT_EQ(ModeOf(h.App("ge")), 0600);
  EXPECT_TRUE(Exists(h.App("chained")));
  for (const char *f : {"lt", "gt", "tilde", "never"})
    EXPECT_FALSE(Exists(h.App(f))) << f;
}

TEST(PkgList, ModeOnANameGoneByARenameEndsTheRun)
{
  PkgHost h;
  h.File("tool");
  h.List("c tool name tool.new mode 755\nt after\n");
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("ERROR: "), std::string::npos) << r.out;
  EXPECT_TRUE(Exists(h.App("tool.new")));
  EXPECT_FALSE(Exists(h.App("after")));
  EXPECT_NE(h.Log().find("ERROR: "), std::string::npos);
}

TEST(PkgList, FailedCopyOnlyWarnsAndTheListGoesOn)
{
  PkgHost h;
  h.List("c missing mode 755\n");  // the copy warns, the mode on the missing file is fatal
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 1);
  std::string log = h.Log();
  EXPECT_NE(log.find("WARNING_MSG: "), std::string::npos) << log;
  EXPECT_LT(log.find("WARNING_MSG: "), log.find("ERROR: ")) << log;

  PkgHost g;
  g.List("c missing\nt after\n");
  EXPECT_EQ(g.Run().status, 10);
  EXPECT_TRUE(Exists(g.App("after")));
}

TEST(PkgList, MissingListEndsTheRunAsAFailure)
{
  PkgHost h;
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't open file, " + h.pkg + "/pkg.list\n");
}

TEST(PkgList, CheckpsQuitsWhenTheUserChoosesTo)
{
  PkgHost h;
  std::string prog = mediatest::UniqueName("npxxck");
  mediatest::WatchedProcess running(h.tmp, prog, 60);
  h.List("t before\ncheckps ," + prog + ",\nt after\n");
  ChildResult r = h.Run("2\n");
  EXPECT_EQ(r.status, 11);  // ProcessPkgList answered 1
  EXPECT_NE(r.out.find(prog), std::string::npos) << r.out;
  EXPECT_TRUE(Exists(h.App("before")));
  EXPECT_FALSE(Exists(h.App("after")));
}

TEST(PkgList, CheckpsGoesOnWhenNothingRuns)
{
  PkgHost h;
  h.List("checkps ," + mediatest::UniqueName("npxxnone") + ",\nt after\n");
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(r.out.find("running"), std::string::npos) << r.out;
  EXPECT_TRUE(Exists(h.App("after")));
}

// ---- Shell safety -------------------------------------------------------------

TEST(PkgList, ShellSafeWords)
{
  for (const char *word :
       {"bin/tool", "npqadmin.conf", "4755", "u+x,go-w", "root:lp", "a=rx", "libnp-1.2_3.so", "50%",
        "user@host", "/usr/bin/newtool", "\xc3\xa9t\xc3\xa9"})
    EXPECT_TRUE(IsShellSafeWord(word)) << word;
  for (const char *word : {"",       "a b", "a\tb",  "a\nb", "a;b",   "a|b",   "a&b",  "$(x)",
                           "${IFS}", "`x`", "a>b",   "a<b",  "'q'",   "\"q\"", "a\\b", "*",
                           "a?",     "[a]", "~root", "#x",   "{a,b}", "!x",    "a^b",  "(x)"})
    EXPECT_FALSE(IsShellSafeWord(word)) << word;
  EXPECT_FALSE(IsShellSafeWord(nullptr));
}

TEST(PkgList, MetacharactersAreRefusedBeforeTheLineChangesAnything)
{
  struct Case {
    std::string line, word;
  };
  for (const Case &c : std::vector<Case>{
           {"c tool;touch", "tool;touch"},
           {"c tool mode 755;touch", "755;touch"},
           {"c my\\ tool", "my tool"},
           {"c tool link $(touch)", "$(touch)"},
           {"c tool owner `id`", "`id`"},
           {"dirto lib /tmp/x|y", "/tmp/x|y"},
           {"c tool name a>b", "a>b"},
           {"t tool\tx", "tool\tx"},
           {"c tool bat ../x&", "../x&"},
           // Words that chmod, chown, chgrp, ln, mv or cp would take as options.
           {"c tool mode --reference=/etc/shadow", "--reference=/etc/shadow"},
           {"c tool owner --from=root", "--from=root"},
           {"c tool group -h", "-h"},
           {"c tool link --help", "--help"},
           {"c tool name -f", "-f"},
           {"dirto lib --target-directory=/etc", "--target-directory=/etc"},
           {"c -tool", "-tool"},
       }) {
    PkgHost h;
    h.File("tool");
    h.File("lib/a");
    h.List("t first\n" + c.line + "\nt never\n");
    ChildResult r = h.Run();
    EXPECT_EQ(r.status, 1) << c.line;
    EXPECT_NE(r.err.find("line 2: refusing \"" + c.word + "\""), std::string::npos) << r.err;
    EXPECT_NE(h.Log().find("refusing"), std::string::npos);
    EXPECT_TRUE(Exists(h.App("first")));
    EXPECT_FALSE(Exists(h.App("tool"))) << c.line;
    EXPECT_FALSE(Exists(h.App("never")));
  }
}

TEST(PkgList, SedScriptReachesSedAsWritten)
{
  PkgHost h;
  h.File("conf", "a\nx\nTOOLDIR\n");
  // A link planted at the fixed temporary name does not redirect the edit.
  WriteFile(h.tmp / "victim", "keep\n");
  ASSERT_EQ(symlink((h.tmp / "victim").c_str(), ("/tmp/" + h.name + ".tmp").c_str()), 0);
  h.List("c conf sed s/a/b;c/\n"
         "m conf sed s/x/it's\\ \"$HOME\"\\ `id`\\\\/ \n"
         "m conf sed s/TOOLDIR/\\/usr\\/Norvo\\/npxx/g\n");
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 10) << r.out << r.err;
  EXPECT_EQ(ReadAll(h.App("conf")), "b;c\nit's \"$HOME\" `id`\\\n/usr/Norvo/npxx\n");
  EXPECT_EQ(ReadAll(h.tmp / "victim"), "keep\n");
}

// The value of a first sed attribute may hold several sed arguments.
TEST(PkgList, SedValueHoldsSeveralArguments)
{
  PkgHost h;
  h.File("config2", "ALPHA BETA\n");
  h.File("config", "dir=TOOLDIR\n");
  h.List("c config2 sed -e s/ALPHA/one/ -e s/BETA/two/\n"
         "c config sed   -e   s/TOOLDIR/\\/usr\\/Norvo\\/npxx/g   \n");
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 10) << r.out << r.err;
  EXPECT_EQ(ReadAll(h.App("config2")), "one two\n");
  EXPECT_EQ(ReadAll(h.App("config")), "dir=/usr/Norvo/npxx\n");
}

TEST(PkgList, SedEditKeepsTheModeOfTheFile)
{
  PkgHost h;
  h.File("run.sh", "echo TOOLDIR\n", 0755);
  h.File("conf", "TOOLDIR\n", 0644);
  h.List("c run.sh sed s/TOOLDIR/\\/opt/g\n"
         "c conf mode 640 sed s/TOOLDIR/x/\n");
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 10) << r.out << r.err;
  EXPECT_EQ(ReadAll(h.App("run.sh")), "echo /opt\n");
  EXPECT_EQ(ModeOf(h.App("run.sh")), 0755);
  EXPECT_EQ(ReadAll(h.App("conf")), "x\n");
  EXPECT_EQ(ModeOf(h.App("conf")), 0640);
}

TEST(PkgList, OverlongLinesAndWordsAreRefused)
{
  PkgHost h;
  h.List("t first\nc " + std::string(600, 'a') + "\nt never\n");
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 2: the line is too long"), std::string::npos) << r.err;
  EXPECT_TRUE(Exists(h.App("first")));
  EXPECT_FALSE(Exists(h.App("never")));

  PkgHost w;
  w.List("t " + std::string(300, 'b') + "\n");
  r = w.Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is too long"), std::string::npos) << r.err;
}

// ---- Links ------------------------------------------------------------------

TEST(PkgList, LinkReplacesAnEarlierLinkButNeverAFileOrDirectory)
{
  PkgHost h;
  h.File("tool");
  std::string bin = h.tmp / "bin";
  MakeDirs(bin);
  h.List("c tool link " + bin + "/tool\n");
  ASSERT_EQ(h.Run().status, 10);
  EXPECT_EQ(LinkTarget(bin + "/tool"), h.App("tool"));

  // The upgrade finds the link of the earlier installation.
  ASSERT_EQ(h.Run().status, 10);
  EXPECT_EQ(LinkTarget(bin + "/tool"), h.App("tool"));

  // A link to somewhere else, or to nothing, is replaced as well.
  unlink((bin + "/tool").c_str());
  ASSERT_EQ(symlink("/nonexistent/tool", (bin + "/tool").c_str()), 0);
  ASSERT_EQ(h.Run().status, 10);
  EXPECT_EQ(LinkTarget(bin + "/tool"), h.App("tool"));
  unlink((bin + "/tool").c_str());
  ASSERT_EQ(symlink(h.tmp.path().c_str(), (bin + "/tool").c_str()), 0);  // a link to a directory
  ASSERT_EQ(h.Run().status, 10);
  EXPECT_EQ(LinkTarget(bin + "/tool"), h.App("tool"));
  EXPECT_FALSE(Exists(h.tmp / "tool"));

  // A real file is kept and ends the run.
  unlink((bin + "/tool").c_str());
  WriteFile(bin + "/tool", "mine\n");
  ChildResult r = h.Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(bin + "/tool exists and is not a symbolic link"), std::string::npos)
      << r.err;
  EXPECT_EQ(ReadAll(bin + "/tool"), "mine\n");

  // So is a directory, with nothing linked into it.
  unlink((bin + "/tool").c_str());
  MakeDirs(bin + "/tool");
  r = h.Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(IsDir(bin + "/tool"));
  EXPECT_FALSE(Exists(bin + "/tool/tool"));
}
