// Whole runs of setup inside the project's sandbox, on distributions that
// scripts/mkdist.sh makes from the sample package in examples/. Each scenario
// reads: the host before, the command, the host after. The sample package's
// programs are stand-ins that record their calls in $NORVO_CALLS_DIR.
#include <sys/utsname.h>

#include <gtest/gtest.h>

#include "common/ScriptBanner.h"
#include "installer/setup.h"
#include "test_pkglist_util.h"

using namespace pkgtest;

namespace {

constexpr int kSkip = 77;  // a scenario that cannot be set up here

int failures = 0;
void Check(bool ok, const std::string &what)
{
  if (!ok) {
    fprintf(stderr, "FAILED: %s\n", what.c_str());
    failures++;
  }
}
void CheckFile(const std::string &path, const std::string &text)
{
  std::string got = ReadAll(path);
  Check(got == text, path + " holds\n" + got + "\ninstead of\n" + text);
}
void CheckMode(const std::string &path, int mode)
{
  char want[16], got[16];
  snprintf(want, sizeof want, "%o", mode);
  snprintf(got, sizeof got, "%o", ModeOf(path));
  Check(ModeOf(path) == mode,
        path + (ModeOf(path) < 0 ? std::string(" is missing")
                                 : " has mode " + std::string(got) + ", not " + want));
}

std::string Banner()
{
  return "#!/bin/sh\n" + ScriptBanner(ThisYear());
}

bool ReleaseHolds(const char *op, const char *version)
{
  struct utsname host;
  uname(&host);
  return ReleaseConditionHolds(host.release, op, version);
}

// The distribution /tmp/dist, made from examples/ with this build's setup.
void MakeDist()
{
  ChildResult r = RunIn("/", {"/bin/bash", mediatest::SourceDir() + "/scripts/mkdist.sh", "--setup",
                              mediatest::BinaryDir() + "/setup",
                              mediatest::SourceDir() + "/examples", "/tmp/dist"});
  Check(r.status == 0, "mkdist.sh failed: " + r.err);
}

// setup started from the distribution directory as an administrator would.
ChildResult Setup(const std::vector<std::string> &args, const std::vector<std::string> &env = {})
{
  std::vector<std::string> argv = {"/tmp/dist/setup"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> environment = {"LANG=C", "NORVO_CALLS_DIR=/tmp/calls"};
  environment.insert(environment.end(), env.begin(), env.end());
  MakeDirs("/tmp/calls");
  ChildResult r = RunIn("/tmp/dist", argv, environment, "");
  Check(r.status == 0,
        "setup ended with status " + std::to_string(r.status) + "\n" + r.out + r.err);
  return r;
}

// The texts in `wanted` appear in the log, in this order.
void CheckLogOrder(const std::vector<std::string> &wanted)
{
  std::string log = ReadAll("/tmp/setup.log");
  size_t at = 0;
  for (const std::string &text : wanted) {
    size_t found = log.find(text, at);
    Check(found != std::string::npos, "the log lacks, or has out of order: " + text);
    if (found != std::string::npos)
      at = found + text.size();
  }
  Check(log.find("ERROR") == std::string::npos, "the log reports an error:\n" + log);
  Check(log.rfind("initializing system\n", 0) == 0 &&
            log.find("initializing system\n", 1) == std::string::npos,
        "the log does not hold exactly this run");
}

// The queue interface and send-file scripts and the printing-subsystem file
// of an installation whose application directory is appDir.
void CheckScripts(const std::string &appDir, const std::string &subsystem)
{
  CheckFile(appDir + "/.np_cfg", subsystem);
  CheckMode(appDir + "/.np_cfg", 0644);
  CheckFile(appDir + "/NorvoPrintnpxx",
            Banner() + Replace(Golden("NorvoPrintnpxx.body"), {{"@APPDIR@", appDir}}));
  CheckFile(appDir + "/NorvoNSF",
            Banner() + Replace(Golden("NorvoNSF.body"),
                               {{"@APPDIR@", appDir}, {"@JOBSPOOL@", "/var/spool/Norvo/npxx"}}));
  CheckMode(appDir + "/NorvoPrintnpxx", 0755);
  CheckMode(appDir + "/NorvoNSF", 0755);
}

// What the sample package list leaves in an installation at appDir.
void CheckPackage(const std::string &appDir)
{
  std::string app = appDir + "/";
  Check(!Exists(app + "comment_continuation_was_run"), "a continued comment line ran");
  Check(Exists(app + "lib/libnpxx.so.3") && IsDir(app + "lib/fonts"), "dir lib not copied");
  CheckMode(app + "help", 0755);
  Check(Exists("/usr/share/NorvoPPD/Norvo-Laser.ppd"), "dirto ppd not copied");
  CheckMode(app + "log", 0777);
  CheckMode(app + "spool", 0775);
  CheckMode(app + "log/npxx.log", 0666);
  CheckMode(app + "npadmin", 04755);
  CheckMode(app + "nprnpxxtty", 04755);
  CheckMode(app + "nsf", 04755);
  CheckMode(app + "nprint", 0755);
  for (const char *tool : {"npqadmin", "nprint", "npstat"}) {
    std::string wrapper = std::string("/usr/bin/") + tool;
    CheckFile(wrapper,
              Banner() + Replace(Golden("wrapper.body"), {{"@APPDIR@", appDir}, {"@TOOL@", tool}}));
    CheckMode(wrapper, 0755);
  }
  Check(Exists(app + "npstat") && !Exists(app + "npstat.sh"), "npstat.sh not renamed");
  Check(!Exists("/usr/bin/no_such_file"), "a link for a missing file");
  Check(Exists(app + "newtool") == ReleaseHolds(">=", "2.2"), "newtool against the release");
  if (ReleaseHolds(">=", "2.2"))
    Check(LinkTarget("/usr/bin/newtool") == app + "newtool", "/usr/bin/newtool is not the link");
  Check(Exists(app + "oldtool") == ReleaseHolds("<", "2.2"), "oldtool against the release");
  Check(Exists(app + "release_after_2.2.5") == ReleaseHolds(">", "2.2.5"),
        "release_after_2.2.5 against the release");
  Check(!Exists(app + "unknown_operator_held"), "an unknown operator held");
  Check(ReadAll(app + "config").find("ToolDir=/usr/Norvo/npxx\n") != std::string::npos,
        "config not edited by sed");
  CheckFile(app + "config2", "# Norvo npxx printer defaults\nPaper=one\nDuplex=two\n");
  Check(ReadAll(app + "lpconf").find(":if=/usr/Norvo/npxx/NorvoPrintnpxx:") != std::string::npos,
        "lpconf not edited by sed");
  CheckMode(app + "README", 0644);
  CheckMode(app + "npqadmin.conf", 0644);
  CheckMode("/var/spool/Norvo", 0775);
  CheckMode("/var/spool/Norvo/npxx/__npa_download__", 0777);
}

// The clean-up: work area gone, npqadmin run with -upgrade and -clean.
void CheckCleanUp(const std::string &appDir)
{
  Check(!Exists("/tmp/NorvoInstall"), "the work area is left over");
  CheckFile("/tmp/calls/npqadmin.calls", "npqadmin uid=0 cwd=/ printer= args=-upgrade\n"
                                         "npqadmin uid=0 cwd=/ printer= args=-clean\n");
  Check(Exists(appDir + "/npqadmin.calls"), "npqadmin did not run from " + appDir);
}

// Every command of a fresh installation at appDir, in order.
std::vector<std::string> FreshLog(const std::string &appDir)
{
  std::string a = appDir;
  return {"initializing system\n",
          "/cp -p /tmp/dist/disks /tmp/NorvoInstall\n",
          "/uncompress",
          "Linuxi386Npxx.tar.Z\n",
          "/tar xvfp",
          "Linuxi386Npxx.tar\n",
          "/mkdir -p " + a + "\n",
          "/mkdir -p /var/spool/Norvo\n",
          "/cp -pr /tmp/NorvoInstall/pkg/lib " + a + "\n",
          "/cp -pr /tmp/NorvoInstall/pkg/help " + a + "\n",
          "/chmod  755 " + a + "/help\n",
          "/cp -pr /tmp/NorvoInstall/pkg/ppd /usr/share/NorvoPPD\n",
          "/chmod  777 " + a + "/log\n",
          "/chown  -R root " + a + "/spool\n",
          "/chgrp  -R lp " + a + "/spool\n",
          "/touch  " + a + "/log/npxx.log\n",
          "/cp -p /tmp/NorvoInstall/pkg/npadmin " + a + "\n",
          "/chown  -R root " + a + "/npadmin\n",
          "/chmod  4755 " + a + "/npadmin\n",
          "/cp -p /tmp/NorvoInstall/pkg/npstat.sh " + a + "\n",
          "/mv -f " + a + "/npstat.sh " + a + "/npstat\n",
          "/cp -p /tmp/NorvoInstall/pkg/npqadmin.conf " + a + "\n",
          "/chown  -R root " + a + "/npqadmin.conf\n",
          "/cp -p /tmp/NorvoInstall/pkg/config " + a + "\n",
          "/chmod  4755 " + a + "/nprnpxxtty\n",
          "/chmod  4755 " + a + "/nsf\n",
          "/rm -rf  /tmp/NorvoInstall\n"};
}

// The installed scripts at work: the BSD filter and the send-file script
// for queue lp0, with nsf failing twice; the nprint wrapper.
void RunInstalledScripts(const std::string &appDir)
{
  MakeDirs("/var/spool/lpd/lp0");
  MakeDirs("/var/spool/Norvo/npxx/lp0");
  std::vector<std::string> env = {"NORVO_CALLS_DIR=/tmp/calls", "NSF_FAILS=2"};
  ChildResult r = RunIn("/var/spool/lpd/lp0", {appDir + "/NorvoPrintnpxx"}, env, "job\n");
  Check(r.status == 0, "the interface script failed");
  CheckFile("/tmp/calls/nprnpxxtty.calls",
            "nprnpxxtty uid=0 cwd=/var/spool/lpd/lp0 printer= args=-dlp0 -f\n");
  r = RunIn("/var/spool/lpd/lp0", {appDir + "/NorvoNSF"}, env, "job\n");
  Check(r.status == 0, "the send-file script failed");
  std::vector<std::string> calls = Lines(ReadAll("/tmp/calls/nsf.calls"));
  Check(calls.size() == 3, "nsf was not called three times");
  for (const std::string &call : calls)
    Check(
        call.rfind("nsf uid=0 cwd=/var/spool/lpd/lp0 printer= args=/var/spool/Norvo/npxx/lp0/lp0.",
                   0) == 0,
        "nsf call: " + call);
  Check(std::string(ReadAll("/tmp/calls/nsf.count")) == "3\n", "nsf count");
  r = RunIn("/", {"/usr/bin/nprint", "-p", "lp0"}, env);
  CheckFile("/tmp/calls/nprint.calls", "nprint uid=0 cwd=" + appDir + " printer= args=-p lp0\n");
}

// ---- Scenarios ------------------------------------------------------------------

int FreshDefault()
{
  MakeDist();
  Check(!Exists("/usr/Norvo"), "before: /usr/Norvo exists");

  Setup({});

  CheckMode("/usr/Norvo/npxx", 0755);
  Check(!IsLink("/usr/Norvo/npxx"), "/usr/Norvo/npxx is a link");
  CheckScripts("/usr/Norvo/npxx", " BSD ");
  CheckPackage("/usr/Norvo/npxx");
  CheckCleanUp("/usr/Norvo/npxx");
  CheckLogOrder(FreshLog("/usr/Norvo/npxx"));
  RunInstalledScripts("/usr/Norvo/npxx");
  return failures;
}

int FreshOpt()
{
  MakeDist();
  Check(!Exists("/opt/Norvo") && !Exists("/usr/Norvo"), "before: an installation exists");

  Setup({"install", "/opt/"});

  CheckMode("/opt/Norvo", 0755);
  CheckMode("/opt/Norvo/npxx", 0775);
  CheckMode("/usr/Norvo", 0775);
  Check(LinkTarget("/usr/Norvo/npxx") == "/opt/Norvo/npxx", "no well-known link to /opt");
  CheckScripts("/opt/Norvo/npxx", " BSD ");
  CheckPackage("/opt/Norvo/npxx");
  CheckCleanUp("/opt/Norvo/npxx");
  std::vector<std::string> log = FreshLog("/opt/Norvo/npxx");
  log.insert(log.begin() + 7, "/ln  -s /opt/Norvo/npxx /usr/Norvo/npxx\n");
  CheckLogOrder(log);
  RunInstalledScripts("/opt/Norvo/npxx");
  return failures;
}

// A second run over an installation in a real directory: the package list
// runs again (links replaced), then .np_cfg and both scripts are rewritten;
// what the administrator added stays.
int UpgradeDirectory()
{
  MakeDist();
  Setup({});
  WriteFile("/usr/Norvo/npxx/.np_cfg", " LPRng ", 0600);
  WriteFile("/usr/Norvo/npxx/NorvoPrintnpxx", "old\n", 0700);
  WriteFile("/usr/Norvo/npxx/NorvoNSF", "old\n", 0700);
  WriteFile("/usr/Norvo/npxx/printers.conf", "lp0\n");
  TempDir::Run("rm -rf /tmp/calls");

  Setup({});

  Check(IsDir("/usr/Norvo/npxx") && !IsLink("/usr/Norvo/npxx"), "the installation moved");
  CheckScripts("/usr/Norvo/npxx", " BSD ");
  CheckPackage("/usr/Norvo/npxx");
  CheckFile("/usr/Norvo/npxx/printers.conf", "lp0\n");
  CheckCleanUp("/usr/Norvo/npxx");
  // The package list comes first on an upgrade; no directories are made.
  CheckLogOrder({"initializing system\n", "/tar xvfp", "/cp -pr /tmp/NorvoInstall/pkg/lib",
                 "/rm -f /usr/bin/newtool\n", "/ln  -s /usr/Norvo/npxx/newtool /usr/bin/newtool\n",
                 "/chmod  4755 /usr/Norvo/npxx/nsf\n"});
  Check(ReadAll("/tmp/setup.log").find("/mkdir -p /usr/Norvo/npxx\n") == std::string::npos,
        "the upgrade created the application directory");
  return failures;
}

// A second run over an installation found through the well-known link.
int UpgradeLink()
{
  MakeDist();
  Setup({"install", "/opt"});
  WriteFile("/opt/Norvo/npxx/.np_cfg", "", 0644);
  TempDir::Run("rm -rf /tmp/calls");

  Setup({});

  Check(LinkTarget("/usr/Norvo/npxx") == "/opt/Norvo/npxx", "the well-known link changed");
  CheckScripts("/opt/Norvo/npxx", " BSD ");
  CheckPackage("/opt/Norvo/npxx");
  CheckCleanUp("/opt/Norvo/npxx");
  return failures;
}

// A host with Debian's LPRng: its lpd, unpacked into the sandbox, answers
// -V; printconf's util directory receives the interface script.
int LprngHost()
{
  std::string cache = mediatest::BinaryDir() + "/e2e-cache";
  MakeDirs(cache);
  ChildResult found = RunIn(cache, {"/bin/sh", "-c", "ls lprng_*.deb"});
  if (found.status != 0) {
    ChildResult r = RunIn(cache, {"/usr/bin/apt-get", "-q", "download", "lprng"});
    if (r.status != 0) {
      RunIn("/", {"/usr/bin/apt-get", "-q", "update"});
      r = RunIn(cache, {"/usr/bin/apt-get", "-q", "download", "lprng"});
    }
    if (r.status != 0) {
      fprintf(stderr, "apt-get download lprng failed: %s\n", r.err.c_str());
      return kSkip;
    }
    found = RunIn(cache, {"/bin/sh", "-c", "ls lprng_*.deb"});
  }
  std::string deb = cache + "/" + Lines(found.out).at(0);
  Check(RunIn("/", {"/usr/bin/dpkg", "-x", deb, "/"}).status == 0, "dpkg -x failed");
  Check(RunIn("/", {"/bin/sh", "-c", "/usr/sbin/lpd -V 2>&1"}).out.find("LPRng") !=
            std::string::npos,
        "the unpacked lpd does not answer LPRng");
  MakeDirs("/usr/share/printconf/util");
  MakeDist();

  Setup({"install", "/opt"});

  CheckScripts("/opt/Norvo/npxx", " LPRng ");
  Check(LinkTarget("/usr/share/printconf/util/NorvoPrintnpxx") == "/opt/Norvo/npxx/NorvoPrintnpxx",
        "no printconf link");
  CheckLogOrder(
      {"initializing system\n",
       "/ln  -s /opt/Norvo/npxx/NorvoPrintnpxx /usr/share/printconf/util/NorvoPrintnpxx\n"});

  // The LPRng filter branch at work.
  std::vector<std::string> env = {"NORVO_CALLS_DIR=/tmp/calls"};
  MakeDirs("/var/spool/lpd/lp1");
  ChildResult r = RunIn("/var/spool/lpd/lp1",
                        {"/opt/Norvo/npxx/NorvoPrintnpxx", "-Plp1", "-d/var/spool/lpd/lp1",
                         "-edfA1", "-Zduplex", "-nroot", "-hlocalhost"},
                        env);
  Check(r.status == 0, "the LPRng filter failed");
  CheckFile(
      "/tmp/calls/nprnpxxtty.calls",
      "nprnpxxtty uid=0 cwd=/opt/Norvo/npxx printer= args=-dlp1 -f -oduplex /var/spool/lpd/lp1/dfA1\n");
  return failures;
}

// A host where the CUPS scheduler runs (a process named cupsd).
int CupsHost()
{
  TempDir dir;
  mediatest::WatchedProcess cupsd(dir, "cupsd", 120);
  MakeDist();

  Setup({});

  CheckScripts("/usr/Norvo/npxx", " CUPS ");
  ChildResult r = RunIn(
      "/", {"/usr/Norvo/npxx/NorvoPrintnpxx", "12", "root", "title", "1", "", "/etc/hostname"},
      {"NORVO_CALLS_DIR=/tmp/calls", "PRINTER=cq"});
  Check(r.status == 0, "the CUPS branch failed");
  CheckFile("/tmp/calls/nprnpxxtty.calls",
            "nprnpxxtty uid=0 cwd=/usr/Norvo/npxx printer=cq args=-dcq -i /etc/hostname\n");
  return failures;
}

MEDIA_SCENARIOS({{"e2e_fresh_default", FreshDefault},
                 {"e2e_fresh_opt", FreshOpt},
                 {"e2e_upgrade_dir", UpgradeDirectory},
                 {"e2e_upgrade_link", UpgradeLink},
                 {"e2e_lprng", LprngHost},
                 {"e2e_cups", CupsHost}});

void RunScenario(const std::string &name)
{
  ChildResult r = mediatest::RunScenarioInSandbox({}, name, nullptr);
  if (r.status == kSkip)
    GTEST_SKIP() << "SKIPPED: " << r.err;
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("Running main()"), std::string::npos) << "no scenario " << name;
}

}  // namespace

TEST(EndToEnd, FreshInstallationToTheDefaultBase)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("e2e_fresh_default");
}

TEST(EndToEnd, FreshInstallationToOpt)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("e2e_fresh_opt");
}

TEST(EndToEnd, UpgradeOverARealDirectoryRewritesScriptsAndNpCfg)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("e2e_upgrade_dir");
}

TEST(EndToEnd, UpgradeThroughTheWellKnownLink)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("e2e_upgrade_link");
}

TEST(EndToEnd, LprngHostWithDebiansLpd)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("e2e_lprng");
}

TEST(EndToEnd, CupsHost)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("e2e_cups");
}
