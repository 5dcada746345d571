// Steps that write system paths, each run inside the project's sandbox: the
// printing-subsystem file for BSD lpd, LPRng and CUPS hosts, the installation
// tree with the well-known link, the printconf link and the /usr/bin wrappers
// of the package list.
#include <gtest/gtest.h>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"
#include "test_pkglist_util.h"

using namespace pkgtest;

namespace {

// Failures found inside the sandbox, reported on stderr; the scenario's exit
// status is their number.
int failures = 0;
void Check(bool ok, const std::string &what)
{
  if (!ok) {
    fprintf(stderr, "FAILED: %s\n", what.c_str());
    failures++;
  }
}

// An lpd that answers -V as LPRng does.
void FakeLprngLpd()
{
  WriteFile("/usr/sbin/lpd",
            "#!/bin/sh\necho \"lpd: LPRng-3.8.C, Copyright 1988-2003 Patrick Powell\"\n", 0755);
}

std::string NpCfgOfThisHost()
{
  SetInstallerState("/opt/Norvo/npxx", "/tmp/none", "/opt");
  MakeDirs(pAppDir);
  Check(createPrintingSubsystemFile(pAppDir), "createPrintingSubsystemFile answered false");
  Check(ModeOf("/opt/Norvo/npxx/.np_cfg") == 0644, ".np_cfg is not mode 644");
  return ReadAll("/opt/Norvo/npxx/.np_cfg");
}

int NpCfgBsd()
{
  std::string cfg = NpCfgOfThisHost();
  Check(cfg == " BSD ", "a host without LPRng and CUPS got '" + cfg + "'");
  return failures;
}

int NpCfgLprng()
{
  FakeLprngLpd();
  std::string cfg = NpCfgOfThisHost();
  Check(cfg == " LPRng ", "an LPRng host got '" + cfg + "'");
  return failures;
}

int NpCfgCups()
{
  TempDir dir;
  mediatest::WatchedProcess cupsd(dir, "cupsd", 60);
  std::string cfg = NpCfgOfThisHost();
  Check(cfg == " CUPS ", "a CUPS host got '" + cfg + "'");
  return failures;
}

int NpCfgLprngAndCups()
{
  FakeLprngLpd();
  TempDir dir;
  mediatest::WatchedProcess cupsd(dir, "cupsd", 60);
  // An earlier file is replaced as a whole.
  MakeDirs("/opt/Norvo/npxx");
  WriteFile("/opt/Norvo/npxx/.np_cfg", " LPRng and more text ", 0600);
  std::string cfg = NpCfgOfThisHost();
  Check(cfg == " CUPS ", "a host with LPRng and CUPS got '" + cfg + "'");
  return failures;
}

int TreeUnderUsr()
{
  SetInstallerState("/usr/Norvo/npxx", "/tmp/none", "/usr");
  createInstallationDirectories("/usr");
  Check(IsDir("/usr/Norvo/npxx"), "/usr/Norvo/npxx is no directory");
  Check(ModeOf("/usr/Norvo/npxx") == 0755, "/usr/Norvo/npxx is not mode 755");
  return failures;
}

int TreeUnderOpt()
{
  SetInstallerState("/opt/Norvo/npxx", "/tmp/none", "/opt");
  createInstallationDirectories("/opt");
  Check(IsDir("/opt/Norvo/npxx"), "/opt/Norvo/npxx is no directory");
  Check(ModeOf("/opt/Norvo/npxx") == 0775, "/opt/Norvo/npxx is not mode 775");
  Check(ModeOf("/usr/Norvo") == 0775, "/usr/Norvo is not mode 775");
  Check(LinkTarget("/usr/Norvo/npxx") == "/opt/Norvo/npxx", "/usr/Norvo/npxx is not the link");
  return failures;
}

int TreeOverADanglingLink()
{
  MakeDirs("/usr/Norvo");
  symlink("/gone/Norvo/npxx", "/usr/Norvo/npxx");
  SetInstallerState("/srv2/Norvo/npxx", "/tmp/none", "/srv2");
  createInstallationDirectories("/srv2");
  Check(LinkTarget("/usr/Norvo/npxx") == "/srv2/Norvo/npxx", "the dangling link was not replaced");
  Check(IsDir("/srv2/Norvo/npxx"), "/srv2/Norvo/npxx is no directory");
  return failures;
}

int PrintconfLink()
{
  FakeLprngLpd();
  MakeDirs("/usr/share/printconf/util");
  SetInstallerState("/opt/Norvo/npxx", "/tmp/none", "/opt");
  MakeDirs(pAppDir);
  createQueueScripts("/var/spool/Norvo");
  Check(LinkTarget("/usr/share/printconf/util/NorvoPrintnpxx") == "/opt/Norvo/npxx/NorvoPrintnpxx",
        "no printconf link");
  Check(Exists("/opt/Norvo/npxx/NorvoNSF"), "no send-file script");
  Check(ReadAll("/opt/Norvo/npxx/NorvoNSF").find("SpoolDir=\"/var/spool/Norvo/npxx\"\n") !=
            std::string::npos,
        "the send-file script has the wrong job spool directory");

  // An entry already there is left as it is.
  unlink("/usr/share/printconf/util/NorvoPrintnpxx");
  WriteFile("/usr/share/printconf/util/NorvoPrintnpxx", "local filter\n");
  createQueueScripts("/var/spool/Norvo");
  Check(ReadAll("/usr/share/printconf/util/NorvoPrintnpxx") == "local filter\n",
        "an existing printconf entry was replaced");
  return failures;
}

int NoPrintconfLinkWithoutLprng()
{
  MakeDirs("/usr/share/printconf/util");
  SetInstallerState("/opt/Norvo/npxx", "/tmp/none", "/opt");
  MakeDirs(pAppDir);
  createQueueScripts("/var/spool/Norvo");
  Check(!Exists("/usr/share/printconf/util/NorvoPrintnpxx"), "a printconf link without LPRng");
  Check(Exists("/opt/Norvo/npxx/NorvoPrintnpxx"), "no interface script");
  return failures;
}

// The package list's bat attribute puts a wrapper into /usr/bin.
int BatWrapper()
{
  MakeDirs("/tmp/w/pkg");
  MakeDirs("/opt/Norvo/npxx");
  WriteFile("/tmp/w/pkg/nptool",
            "#!/bin/sh\necho \"nptool in $(pwd) from $NPrintFileSourceDir: $*\"\n", 0755);
  WriteFile("/tmp/w/pkg/pkg.list", "c nptool bat npstart\n");
  SetInstallerState("/opt/Norvo/npxx", "/tmp/w", "/opt");
  InitSysCmdList();
  Check(ProcessPkgList("pkg") == 0, "ProcessPkgList did not answer 0");
  Check(ModeOf("/usr/bin/npstart") == 0755, "/usr/bin/npstart is not mode 755");
  ChildResult r = RunIn("/var", {"/usr/bin/npstart", "a", "b"});
  Check(r.out == "nptool in /opt/Norvo/npxx from /var: a b\n",
        "the wrapper printed '" + r.out + "'");

  // An upgrade whose earlier version linked /usr/bin/npstart to the program:
  // the link gives way to the wrapper, the program stays as it is.
  unlink("/usr/bin/npstart");
  Check(symlink("/opt/Norvo/npxx/nptool", "/usr/bin/npstart") == 0, "cannot plant the link");
  Check(ProcessPkgList("pkg") == 0, "ProcessPkgList did not answer 0 on the upgrade");
  Check(!IsLink("/usr/bin/npstart"), "/usr/bin/npstart is still a link");
  if (ReadAll("/opt/Norvo/npxx/nptool") != ReadAll("/tmp/w/pkg/nptool")) {
    Check(false, "the program was overwritten by its own wrapper");
    return failures;  // running it now would exec itself for ever
  }
  r = RunIn("/var", {"/usr/bin/npstart", "c"});
  Check(r.out == "nptool in /opt/Norvo/npxx from /var: c\n",
        "the new wrapper printed '" + r.out + "'");
  return failures;
}

// The sed attribute's temporary file, with a link planted at its name right
// after setup removed whatever lay there (an rm that plants it as it ends):
// the edit ends the run, and nothing is written through the link.
int SedTemporaryFileRace()
{
  MakeDirs("/tmp/w/pkg");
  MakeDirs("/opt/Norvo/npxx");
  WriteFile("/tmp/w/pkg/conf", "TOOLDIR\n");
  WriteFile("/tmp/w/pkg/pkg.list", "c conf sed s/TOOLDIR/edited/\nt never\n");
  WriteFile("/tmp/victim", "keep\n", 0644);
  if (std::system("mv /usr/bin/rm /usr/bin/rm.real") != 0)
    return 99;
  WriteFile("/usr/bin/rm",
            "#!/bin/sh\n/usr/bin/rm.real \"$@\"; rc=$?\n"
            "case \" $* \" in *' /tmp/racer.tmp '*) ln -s /tmp/victim /tmp/racer.tmp;; esac\n"
            "exit $rc\n",
            0755);
  ChildResult r = RunChild(
      [] {
        SetInstallerState("/opt/Norvo/npxx", "/tmp/w", "/opt", "racer");
        InitSysCmdList();
        return 10 + ProcessPkgList("pkg");
      },
      nullptr);
  Check(r.status == 1, "the run went on past the planted link: status " + std::to_string(r.status) +
                           "\n" + r.out + r.err);
  Check(r.err.find("cannot create the temporary file /tmp/racer.tmp") != std::string::npos,
        "no word of the temporary file: " + r.err);
  Check(ReadAll("/tmp/victim") == "keep\n", "written through the link: " + ReadAll("/tmp/victim"));
  Check(ReadAll("/opt/Norvo/npxx/conf") == "TOOLDIR\n", "the object changed");
  Check(!Exists("/opt/Norvo/npxx/never"), "the list went on");
  return failures;
}

MEDIA_SCENARIOS({{"npcfg_bsd", NpCfgBsd},
                 {"npcfg_lprng", NpCfgLprng},
                 {"npcfg_cups", NpCfgCups},
                 {"npcfg_lprng_cups", NpCfgLprngAndCups},
                 {"tree_usr", TreeUnderUsr},
                 {"tree_opt", TreeUnderOpt},
                 {"tree_dangling", TreeOverADanglingLink},
                 {"printconf", PrintconfLink},
                 {"printconf_none", NoPrintconfLinkWithoutLprng},
                 {"bat_wrapper", BatWrapper},
                 {"sed_tmp_race", SedTemporaryFileRace}});

void RunScenario(const std::string &name)
{
  ChildResult r = mediatest::RunScenarioInSandbox({}, name, nullptr);
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_EQ(r.out.find("Running main()"), std::string::npos) << "no scenario " << name;
}

}  // namespace

TEST(SandboxedSteps, PrintingSubsystemFileNamesBsdByDefault)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("npcfg_bsd");
}

TEST(SandboxedSteps, PrintingSubsystemFileNamesLprng)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("npcfg_lprng");
}

TEST(SandboxedSteps, PrintingSubsystemFileNamesCups)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("npcfg_cups");
}

TEST(SandboxedSteps, CupsWinsOverLprng)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("npcfg_lprng_cups");
}

TEST(SandboxedSteps, InstallationTreeUnderUsr)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("tree_usr");
}

TEST(SandboxedSteps, InstallationTreeElsewhereGetsTheWellKnownLink)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("tree_opt");
}

TEST(SandboxedSteps, DanglingWellKnownLinkIsReplaced)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("tree_dangling");
}

TEST(SandboxedSteps, PrintconfLinkForLprngUnlessAnEntryIsThere)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("printconf");
}

TEST(SandboxedSteps, NoPrintconfLinkWithoutLprng)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("printconf_none");
}

TEST(SandboxedSteps, BatAttributeWritesAUsrBinWrapper)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("bat_wrapper");
}

TEST(SandboxedSteps, SedTemporaryFileIsNeverWrittenThroughAPlantedLink)
{
  SKIP_WITHOUT_SANDBOX();
  RunScenario("sed_tmp_race");
}
