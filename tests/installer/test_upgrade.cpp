// The package-map upgrade, run for real inside the sandbox with the
// project's stand-in installf as /usr/sbin/installf: a registered package,
// an image with file, directory and short map lines, and the host after:
// registration records, copied files and the pkginfo version.
#include <gtest/gtest.h>

#include "installer/setup.h"
#include "test_pkglist_util.h"

using namespace pkgtest;

namespace {

const std::string PkgDb = "/var/sadm/pkg/HLCRnpxx";
const std::string Image = "/tmp/image";
const std::string OldPkgInfo = "PKG=HLCRnpxx\nNAME=Norvo print\nVERSION=3.01.00,REV=1\nARCH=i386\n";

int failures = 0;
void Check(bool ok, const std::string &what)
{
  if (!ok) {
    fprintf(stderr, "FAILED: %s\n", what.c_str());
    failures++;
  }
}

// A registered package, an installation at /opt with the old files, and
// the new ones in the work area's image with the map `map`.
void Prepare(const std::string &map, bool registered = true)
{
  SetInstallerState("/opt/Norvo/npxx", "/tmp/work", "/opt", "upgradetest");
  if (registered) {
    MakeDirs(PkgDb);
    WriteFile(PkgDb + "/pkginfo", OldPkgInfo);
  }
  MakeDirs(Image + "/HLCRnpxx");
  WriteFile(Image + "/HLCRnpxx/pkgmap", map);
  for (std::string dir : {"/tmp/work/HLCRnpxx/reloc/bin", "/tmp/work/HLCRnpxx/reloc/etc",
                          "/tmp/work/HLCRnpxx/root/usr/lib", "/opt/Norvo/bin", "/opt/Norvo/etc"})
    MakeDirs(dir);
  WriteFile("/tmp/work/HLCRnpxx/reloc/bin/tool", "tool 3.02\n", 0755);
  WriteFile("/tmp/work/HLCRnpxx/reloc/etc/np.conf", "conf 3.02\n");
  WriteFile("/tmp/work/HLCRnpxx/root/usr/lib/libnpxx.so", "lib 3.02\n");
  WriteFile("/opt/Norvo/bin/tool", "tool 3.01\n", 0755);
  WriteFile("/opt/Norvo/etc/np.conf", "conf 3.01\n");
}

int UpgradeFromMap()
{
  Prepare(": 1 4096\n"
          "1 d none bin 0755 root sys\n"
          "1 f none bin/tool 0755 root sys 1234 5678 901234567\n"
          "1 f conf etc/np.conf 0644 root other 10 20 30\n"
          "1 f none /usr/lib/libnpxx.so 0555 bin bin 1 2 3\n"
          "1 i pkginfo 300 1234 5678\n"
          "1 f none short 0644 root\n");
  Check(upgradeSolarisPackage("HLCRnpxx", Image.c_str()) == 1, "the upgrade did not answer 1");
  std::string records = ReadAll(PkgDb + "/installf.files");
  Check(records == "none /opt/Norvo/bin/tool f 0755 root sys\n"
                   "conf /opt/Norvo/etc/np.conf f 0644 root other\n"
                   "none /usr/lib/libnpxx.so f 0555 bin bin\n",
        "registered:\n" + records);
  Check(ReadAll(PkgDb + "/installf.complete") == "3\n", "the registration was not completed");
  Check(ReadAll("/opt/Norvo/bin/tool") == "tool 3.02\n", "bin/tool was not copied");
  Check(ReadAll("/opt/Norvo/etc/np.conf") == "conf 3.02\n", "etc/np.conf was not copied");
  Check(ReadAll("/usr/lib/libnpxx.so") == "lib 3.02\n", "the absolute path was not copied");
  Check(!Exists("/opt/Norvo/short"), "the short line was carried out");
  std::string info = ReadAll(PkgDb + "/pkginfo");
  Check(info == "PKG=HLCRnpxx\nNAME=Norvo print\nVERSION=3.02.05\nARCH=i386\n",
        "pkginfo:\n" + info);
  Check(!Exists(PkgDb + "/pkginfo.tmp"), "pkginfo.tmp was left");
  return failures;
}

// Refused words, long lines, a failed copy: reported, the rest still done,
// the version not raised. The tail of a continued line too long for the
// line buffer reads like a map line of its own, and must not be taken for
// one.
int FailuresKeepTheVersion()
{
  Prepare("1 f none bin/tool 0755 root sys 1 2 3\n"
          "1 f none bin/gone/x 0755 root sys 1 2 3\n"
          "1 f none bin/evil 0755 root;touch${IFS}/tmp/pwned sys 1 2 3\n"
          "1 f none bin/`touch${IFS}/tmp/pwned` 0755 root sys 1 2 3\n"
          "1 f none bin/" +
          std::string(600, 'a') + " 0644 root sys 1 2 3\n" +
          "1 f none bin/cut 0644 root sys 1 2 3 \\\n" + std::string(4200, 'x') +
          " f none bin/tail 0644 root sys 1 2 3\n");
  Check(upgradeSolarisPackage("HLCRnpxx", Image.c_str()) == 0, "the failures were not reported");
  Check(!Exists("/tmp/pwned"), "a map word ran as a command");
  Check(ReadAll(PkgDb + "/pkginfo") == OldPkgInfo, "pkginfo changed");
  Check(ReadAll("/opt/Norvo/bin/tool") == "tool 3.02\n", "the good line was not carried out");
  std::string records = ReadAll(PkgDb + "/installf.files");
  Check(records == "none /opt/Norvo/bin/tool f 0755 root sys\n"
                   "none /opt/Norvo/bin/gone/x f 0755 root sys\n",
        "registered:\n" + records);
  return failures;
}

// A package that is not registered fails its registration and gets no
// files; a pkginfo that sed cannot read is not replaced by an empty one.
int RegistrationAndEditFailures()
{
  Prepare("1 f none bin/tool 0755 root sys 1 2 3\n", false);
  Check(upgradeSolarisPackage("HLCR;npxx", Image.c_str()) == 0, "an unsafe package name passed");
  Check(upgradeSolarisPackage("HLCRnpxx", Image.c_str()) == 0, "a failed registration passed");
  Check(ReadAll("/opt/Norvo/bin/tool") == "tool 3.01\n", "an unregistered file was copied");
  Check(!Exists(PkgDb), "the package directory appeared");

  MakeDirs(PkgDb);  // registered, but its pkginfo is missing
  Check(upgradeSolarisPackage("HLCRnpxx", Image.c_str()) == 0, "a failed sed passed");
  Check(!Exists(PkgDb + "/pkginfo"), "an empty pkginfo was put in place");
  Check(!Exists(PkgDb + "/pkginfo.tmp"), "pkginfo.tmp was left");
  return failures;
}

MEDIA_SCENARIOS({{"upgrade_map", UpgradeFromMap},
                 {"upgrade_failures", FailuresKeepTheVersion},
                 {"upgrade_edit_failures", RegistrationAndEditFailures}});

// Runs a scenario of a copy of this program inside the sandbox: neither the
// build folder nor the checkout needs to be visible in there.
ChildResult RunUpgradeScenario(const std::string &name)
{
  const std::string copy = "/tmp/norvo-upgrade-test";
  return mediatest::RunProgram({"/bin/bash", mediatest::SourceDir() + "/scripts/sandbox.sh",
                                "--copy", mediatest::SelfPath() + ":" + copy, "--copy",
                                mediatest::SourceDir() + "/scripts/installf:/usr/sbin/installf",
                                "--chdir", "/", "--", "/usr/bin/env", "NORVO_TEST_SCENARIO=" + name,
                                "LANG=C", copy},
                               nullptr);
}

}  // namespace

TEST(PackageMapUpgrade, RegistersCopiesAndRaisesTheVersion)
{
  SKIP_WITHOUT_SANDBOX();
  ChildResult r = RunUpgradeScenario("upgrade_map");
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_EQ(r.out, "....");  // one dot per plain file, one for the edit
}

TEST(PackageMapUpgrade, FailuresAreReportedAndKeepTheVersion)
{
  SKIP_WITHOUT_SANDBOX();
  ChildResult r = RunUpgradeScenario("upgrade_failures");
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  for (const char *report :
       {"refusing the owner \"root;touch${IFS}/tmp/pwned\"", "refusing the path",
        "line 5: the line is too long", "line 6: the line is too long",
        "cp /tmp/work/HLCRnpxx/reloc/bin/gone/x /opt/Norvo/bin/gone/x",
        "the upgrade of HLCRnpxx is incomplete"})
    EXPECT_NE(r.err.find(report), std::string::npos) << report << "\n" << r.err;
}

TEST(PackageMapUpgrade, FailedRegistrationOrEditRaisesNothing)
{
  SKIP_WITHOUT_SANDBOX();
  ChildResult r = RunUpgradeScenario("upgrade_edit_failures");
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_NE(r.err.find("is not registered"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("refusing the package name \"HLCR;npxx\""), std::string::npos) << r.err;
}
