// ndbtool as a user runs it: catalogs built and dumped, single records, errors.
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "DbmTestDir.h"
#include "memmgr/MemMgr.h"

namespace {

struct ToolRun {
  int status;
  std::string out;
};

// Runs ndbtool with the shell words given (behind prefix, a program that
// runs it); stderr joins stdout.
ToolRun Tool(const std::string &args, const std::string &prefix = "")
{
  std::string cmd = prefix + std::string(NORVO_BINARY_DIR) + "/ndbtool " + args + " 2>&1";
  ToolRun r{-1, ""};
  FILE *p = popen(cmd.c_str(), "r");
  if (!p)
    return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
    r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class NdbTool : public DbmTest {
protected:
  void SetUp() override
  {
    DbmTest::SetUp();
    ASSERT_TRUE(std::filesystem::exists(std::string(NORVO_BINARY_DIR) + "/ndbtool"))
        << "build the ndbtool target first";
  }
};

// The catalog form of a text: what dump writes.
std::string Escaped(const std::string &s, bool key)
{
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\\')
      out += "\\\\";
    else if (c < 0x20 || c == 0x7f || (key && i == 0 && c == '#')) {
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else
      out += static_cast<char>(c);
  }
  return out;
}

TEST_F(NdbTool, CatalogOfThousandsRoundTrips)
{
  std::mt19937 rng(11);
  const std::string pieces[] = {"word ",        "tab\there ",         "line\nend ",
                                "back\\slash ", "\xc3\xa9t\xc3\xa9 ", "\x01",
                                "%s %d ",       "# not a comment "};
  std::vector<std::pair<std::string, std::string>> msgs;
  std::string catalog = "# a comment line\n\n";
  for (int i = 0; i < 3000; i++) {
    std::string key = std::to_string(i / 100) + "_" + std::to_string(i % 100);
    if (i % 500 == 7)
      key = "#" + key;
    std::string value;
    for (int n = 1 + static_cast<int>(rng() % 6); n > 0; n--)
      value += pieces[rng() % std::size(pieces)];
    msgs.emplace_back(key, value);
    catalog += Escaped(key, true) + "\t" + Escaped(value, false) + (i % 3 ? "\n" : "\r\n");
  }
  WriteBytes(base + "/msgs.txt", catalog);
  ToolRun r = Tool("msgs.ndb build msgs.txt");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "");

  std::string expected;
  for (auto &[k, v] : msgs)
    expected += Escaped(k, true) + "\t" + Escaped(v, false) + "\n";
  r = Tool("msgs.ndb dump");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected);

  DbTHandle *h = DbTOpen("./msgs.ndb", 0);
  EXPECT_EQ(h->DbType, DBT_TYPE_TYPED);
  EXPECT_EQ(h->RecCount, 3000);
  static char buf[65536];
  for (auto &[k, v] : msgs) {
    int n = DbmTGetRecord(h, k.c_str(), buf);
    ASSERT_EQ(std::string(buf, static_cast<size_t>(n)), v) << k;
  }
  DbTClose(h);

  // Building the dump again gives the very same file: builds are repeatable.
  WriteBytes(base + "/again.txt", expected);
  ASSERT_EQ(Tool("again.ndb build again.txt").status, 0);
  EXPECT_EQ(ReadBytes(base + "/again.ndb"), ReadBytes(base + "/msgs.ndb"));
}

TEST_F(NdbTool, SingleRecordsAndInfo)
{
  EXPECT_EQ(Tool("t put greeting 'hello\\nworld'").status, 0);
  EXPECT_TRUE(std::filesystem::exists(base + "/t.ndb"));
  ToolRun r = Tool("t.ndb get greeting");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "hello\nworld\n");
  EXPECT_EQ(Tool("t put ab 1").status, 0);
  EXPECT_EQ(Tool("t put abc 2").status, 0);
  EXPECT_EQ(Tool("t keys").out, "greeting\nab\nabc\n");
  EXPECT_EQ(Tool("t delete greeting").status, 0);
  EXPECT_EQ(Tool("t delete greeting").status, 1);
  EXPECT_EQ(Tool("t delete-prefix ab").status, 0);
  EXPECT_EQ(Tool("t keys").out, "");
  EXPECT_EQ(Tool("t info").out, "file: ./t.ndb\ntype: typed\nrecords: 0\nbytes: 16\n");

  // Names under a base directory, and plain files staying plain.
  ASSERT_EQ(DbmPutRecord("plain", "k", "v", 1), 1);
  EXPECT_EQ(Tool("-b " + base + " plain put k2 v2").status, 0);
  EXPECT_EQ(Tool("-b " + base + " plain info").out,
            "file: " + base + "/db/plain.ndb\ntype: plain\nrecords: 2\nbytes: 16\n");
  char v[4];
  EXPECT_EQ(DbmGetRecord("plain", "k2", v), 2);
}

TEST_F(NdbTool, ErrorsAreClearAndLeaveTheFileAlone)
{
  ToolRun r = Tool("");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("usage: ndbtool"), std::string::npos);
  r = Tool("t frobnicate");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("unknown command \"frobnicate\""), std::string::npos);
  EXPECT_EQ(Tool("t put onlykey").status, 2);
  r = Tool("missing.ndb get x");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ndbtool: no database ./missing.ndb\n");

  ASSERT_EQ(Tool("t put k v").status, 0);
  std::string before = ReadBytes(base + "/t.ndb");
  WriteBytes(base + "/bad.txt", "a\t1\nb 2\n");
  r = Tool("t build bad.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ndbtool: bad.txt:2: missing tab between key and value\n");
  WriteBytes(base + "/bad.txt", "a\t1\\q\n");
  EXPECT_EQ(Tool("t build bad.txt").out,
            "ndbtool: bad.txt:1: unknown escape (use \\n \\r \\t \\\\ or \\xHH)\n");
  WriteBytes(base + "/bad.txt", "a\t\n");
  EXPECT_EQ(Tool("t build bad.txt").out, "ndbtool: bad.txt:1: empty value for key \"a\"\n");
  WriteBytes(base + "/bad.txt", "k\t" + std::string(65533, 'x') + "\n");
  EXPECT_EQ(Tool("t build bad.txt").out,
            "ndbtool: bad.txt:1: record for key \"k\" longer than 65535 bytes\n");
  EXPECT_EQ(Tool("t build nofile.txt").status, 1);
  EXPECT_EQ(ReadBytes(base + "/t.ndb"), before);
}

// Another process (the tool) rewrites the file; an open handle sees it at once.
TEST_F(NdbTool, OpenHandleSeesTheToolsWrites)
{
  ASSERT_EQ(Tool("live put a 1").status, 0);
  DbTHandle *h = DbTOpen("./live.ndb", 0);
  char buf[16];
  ASSERT_EQ(DbmTGetRecord(h, "a", buf), 1);
  EXPECT_EQ(buf[0], '1');
  ASSERT_EQ(Tool("live put b 22").status, 0);
  ASSERT_EQ(Tool("live put a 333").status, 0);
  ASSERT_EQ(DbmTGetRecord(h, "a", buf), 3);
  EXPECT_EQ(std::string(buf, 3), "333");
  EXPECT_EQ(DbmTGetRecordSize(h, "b"), 2);
  DbTClose(h);
}

// Every replacement of a database file reaches the disk before it is moved
// over the old one (watched with strace): after a crash the database holds
// either the old records or the new ones, never an empty file.
TEST_F(NdbTool, ReplacementFilesAreFlushedBeforeTheRename)
{
  if (std::system("command -v strace >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "strace is not installed";
  ASSERT_EQ(DbmPutRecord("plain", "k", "v", 1), 1);
  WriteBytes(base + "/c.txt", "a\t1\nb\t2\n");
  struct Case {
    std::string args, file;
  } cases[] = {{"t put k v", base + "/t.ndb"},
               {"t delete k", base + "/t.ndb"},
               {"c build c.txt", base + "/c.ndb"},
               {"-b " + base + " plain put k2 v2", base + "/db/plain.ndb"},
               {"-b " + base + " plain delete k", base + "/db/plain.ndb"}};
  for (const Case &c : cases) {
    // The leak check of a sanitizer build cannot run under ptrace.
    ToolRun r = Tool(c.args, "ASAN_OPTIONS=detect_leaks=0 strace -f -y -o trace "
                             "-e trace=fsync,fdatasync,rename,renameat,renameat2 ");
    ASSERT_EQ(r.status, 0) << c.args << "\n" << r.out;
    std::string trace = ReadBytes(base + "/trace");
    // Only a flush names the file behind its descriptor (-y): "fsync(4</path>)".
    size_t flushed = trace.find("<" + c.file + "_new>"), renamed = trace.find("rename");
    EXPECT_NE(flushed, std::string::npos) << c.args << ": never flushed\n" << trace;
    EXPECT_NE(renamed, std::string::npos) << c.args << ": never renamed\n" << trace;
    EXPECT_LT(flushed, renamed) << c.args << ": renamed before the flush\n" << trace;
  }
}

}  // namespace
