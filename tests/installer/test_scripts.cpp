// The generated scripts and the printing-subsystem file: byte-exact texts,
// the banner, modes, and the scripts at work with recording stand-ins for
// nprnpxxtty, nsf and AixInterface in every printing-subsystem branch.
#include <gtest/gtest.h>

#include "common/ScriptBanner.h"
#include "installer/setup.h"
#include "test_pkglist_util.h"

using namespace pkgtest;

namespace {

std::string Expected(const std::string &golden,
                     const std::vector<std::pair<std::string, std::string>> &values)
{
  return "#!/bin/sh\n" + ScriptBanner(ThisYear()) + Replace(Golden(golden), values);
}

// An application directory with the interface and send-file scripts and
// recording stand-ins of the suite's programs.
struct ScriptHost {
  TempDir tmp;
  std::string app = tmp / "app", jobs = tmp / "jobs";
  ScriptHost()
  {
    MakeDirs(app);
    MakeDirs(jobs);
    SetInstallerState(app);
    createQueueScripts(tmp.path().c_str());  // job spool directory <tmp>/npxx
  }
  void Subsystem(const std::string &cfg) { WriteFile(app + "/.np_cfg", cfg); }
  std::string Calls() { return ReadAll(app + "/calls"); }
};

}  // namespace

TEST(GeneratedScripts, BannerIsFiveLinesOf63ColumnsWithTheYearAndAnEmptyLine)
{
  TempDir tmp;
  SetInstallerState(tmp.path());
  std::string path = tmp / "wrapper";
  GenSimpleScript(path.c_str(), ScriptShShell, SimpleScript, "/a", "/b", "tool");
  std::vector<std::string> lines = Lines(ReadAll(path));
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[0], "#!/bin/sh");
  for (int i = 1; i <= 5; i++)
    EXPECT_EQ(lines[i].size(), 63u) << lines[i];
  EXPECT_EQ(lines[1], std::string(63, '#'));
  EXPECT_EQ(lines[5], std::string(63, '#'));
  EXPECT_EQ(lines[2], "##" + std::string(59, ' ') + "##");
  EXPECT_EQ(lines[4], lines[2]);
  EXPECT_EQ(lines[3].substr(0, 4), "##  ");
  EXPECT_EQ(lines[3].substr(59), "  ##");
  EXPECT_NE(lines[3].find(std::to_string(ThisYear())), std::string::npos);
  EXPECT_EQ(lines[6], "");
}

TEST(GeneratedScripts, BannerOfTheYear2001Is63ColumnsWide)
{
  char line[512];
  snprintf(line, sizeof line, ScriptCopyRight, 2001);
  EXPECT_EQ(std::string(line), ScriptBanner(2001));
}

TEST(GeneratedScripts, InterfaceAndSendFileScriptsAreByteExactAndExecutable)
{
  ScriptHost host;
  std::string interface = host.app + "/NorvoPrintnpxx", send = host.app + "/NorvoNSF";
  EXPECT_EQ(ReadAll(interface), Expected("NorvoPrintnpxx.body", {{"@APPDIR@", host.app}}));
  EXPECT_EQ(ReadAll(send),
            Expected("NorvoNSF.body", {{"@APPDIR@", host.app}, {"@JOBSPOOL@", host.tmp / "npxx"}}));
  EXPECT_EQ(ModeOf(interface), 0755);
  EXPECT_EQ(ModeOf(send), 0755);
  // The BSD branch names its log after the print tool.
  EXPECT_NE(ReadAll(interface).find("\t${ToolPath}/nprnpxxtty -d$NPrintPrinter -f "
                                    ">nprintnpxx.log 2>nprintnpxx.log\n"),
            std::string::npos);
}

TEST(GeneratedScripts, WrapperIsByteExactAndRunsTheToolFromItsDirectory)
{
  ScriptHost host;
  std::string wrapper = host.tmp / "npstat";
  GenSimpleScript(wrapper.c_str(), ScriptShShell, SimpleScript, host.app.c_str(), host.app.c_str(),
                  "nptool");
  EXPECT_EQ(ReadAll(wrapper),
            Expected("wrapper.body", {{"@APPDIR@", host.app}, {"@TOOL@", "nptool"}}));
  EXPECT_EQ(ModeOf(wrapper), 0755);

  WriteRecorder(host.app + "/nptool", false);
  ChildResult r = RunIn(host.jobs, {wrapper, "-x", "file"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(host.Calls(), "call nptool cwd=" + host.app +
                              "\narg=-x\narg=file\n"
                              "NPrintPrinter= NPrintTitle=\nNPrintFileSourceDir=" +
                              host.jobs + "\n");
}

TEST(GeneratedScripts, SecondGenerationReplacesTheOldTextAndMode)
{
  ScriptHost host;
  std::string interface = host.app + "/NorvoPrintnpxx";
  WriteFile(interface, std::string(5000, 'x'), 0600);
  generateNorvoPrintnpxxScript(interface.c_str(), ScriptShShell, NorvoPrintnpxxScript);
  EXPECT_EQ(ReadAll(interface), Expected("NorvoPrintnpxx.body", {{"@APPDIR@", host.app}}));
  EXPECT_EQ(ModeOf(interface), 0755);
}

TEST(GeneratedScripts, UnopenablePathIsReportedAndSkipped)
{
  TempDir tmp;
  SetInstallerState(tmp.path());
  std::string bad = tmp / "missing/dir/script";
  ChildResult r = RunChild(
      [&] {
        bool a = generateNorvoPrintnpxxScript(bad.c_str(), ScriptShShell, NorvoPrintnpxxScript);
        bool b = generateNorvoNSFScript(bad.c_str(), ScriptShShell, NorvoNSFScript, "/x");
        GenSimpleScript(bad.c_str(), ScriptShShell, SimpleScript, "/a", "/b", "c");
        return (a ? 1 : 0) + (b ? 2 : 0);
      },
      nullptr);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "ERROR: can't open file, " + bad + "\n" + "ERROR: can't open file, " + bad +
                       "\n" + "ERROR: can't open file, " + bad + "\n");
  EXPECT_FALSE(Exists(bad));
}

// ---- The interface script at work ------------------------------------------

TEST(InterfaceScript, BsdFilterRunsTheToolForTheQueueOfItsSpoolDirectory)
{
  ScriptHost host;
  host.Subsystem(" BSD ");
  WriteRecorder(host.app + "/nprnpxxtty", true);
  std::string queue = host.tmp / "lpd/lp0";
  MakeDirs(queue);
  ChildResult r = RunIn(queue, {host.app + "/NorvoPrintnpxx", "-w132"}, {}, "the job\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(host.Calls(), "call nprnpxxtty cwd=" + queue +
                              "\narg=-dlp0\narg=-f\n"
                              "NPrintPrinter= NPrintTitle=\nNPrintFileSourceDir=\ninput=the job\n");
  EXPECT_TRUE(Exists(queue + "/nprintnpxx.log"));  // the tool's output went there
  EXPECT_EQ(r.out, "");
}

TEST(InterfaceScript, LprngFilterTurnsTheFilterOptionsIntoToolOptions)
{
  ScriptHost host;
  host.Subsystem(" LPRng ");
  WriteRecorder(host.app + "/nprnpxxtty", false, 3);  // a failing tool: the filter still exits 0
  std::string spool = host.tmp / "lpd/lp1";
  MakeDirs(spool);
  ChildResult r = RunIn(spool, {host.app + "/NorvoPrintnpxx", "-Plp1", "-d" + spool,
                                "-edfA001,dfB001", "-Zduplex,landscape", "-nalice", "-hhost1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(host.Calls(), "call nprnpxxtty cwd=" + host.app +
                              "\narg=-dlp1\narg=-f\narg=-oduplex\narg=-olandscape\narg=" + spool +
                              "/dfA001\narg=" + spool +
                              "/dfB001\n"
                              "NPrintPrinter= NPrintTitle=\nNPrintFileSourceDir=" +
                              spool + "\n");
}

TEST(InterfaceScript, SystemVInterfaceTakesThePrinterFromItsNameAndCutsTheTitle)
{
  ScriptHost host;
  host.Subsystem(" SYSV ");  // no known word: System V
  WriteRecorder(host.app + "/nprnpxxtty", false);
  std::string printer = host.tmp / "printer5";
  ASSERT_EQ(symlink((host.app + "/NorvoPrintnpxx").c_str(), printer.c_str()), 0);
  ChildResult r = RunIn(host.jobs, {printer, "printer5-12", "bob", "Report###7 pages", "2",
                                    "nobanner", "/jobs/f1", "/jobs/f2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(host.Calls(), "call nprnpxxtty cwd=" + host.app +
                              "\narg=-dprinter5\narg=-i\narg=/jobs/f1\narg=/jobs/f2\n"
                              "NPrintPrinter=printer5 NPrintTitle=Report\nNPrintFileSourceDir=\n");
}

TEST(InterfaceScript, CupsBackendTakesThePrinterFromTheEnvironment)
{
  ScriptHost host;
  host.Subsystem(" BSD CUPS ");  // the last known word counts
  WriteRecorder(host.app + "/nprnpxxtty", false);
  ChildResult r = RunIn(
      host.jobs, {host.app + "/NorvoPrintnpxx", "17", "carol", "Memo###x", "1", "", "/jobs/f3"},
      {"PRINTER=cupsq"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(host.Calls(), "call nprnpxxtty cwd=" + host.app +
                              "\narg=-dcupsq\narg=-i\narg=/jobs/f3\n"
                              "NPrintPrinter=cupsq NPrintTitle=Memo###x\nNPrintFileSourceDir=\n");
}

TEST(InterfaceScript, AixBackendHandsEverythingToAixInterface)
{
  ScriptHost host;
  host.Subsystem(" AIX ");
  WriteRecorder(host.app + "/AixInterface", false);
  ChildResult r = RunIn(host.jobs, {host.app + "/NorvoPrintnpxx", "a", "b c"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(host.Calls(), "call AixInterface cwd=" + host.app +
                              "\narg=a\narg=b\narg=c\n"
                              "NPrintPrinter= NPrintTitle=\nNPrintFileSourceDir=\n");
}

// ---- The send-file script at work -----------------------------------------

TEST(SendFileScript, CupsBranchRetriesNsfUntilItSucceeds)
{
  ScriptHost host;
  host.Subsystem(" CUPS ");
  WriteFlakyNsf(host.app + "/nsf", 2);
  ChildResult r = RunIn(host.jobs, {host.app + "/NorvoNSF", "17", "carol", "t", "1", "", "/jobs/f"},
                        {"PRINTER=q"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(host.Calls(), "call 1\narg=/jobs/f\ncall 2\narg=/jobs/f\ncall 3\narg=/jobs/f\n");
}

TEST(SendFileScript, SystemVBranchRetriesNsfWithTheJobFiles)
{
  ScriptHost host;
  host.Subsystem("");
  WriteFlakyNsf(host.app + "/nsf", 1);
  ChildResult r = RunIn(host.jobs, {host.app + "/NorvoNSF", "r-1", "u", "t", "1", "o", "/a", "/b"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(host.Calls(), "call 1\narg=/a\narg=/b\ncall 2\narg=/a\narg=/b\n");
}

TEST(SendFileScript, BsdBranchSendsStandardInputAsAJobFileAndRemovesIt)
{
  ScriptHost host;
  host.Subsystem(" BSD ");
  WriteFlakyNsf(host.app + "/nsf", 2);
  std::string queue = host.tmp / "lpd/lp0";
  MakeDirs(queue);
  MakeDirs(host.tmp / "npxx/lp0");  // <job spool>/<queue>
  ChildResult r = RunIn(queue, {host.app + "/NorvoNSF"}, {}, "page one\n");
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> calls = Lines(host.Calls());
  ASSERT_EQ(calls.size(), 9u) << host.Calls();
  std::string job = calls[1].substr(4);
  EXPECT_EQ(job.rfind(host.tmp / "npxx/lp0/lp0.", 0), 0u) << job;
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(calls[3 * i], "call " + std::to_string(i + 1));
    EXPECT_EQ(calls[3 * i + 1], "arg=" + job);
    EXPECT_EQ(calls[3 * i + 2], "content=page one");
  }
  EXPECT_FALSE(Exists(job));
}

TEST(SendFileScript, LprngBranchKeepsTheStdinJobOnlyWhileSending)
{
  ScriptHost host;
  host.Subsystem(" LPRng ");
  WriteFlakyNsf(host.app + "/nsf", 2);
  std::string queue = host.tmp / "lpd/lp2", spool = host.tmp / "lprspool";
  MakeDirs(queue);
  MakeDirs(spool);
  ChildResult r = RunIn(queue, {host.app + "/NorvoNSF", "-Plp2", "-f", "(stdin)", "-nbob"},
                        {"SPOOL_DIR=" + spool}, "from stdin\n");
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> calls = Lines(host.Calls());
  ASSERT_EQ(calls.size(), 9u) << host.Calls();
  std::string job = calls[1].substr(4);
  EXPECT_EQ(job.rfind(spool + "/lp2.", 0), 0u) << job;
  EXPECT_EQ(calls[2], "content=from stdin");
  EXPECT_EQ(calls[8], "content=from stdin");
  EXPECT_FALSE(Exists(job));

  // Named job files are sent as they are and kept.
  WriteFile(host.tmp / "a", "A");
  WriteFile(host.app + "/count", "0");
  WriteFile(host.app + "/calls", "");
  r = RunIn(queue, {host.app + "/NorvoNSF", "-f", host.tmp / "a", "-Plp2", "-f", "/none/b"});
  EXPECT_EQ(r.status, 0);
  std::string once = "arg=" + host.tmp / "a" + "\ncontent=A\narg=/none/b\n";
  EXPECT_EQ(host.Calls(), "call 1\n" + once + "call 2\n" + once + "call 3\n" + once);
  EXPECT_TRUE(Exists(host.tmp / "a"));
}

TEST(SendFileScript, AixBranchRetriesNsf)
{
  ScriptHost host;
  host.Subsystem(" AIX ");
  WriteFlakyNsf(host.app + "/nsf", 2);
  ChildResult r = RunIn(host.jobs, {host.app + "/NorvoNSF", "x"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(host.Calls(), "call 1\narg=x\ncall 2\narg=x\ncall 3\narg=x\n");
}
