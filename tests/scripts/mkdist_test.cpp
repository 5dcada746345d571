// scripts/mkdist.sh and the sample package: the distribution list, the archive segments, the
// upper-case medium, the size files, and the package list's coverage of its own language.
#include "ScriptTest.h"

#include <algorithm>
#include <set>

using namespace scripttest;
namespace fs = std::filesystem;

namespace {

std::string SamplePackage()
{
  return SourceDir() + "/examples";
}

// Runs mkdist on the sample package into `out`, with a stand-in setup program.
Result MakeDist(const TempDir &tmp, const std::string &out, const std::string &options)
{
  fs::path setup = tmp.dir() / "setup-bin";
  if (!fs::exists(setup)) {
    std::ofstream(setup) << "#!/bin/sh\necho setup 3.02.05 >&2\n";
    fs::permissions(setup, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  }
  return Sh("bash " + Q(Script("mkdist.sh")) + " --setup " + Q(setup.string()) + " " + options +
            " " + Q(SamplePackage()) + " " + Q(out));
}

std::vector<std::string> Words(const std::string &text)
{
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string w; in >> w;)
    v.push_back(w);
  return v;
}

std::set<std::string> Entries(const fs::path &dir)
{
  std::set<std::string> s;
  for (const auto &e : fs::directory_iterator(dir))
    s.insert(e.path().filename().string());
  return s;
}

// Every path of the sample package, as tar lists it ("pkg/lib/", "pkg/nsf", ...).
std::set<std::string> PackagePaths()
{
  std::set<std::string> s{"pkg/"};
  fs::path base = SamplePackage();
  for (const auto &e : fs::recursive_directory_iterator(base / "pkg")) {
    std::string rel = fs::relative(e.path(), base).string();
    s.insert(e.is_directory() ? rel + "/" : rel);
  }
  return s;
}

long Number(const fs::path &p)
{
  return std::stol(ReadFile(p));
}

}  // namespace

TEST(Mkdist, ListNamesItselfTheSizesAndEverySegmentInOrder)
{
  TempDir tmp;
  std::string out = tmp.str() + "/dist";
  Result r = MakeDist(tmp, out, "--segment-size 1K");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Lines(r.out).back(), out);

  std::set<std::string> files = Entries(out);
  std::vector<std::string> segments;
  for (const std::string &f : files)
    if (f.rfind("pkg_tar.", 0) == 0)
      segments.push_back(f);
  ASSERT_GE(segments.size(), 2u) << "the sample should need several 1K segments";
  EXPECT_EQ(segments.front(), "pkg_tar.001");
  for (size_t i = 0; i + 1 < segments.size(); ++i)
    EXPECT_EQ(fs::file_size(fs::path(out) / segments[i]), 1024u) << segments[i];

  std::string expected = "disks isize tsize\n";
  for (size_t i = 0; i < segments.size(); ++i)
    expected += segments[i] + (i + 1 == segments.size() || i % 8 == 7 ? "\n" : " ");
  expected += "end_of_list\n";
  EXPECT_EQ(ReadFile(fs::path(out) / "disks"), expected);
  EXPECT_EQ(files.size(), segments.size() + 4) << "setup, disks, isize, tsize and the segments";
  EXPECT_TRUE(files.count("setup"));
  EXPECT_EQ(fs::status(fs::path(out) / "setup").permissions() & fs::perms::owner_exec,
            fs::perms::owner_exec);
}

TEST(Mkdist, SegmentsJoinAndUncompressToThePackage)
{
  TempDir tmp;
  std::string out = tmp.str() + "/dist";
  ASSERT_EQ(MakeDist(tmp, out, "--segment-size 700").status, 0);

  // Joined in list order, as the installer does, then uncompressed with the real tool.
  std::string join = "cd " + Q(out) + " && cat $(grep '^pkg_tar' disks)";
  Result magic = Sh(join + " | head -c 2 | od -An -tx1", true);
  EXPECT_EQ(Words(magic.out), (std::vector<std::string>{"1f", "9d"})) << "not compress's format";
  Result list = Sh(join + " | uncompress | tar tf -", true);
  ASSERT_EQ(list.status, 0) << list.out;
  std::vector<std::string> names = Lines(list.out);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), PackagePaths());

  Result verbose = Sh(join + " | uncompress | tar tvf - pkg/nsf pkg/config", true);
  EXPECT_NE(verbose.out.find("-rwxr-xr-x 0/0"), std::string::npos) << verbose.out;
  EXPECT_NE(verbose.out.find("-rw-r--r-- 0/0"), std::string::npos) << verbose.out;

  fs::create_directory(tmp.dir() / "x");
  ASSERT_EQ(Sh(join + " | uncompress | tar xf - -C " + Q(tmp.str() + "/x")).status, 0);
  Result diff = Sh("diff -r " + Q(SamplePackage() + "/pkg") + " " + Q(tmp.str() + "/x/pkg"));
  EXPECT_EQ(diff.status, 0) << diff.out;
}

TEST(Mkdist, UpperCaseMediumAsADosDisketteShowsIt)
{
  TempDir tmp;
  std::string out = tmp.str() + "/dist";
  ASSERT_EQ(MakeDist(tmp, out, "--upper --segment-size 1K").status, 0);
  std::set<std::string> files = Entries(out);
  EXPECT_TRUE(files.count("DISKS") && files.count("ISIZE") && files.count("TSIZE"));
  EXPECT_TRUE(files.count("PKG_TAR.001"));
  EXPECT_FALSE(files.count("disks") || files.count("pkg_tar.001"));
  // The free-space check reads the lower-case names, which a DOS file system also finds.
  EXPECT_TRUE(files.count("isize") && files.count("tsize"));

  // The list keeps the maker's lower-case text; upper-cased up to end_of_list, as the
  // installer does, every word names a file of the medium.
  std::string list = ReadFile(fs::path(out) / "DISKS");
  EXPECT_EQ(list.rfind("disks isize tsize\npkg_tar.001 ", 0), 0u) << list;
  std::vector<std::string> words = Words(list);
  ASSERT_EQ(words.back(), "end_of_list");
  words.pop_back();
  for (std::string w : words) {
    std::transform(w.begin(), w.end(), w.begin(), ::toupper);
    EXPECT_TRUE(files.count(w)) << w;
  }
  EXPECT_EQ(Sh("cd " + Q(out) + " && cat PKG_TAR.* | uncompress | tar tf - pkg/pkg.list").out,
            "pkg/pkg.list\n");
}

TEST(Mkdist, SizeFilesHoldOneKilobyteBlocksWithAMargin)
{
  TempDir tmp;
  std::string out = tmp.str() + "/dist", bare = tmp.str() + "/bare";
  ASSERT_EQ(MakeDist(tmp, out, "").status, 0);
  ASSERT_EQ(MakeDist(tmp, bare, "--margin 0").status, 0);
  EXPECT_EQ(Lines(ReadFile(fs::path(out) / "isize")).size(), 1u);

  long isize = Number(fs::path(out) / "isize"), tsize = Number(fs::path(out) / "tsize");
  long isize0 = Number(fs::path(bare) / "isize"), tsize0 = Number(fs::path(bare) / "tsize");
  // Installed: at least the package's files in 1K blocks; the work area also holds the
  // segments, the joined archive and the uncompressed tar besides the unpacked package.
  long packageBlocks = std::stol(Sh("du -sk " + Q(SamplePackage() + "/pkg"), true).out);
  EXPECT_GE(isize0, packageBlocks / 2) << "not in 1K blocks?";
  EXPECT_GT(tsize0, isize0);
  EXPECT_EQ(isize, (isize0 * 120 + 99) / 100);
  EXPECT_EQ(tsize, (tsize0 * 120 + 99) / 100);

  std::string fixed = tmp.str() + "/fixed";
  ASSERT_EQ(MakeDist(tmp, fixed, "--isize 1000 --tsize 2000").status, 0);
  EXPECT_EQ(ReadFile(fs::path(fixed) / "isize"), "1000\n");
  EXPECT_EQ(ReadFile(fs::path(fixed) / "tsize"), "2000\n");
}

TEST(Mkdist, TestVariantsReverseOmitAndUnlist)
{
  TempDir tmp;
  std::string out = tmp.str() + "/dist";
  ASSERT_EQ(
      MakeDist(tmp, out, "--segment-size 1K --reverse --omit pkg_tar.002 --unlist tsize").status,
      0);
  std::vector<std::string> words = Words(ReadFile(fs::path(out) / "disks"));
  ASSERT_GE(words.size(), 5u);
  EXPECT_EQ(words[0], "disks");
  EXPECT_EQ(words[1], "isize");
  EXPECT_EQ(std::find(words.begin(), words.end(), "tsize"), words.end());
  EXPECT_TRUE(fs::exists(fs::path(out) / "tsize"));
  std::vector<std::string> segs(words.begin() + 2, words.end() - 1);
  EXPECT_TRUE(std::is_sorted(segs.rbegin(), segs.rend()));
  EXPECT_EQ(segs.back(), "pkg_tar.001");
  EXPECT_NE(std::find(segs.begin(), segs.end(), "pkg_tar.002"), segs.end());
  EXPECT_FALSE(fs::exists(fs::path(out) / "pkg_tar.002"));
}

TEST(Mkdist, RefusesBadInput)
{
  TempDir tmp;
  fs::create_directories(tmp.dir() / "full");
  std::ofstream(tmp.dir() / "full/old") << "x";
  EXPECT_NE(MakeDist(tmp, tmp.str() + "/full", "").status, 0);
  EXPECT_TRUE(fs::exists(tmp.dir() / "full/old"));
  EXPECT_EQ(MakeDist(tmp, tmp.str() + "/full", "--force").status, 0);
  EXPECT_FALSE(fs::exists(tmp.dir() / "full/old"));

  // So many segments that the list would not fit the installer's 4096-byte buffer.
  Result many = MakeDist(tmp, tmp.str() + "/many", "--segment-size 8");
  EXPECT_NE(many.status, 0);
  EXPECT_NE(many.out.find("longer than 4095 bytes"), std::string::npos) << many.out;

  Result nopkg = Sh("bash " + Q(Script("mkdist.sh")) + " --setup /bin/true " + Q(tmp.str()) + " " +
                    Q(tmp.str() + "/x"));
  EXPECT_NE(nopkg.status, 0);
  EXPECT_NE(nopkg.out.find("pkg.list not found"), std::string::npos) << nopkg.out;
  EXPECT_NE(MakeDist(tmp, tmp.str() + "/y", "--setup /no/such/setup").status, 0);
}

// The sample package list is the fixture for the installer's own runs: it must use every
// command and attribute of the list language, and name only files that the package holds.
TEST(SamplePackage, ListUsesTheWholeLanguageAndNamesExistingFiles)
{
  std::string text = ReadFile(SamplePackage() + "/pkg/pkg.list");
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.find("\nc config sed s/TOOLDIR/\\/usr\\/Norvo\\/npxx/g\n"), std::string::npos);
  EXPECT_NE(text.find("TOOLDIR"), std::string::npos);
  EXPECT_NE(ReadFile(SamplePackage() + "/pkg/config").find("TOOLDIR"), std::string::npos);

  // Physical lines joined at a backslash-newline, as the installer reads them.
  std::vector<std::string> lines;
  std::string cur;
  bool continued = false;
  for (const std::string &l : Lines(text)) {
    cur += l;
    if (!l.empty() && l.back() == '\\') {
      cur.back() = ' ';
      continued = true;
      continue;
    }
    lines.push_back(cur);
    cur.clear();
  }
  EXPECT_TRUE(continued) << "no continuation line";

  const std::set<std::string> commands{"dir", "dirto", "t", "c",      "m",
                                       "#",   "v",     "s", "newdir", "checkps"};
  const std::set<std::string> attributes{"mode", "bat", "owner", "group", "link", "name", "sed"};
  std::set<std::string> usedCommands, usedAttributes, vOperators;
  bool otherWord = false;
  for (const std::string &line : lines) {
    std::vector<std::string> w = Words(line);
    if (w.empty() || w[0] == "#") {
      if (!w.empty())
        usedCommands.insert("#");
      continue;
    }
    size_t i = 0;
    while (i < w.size() && w[i] == "v" && i + 2 < w.size()) {
      usedCommands.insert("v");
      vOperators.insert(w[i + 1]);
      i += 3;
    }
    if (i + 1 >= w.size())
      continue;
    const std::string &cmd = w[i], &object = w[i + 1];
    if (commands.count(cmd))
      usedCommands.insert(cmd);
    else
      otherWord = true;
    if (cmd == "dir" || cmd == "dirto") {
      EXPECT_TRUE(fs::is_directory(SamplePackage() + "/pkg/" + object)) << line;
    }
    if (cmd == "c" || !commands.count(cmd)) {
      EXPECT_TRUE(fs::is_regular_file(SamplePackage() + "/pkg/" + object)) << line;
    }
    for (size_t a = i + 2 + (cmd == "dirto"); a < w.size(); a += 2)
      if (attributes.count(w[a]))
        usedAttributes.insert(w[a]);
  }
  EXPECT_EQ(usedCommands, commands);
  EXPECT_EQ(usedAttributes, attributes);
  EXPECT_TRUE(otherWord) << "no line whose command is another word (taken as c)";
  EXPECT_TRUE(vOperators.count(">=") && vOperators.count("<")) << "release conditions";
}

// The stand-ins record how the installer and the generated scripts call them.
TEST(SamplePackage, StandInsRecordTheirCalls)
{
  TempDir tmp;
  for (const char *name : {"npqadmin", "nsf"})
    fs::copy_file(SamplePackage() + "/pkg/" + name, tmp.dir() / name);
  fs::create_directory(tmp.dir() / "calls");
  std::string env = "NORVO_CALLS_DIR=" + Q(tmp.str() + "/calls") + " ";

  Result r = Sh("cd / && " + env + Q(tmp.str() + "/npqadmin") + " -upgrade && " + env +
                Q(tmp.str() + "/npqadmin") + " -clean");
  ASSERT_EQ(r.status, 0) << r.out;
  std::string uid = Sh("id -u", true).out;
  uid.pop_back();
  std::string expected = "npqadmin uid=" + uid + " cwd=/ printer= args=-upgrade\n" +
                         "npqadmin uid=" + uid + " cwd=/ printer= args=-clean\n";
  EXPECT_EQ(ReadFile(tmp.dir() / "calls/npqadmin.calls"), expected);
  EXPECT_EQ(ReadFile(tmp.dir() / "npqadmin.calls"), expected) << "the copy next to the program";

  // nsf fails as often as asked, so that the send-file script's retry loop can be seen.
  std::string nsf = env + "NSF_FAILS=2 " + Q(tmp.str() + "/nsf") + " /var/spool/job.1";
  EXPECT_EQ(Sh(nsf).status, 1);
  EXPECT_EQ(Sh(nsf).status, 1);
  EXPECT_EQ(Sh(nsf).status, 0);
  EXPECT_EQ(Lines(ReadFile(tmp.dir() / "calls/nsf.calls")).size(), 3u);
  EXPECT_NE(ReadFile(tmp.dir() / "calls/nsf.calls").find("args=/var/spool/job.1"),
            std::string::npos);
}
