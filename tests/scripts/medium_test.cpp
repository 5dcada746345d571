// A medium made by mkdist, used the way the installer uses it: the listed files copied into a
// work area, the segments joined in list order, uncompressed and unpacked there.
#include "ScriptTest.h"

using namespace scripttest;
namespace fs = std::filesystem;

namespace {

// The installer's steps with plain commands. $1 medium, $2 work area, $3 list file name.
// The list counts up to end_of_list; from DISKS it is upper-cased first.
const char *const kUnpack = R"(
set -e
dist=$1 work=$2 list=$3
words() { sed '/end_of_list/q' "$1" | { if [ "$list" = DISKS ]; then tr a-z A-Z; else cat; fi; } |
          tr ' \t\r' '\n\n\n' | sed -e '/^$/d' -e '/^END_OF_LIST$/d' -e '/^end_of_list$/d'; }
mkdir -p "$work"
for w in $(words "$dist/$list"); do cp -p "$dist/$w" "$work"; done
cd "$work"
for w in $(words "$list"); do
  case $w in pkg_tar.*|PKG_TAR.*) [ -f "$w" ] && cat "$w" >> Linuxi386Npxx.tar.Z ;; esac
done
uncompress Linuxi386Npxx.tar.Z
tar xfp Linuxi386Npxx.tar
du -sk . | cut -f1
du -sk pkg | cut -f1
rm -f Linuxi386Npxx.tar
)";

Result Unpack(const std::string &dist, const std::string &work, const std::string &list)
{
  return Sh("sh -c " + Q(kUnpack) + " unpack " + Q(dist) + " " + Q(work) + " " + Q(list));
}

Result MakeDist(const std::string &out, const std::string &options)
{
  return Sh("bash " + Q(Script("mkdist.sh")) + " --setup /bin/true " + options + " " +
            Q(SourceDir() + "/examples") + " " + Q(out));
}

}  // namespace

TEST(Medium, UnpacksInAWorkAreaWithinTheStatedSizes)
{
  TempDir tmp;
  std::string dist = tmp.str() + "/dist";
  ASSERT_EQ(MakeDist(dist, "--segment-size 1K").status, 0);
  Result r = Unpack(dist, tmp.str() + "/NorvoInstall", "disks");
  ASSERT_EQ(r.status, 0) << r.out;
  std::vector<std::string> l = Lines(r.out);
  ASSERT_EQ(l.size(), 2u) << r.out;

  EXPECT_LE(std::stol(l[0]), std::stol(ReadFile(dist + "/tsize"))) << "work area at its fullest";
  EXPECT_LE(std::stol(l[1]), std::stol(ReadFile(dist + "/isize"))) << "the package";
  Result diff =
      Sh("diff -r " + Q(SourceDir() + "/examples/pkg") + " " + Q(tmp.str() + "/NorvoInstall/pkg"));
  EXPECT_EQ(diff.status, 0) << diff.out;
  EXPECT_TRUE(fs::exists(tmp.dir() / "NorvoInstall/disks"));
  EXPECT_FALSE(fs::exists(tmp.dir() / "NorvoInstall/setup")) << "setup is not in the list";
}

TEST(Medium, UpperCaseMediumUnpacksThroughTheConvertedList)
{
  TempDir tmp;
  std::string dist = tmp.str() + "/dist";
  ASSERT_EQ(MakeDist(dist, "--upper --segment-size 1K").status, 0);
  Result r = Unpack(dist, tmp.str() + "/NorvoInstall", "DISKS");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(tmp.dir() / "NorvoInstall/pkg/pkg.list"));
  EXPECT_TRUE(fs::exists(tmp.dir() / "NorvoInstall/PKG_TAR.001"));
}

TEST(Medium, ReversedSegmentsDoNotUncompress)
{
  TempDir tmp;
  std::string dist = tmp.str() + "/dist";
  ASSERT_EQ(MakeDist(dist, "--segment-size 1K --reverse").status, 0);
  EXPECT_NE(Unpack(dist, tmp.str() + "/NorvoInstall", "disks").status, 0);
}

// The medium's own setup program starts inside the sandbox from a copy of the medium.
TEST(Medium, SetupStartsFromACopiedMediumInTheSandbox)
{
  SKIP_WITHOUT_SANDBOX();
  std::string setup = BinaryDir() + "/setup";
  ASSERT_TRUE(fs::exists(setup)) << "setup is not built in " << BinaryDir();
  TempDir tmp;
  std::string dist = tmp.str() + "/dist";
  ASSERT_EQ(Sh("bash " + Q(Script("mkdist.sh")) + " --setup " + Q(setup) + " " +
               Q(SourceDir() + "/examples") + " " + Q(dist))
                .status,
            0);
  Result r = Sh("bash " + Q(Script("sandbox.sh")) + " --copy " + Q(dist) +
                " --chdir /tmp/dist -- sh -c 'ls; ./setup -v'");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("pkg_tar.001"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("3.02.05"), std::string::npos) << r.out;
}
