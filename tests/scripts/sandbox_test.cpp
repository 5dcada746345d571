// scripts/sandbox.sh: the host before, a sandboxed command that writes everywhere, the host after.
#include "ScriptTest.h"

#include <unistd.h>

using namespace scripttest;

namespace {

std::string Sandbox(const std::string &options, const std::string &command)
{
  return "bash " + Q(Script("sandbox.sh")) + " " + options + " -- sh -c " + Q(command);
}

// Listing of the trees that a sandboxed run writes into, with sizes, modes, times and link
// targets, plus the checksums of the host files that the run changes or deletes.
std::string HostSnapshot()
{
  Result r = Sh("find /etc /var/spool /opt /usr/bin /usr/sbin /usr/share/common-licenses -xdev "
                "-printf '%p %s %m %T@ %l\\n' 2>/dev/null | LC_ALL=C sort; "
                "sha256sum /etc/debian_version /etc/issue.net "
                "/usr/share/common-licenses/GPL-3 2>&1; ls -d /usr/Norvo /norvo-sbx-top 2>&1",
                true);
  return r.out;
}

// The "Avail" figure of df -k for a path, read inside the sandbox output.
long AvailOf(const std::string &dfOutput, const std::string &mount)
{
  for (const std::string &l : Lines(dfOutput)) {
    std::istringstream in(l);
    std::string fs, mounted;
    long size = 0, used = 0, avail = -1;
    std::string pct;
    if (in >> fs >> size >> used >> avail >> pct >> mounted && mounted == mount)
      return avail;
  }
  return -1;
}

}  // namespace

TEST(Sandbox, HostIsUnchangedAfterARunThatWritesEverywhere)
{
  SKIP_WITHOUT_SANDBOX();
  std::string before = HostSnapshot();
  ASSERT_NE(before.find("/etc/debian_version"), std::string::npos) << before;

  Result r = Sh(Sandbox(
      "", "set -e; mkdir -p /usr/Norvo/npxx /var/spool/Norvo/npxx /opt/Norvo/npxx;"
          "echo x > /usr/Norvo/npxx/npqadmin; echo x > /usr/bin/norvo-sbx-probe;"
          "echo changed >> /etc/debian_version; rm /etc/issue.net; echo y > /etc/norvo-sbx-probe;"
          "echo job > /var/spool/Norvo/npxx/job.1; echo z > /opt/Norvo/npxx/tool;"
          "echo broken > /usr/share/common-licenses/GPL-3; chmod 600 /etc/debian_version;"
          "echo log > /tmp/norvo-sbx-probe.log; mkdir /norvo-sbx-top;"
          "grep -q changed /etc/debian_version; test ! -e /etc/issue.net; echo inside-ok"));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("inside-ok"), std::string::npos) << r.out;

  EXPECT_EQ(HostSnapshot(), before);
  EXPECT_FALSE(std::filesystem::exists("/tmp/norvo-sbx-probe.log"));
  EXPECT_FALSE(std::filesystem::exists("/norvo-sbx-top"));
}

TEST(Sandbox, ExitStatusAndStandardInputPassThrough)
{
  SKIP_WITHOUT_SANDBOX();
  EXPECT_EQ(Sh(Sandbox("", "exit 7")).status, 7);
  EXPECT_EQ(Sh(Sandbox("", "exit 0")).status, 0);
  Result r = Sh("echo through-stdin | " + Sandbox("", "cat"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "through-stdin\n");
}

TEST(Sandbox, RunsAsRootInOwnPidNamespaceWithOwnProc)
{
  SKIP_WITHOUT_SANDBOX();
  std::string hostPid = std::to_string(getpid());
  Result r = Sh(Sandbox("", "id -u; test -e /proc/" + hostPid +
                                " && echo host-pid-visible;"
                                "ps -e --no-headers | wc -l"));
  ASSERT_EQ(r.status, 0) << r.out;
  std::vector<std::string> l = Lines(r.out);
  ASSERT_EQ(l.size(), 2u) << r.out;
  EXPECT_EQ(l[0], "0");
  EXPECT_LT(std::stol(l[1]), 10) << "processes of the host are visible";
}

TEST(Sandbox, TmpfsOptionGivesRealDfFigures)
{
  SKIP_WITHOUT_SANDBOX();
  Result r = Sh(Sandbox("--tmpfs /norvo-scratch:2M --tmpfs /tmp/work:512k",
                        "df -k /norvo-scratch /tmp/work; echo ==;"
                        "dd if=/dev/zero of=/norvo-scratch/fill bs=1024 count=1024 2>/dev/null;"
                        "df -k /norvo-scratch"));
  ASSERT_EQ(r.status, 0) << r.out;
  std::string first = r.out.substr(0, r.out.find("=="));
  std::string after = r.out.substr(r.out.find("=="));
  EXPECT_EQ(AvailOf(first, "/norvo-scratch"), 2048) << r.out;
  EXPECT_EQ(AvailOf(first, "/tmp/work"), 512) << r.out;
  EXPECT_EQ(AvailOf(after, "/norvo-scratch"), 1024) << r.out;
  EXPECT_FALSE(std::filesystem::exists("/norvo-scratch"));
}

TEST(Sandbox, CopiesFilesInAndBindsHostDirectories)
{
  SKIP_WITHOUT_SANDBOX();
  TempDir host;
  std::ofstream(host.dir() / "dist.txt") << "medium\n";
  std::filesystem::create_directories(host.dir() / "tree/sub");
  std::ofstream(host.dir() / "tree/sub/f") << "deep\n";
  std::filesystem::create_directories(host.dir() / "shared");
  std::string h = host.str();

  Result r = Sh(Sandbox("--copy " + Q(h + "/dist.txt") + " --copy " + Q(h + "/tree:/opt/dist/") +
                            " --copy " + Q(h + "/dist.txt:/usr/local/renamed") + " --bind " +
                            Q(h + "/shared:/var/spool/shared"),
                        "cat /tmp/dist.txt /opt/dist/tree/sub/f /usr/local/renamed;"
                        "echo out > /var/spool/shared/result"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "medium\ndeep\nmedium\n");
  EXPECT_EQ(ReadFile(host.dir() / "shared/result"), "out\n");
  EXPECT_FALSE(std::filesystem::exists("/usr/local/renamed"));
  EXPECT_FALSE(std::filesystem::exists("/opt/dist"));
}

// A checkout under the host's /tmp (where /tmp is fresh inside) still
// reaches its own scripts and programs; other /tmp content does not.
TEST(Sandbox, ProjectUnderHostTmpStaysReachable)
{
  SKIP_WITHOUT_SANDBOX();
  TempDir project;
  std::string p = project.str();
  std::filesystem::create_directories(project.dir() / "scripts");
  std::filesystem::copy_file(Script("sandbox.sh"), project.dir() / "scripts/sandbox.sh");
  std::ofstream(project.dir() / "marker") << "here\n";
  TempDir other;
  std::ofstream(other.dir() / "secret") << "no\n";

  Result r = Sh("bash " + Q(p + "/scripts/sandbox.sh") + " -- sh -c " +
                Q("cat " + p + "/marker; test -e " + other.str() + "/secret || echo other-hidden"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "here\nother-hidden\n");
}

TEST(Sandbox, ShowChangesListsAddedModifiedAndDeletedPaths)
{
  SKIP_WITHOUT_SANDBOX();
  Result r = Sh(Sandbox("--show-changes --tmpfs /tmp/w:1M",
                        "mkdir -p /usr/Norvo/npxx; touch /usr/Norvo/npxx/nsf;"
                        "echo >> /etc/debian_version; rm /etc/issue.net;"
                        "touch /tmp/w/f /tmp/setup.log; mkdir /norvo-sbx-new"),
                true);
  ASSERT_EQ(r.status, 0) << r.out;
  std::string listing = r.out.substr(r.out.find("== sandbox changes ==\n"));
  for (const char *want :
       {"A /usr/Norvo/\n", "A /usr/Norvo/npxx/nsf\n", "M /etc/debian_version\n",
        "D /etc/issue.net\n", "A /tmp/setup.log\n", "A /tmp/w/f\n", "A /norvo-sbx-new/\n"})
    EXPECT_NE(listing.find(want), std::string::npos) << want << " missing in\n" << listing;
  EXPECT_EQ(listing.find("/usr/bin"), std::string::npos) << listing;
}

TEST(Sandbox, StateIsRemovedAlsoWhenTheSandboxFails)
{
  SKIP_WITHOUT_SANDBOX();
  TempDir parent("/run");  // a host folder: the state may not live under /tmp (nor may the build)
  std::string env = "NORVO_SANDBOX_STATE_PARENT=" + Q(parent.str()) + " ";
  Result ok = Sh(env + Sandbox("", "echo data > /etc/norvo-sbx; exit 3"));
  EXPECT_EQ(ok.status, 3) << ok.out;
  // A copy to a path that leads out of the sandbox is refused after the namespace was made.
  Result bad = Sh(env + Sandbox("--copy /etc/hostname:/var/run/norvo-sbx/", "true"));
  EXPECT_EQ(bad.status, 125) << bad.out;
  EXPECT_NE(bad.out.find("leads out of the sandbox"), std::string::npos) << bad.out;
  EXPECT_TRUE(std::filesystem::is_empty(parent.path()));
  EXPECT_FALSE(std::filesystem::exists("/run/norvo-sbx"));
}

TEST(Sandbox, RefusesMountPointsThatWouldBeCreatedOnTheHost)
{
  SKIP_WITHOUT_SANDBOX();
  TempDir host("/run");  // a host folder outside the throwaway trees and /tmp
  std::string missing = host.str() + "/norvo-sbx-missing/dir";
  Result r = Sh(Sandbox("--tmpfs " + Q(missing + ":1M"), "true"));
  EXPECT_EQ(r.status, 125) << r.out;
  EXPECT_NE(r.out.find("would have to be created on the host"), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(host.str() + "/norvo-sbx-missing"));
}

TEST(Sandbox, RefusesWithoutRootOrBadOptions)
{
  std::string sandbox = "bash " + Q(Script("sandbox.sh"));
  // The unprivileged user runs a copy in a folder of its own: the checkout
  // may lie where only root can reach it (under /root).
  TempDir open;
  std::filesystem::permissions(open.path(), std::filesystem::perms(0755));
  std::filesystem::copy_file(Script("sandbox.sh"), open.dir() / "sandbox.sh");
  std::filesystem::permissions(open.dir() / "sandbox.sh", std::filesystem::perms(0644));
  Result r = getuid() == 0 ? Sh("setpriv --reuid=65534 --regid=65534 --clear-groups bash " +
                                Q(open.str() + "/sandbox.sh") + " true")
                           : Sh(sandbox + " true");
  EXPECT_EQ(r.status, 125) << r.out;
  EXPECT_NE(r.out.find("must be run as root"), std::string::npos) << r.out;

  EXPECT_EQ(Sh(sandbox + " --tmpfs /x true").status, 125);
  EXPECT_EQ(Sh(sandbox + " --tmpfs /x:lots true").status, 125);
  EXPECT_EQ(Sh(sandbox + " --copy /no/such/file true").status, 125);
  EXPECT_EQ(Sh(sandbox + " --frobnicate true").status, 125);
  EXPECT_EQ(Sh(sandbox).status, 125);
}
