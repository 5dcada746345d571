// The command table, command lookup in real directories, and directory listings.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "common/ChildProcess.h"
#include "common/TempDir.h"
#include "syscmd/SysCmd.h"

namespace {

using testcommon::ReadAll;

void Touch(const std::string &path, mode_t mode = 0755)
{
  std::ofstream(path) << "#!/bin/sh\n";
  chmod(path.c_str(), mode);
}

std::set<std::string> Words(const char *list)
{
  std::set<std::string> words;
  std::istringstream in(list ? list : "");
  for (std::string w; in >> w;)
    words.insert(w);
  return words;
}

// Forgets every located command, as at program start.
void ForgetLookup()
{
  for (int i = 0; i < COMLIST_SIZE; i++)
    ComList[i].path = nullptr;
  FullSearchPath = nullptr;
  flInitSysCmd = 1;
  flSysCmdLog = 0;
}

// First directory of the built-in list that holds name, as the lookup must find it.
std::string FirstSystemDir(const char *name)
{
  std::istringstream in(SearchPaths);
  for (std::string dir; std::getline(in, dir, ':');) {
    if (access((dir + "/" + name).c_str(), F_OK) == 0)
      return dir;
  }
  return "";
}

class ComTable : public testing::Test {
protected:
  TempDir tmp;
  std::string dir;
  std::string log;
  std::string savedPath;
  bool hadPath = false;

  void SetUp() override
  {
    if (const char *path = getenv("PATH")) {
      hadPath = true;
      savedPath = path;
    }
    my_name = SaveStr("test_comtable_%d", static_cast<int>(getpid()));
    log = std::string("/tmp/") + my_name + ".log";
    flUseLog = 0;
    ASSERT_FALSE(tmp.path().empty());
    dir = tmp.path();
    ForgetLookup();
  }
  void TearDown() override
  {
    unlink(log.c_str());
    if (hadPath)
      setenv("PATH", savedPath.c_str(), 1);
    ForgetLookup();
  }
  std::string Sub(const std::string &name)
  {
    std::string path = dir + "/" + name;
    mkdir(path.c_str(), 0755);
    return path;
  }
};

}  // namespace

TEST(ComListTable, HasTheFixedIndicesFlagsAndDelays)
{
  EXPECT_STREQ(ComList[0].name, "");
  EXPECT_STREQ(ComList[1].name, "");
  EXPECT_EQ(ComList[82].name, nullptr);
  for (int i = 2; i <= MAX_CMD_INDEX; i++)
    EXPECT_TRUE(ComList[i].name && ComList[i].name[0]) << i;

  struct {
    int index;
    const char *name;
    const char *flags;
  } spots[] = {
      {2, "cancel", ""},   {3, "cat", ""},          {9, "cp", "-p"},       {10, "cp", "-pr"},
      {14, "eject", "-f"}, {15, "eject", "-q"},     {24, "kill", "-KILL"}, {25, "mv", "-f"},
      {26, "mkdir", "-p"}, {29, "rm", "-f"},        {30, "rm", "-rf"},     {31, "sh", ""},
      {33, "tar", "cvfp"}, {34, "tar", "xvfp"},     {35, "touch", ""},     {37, "whoami", ""},
      {41, "du", "-s"},    {43, "lpd", ""},         {55, "ps", "-ace"},    {57, "df", ""},
      {58, "lpq", "-P"},   {68, "piomisc_ext", ""}, {81, "lssrc", ""},
  };
  for (auto &s : spots) {
    EXPECT_STREQ(ComList[s.index].name, s.name) << s.index;
    EXPECT_STREQ(ComList[s.index].flags, s.flags) << s.index;
  }

  std::set<int> oneSecond = {14, 15, 19, 21, 22, 44, 46, 47, 48, 49, 50,
                             51, 52, 53, 54, 60, 61, 62, 65, 66, 79};
  for (int i = 0; i < COMLIST_SIZE; i++) {
    int expected = i == 2 ? 2 : oneSecond.count(i) ? 1 : 0;
    EXPECT_EQ(ComList[i].delay, expected) << i;
  }
}

TEST_F(ComTable, DirFileListHoldsEveryEntryBetweenBlanks)
{
  std::string empty = Sub("empty");
  char *list = GetDirFileList(empty.c_str());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(strlen(list), 6u);
  EXPECT_EQ(Words(list), (std::set<std::string>{".", ".."}));
  EXPECT_EQ(list[0], ' ');
  EXPECT_EQ(list[5], ' ');
  PutMem(list);

  std::string full = Sub("full");
  Touch(full + "/a.txt");
  Touch(full + "/b.tar.gz");
  Touch(full + "/c");
  list = GetDirFileList(full.c_str());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Words(list), (std::set<std::string>{".", "..", "a.txt", "b.tar.gz", "c"}));
  EXPECT_EQ(strlen(list), strlen(" . .. a.txt b.tar.gz c "));
  EXPECT_NE(FindToken("a.txt", list), 0);
  EXPECT_EQ(FindToken("a", list), 0);
  PutMem(list);

  EXPECT_EQ(GetDirFileList((dir + "/missing").c_str()), nullptr);
  EXPECT_EQ(GetDirFileList(nullptr), nullptr);
}

TEST_F(ComTable, SearchDirFileListKeepsOnlyTheExtension)
{
  std::string d = Sub("d");
  Touch(d + "/one.ndb");
  Touch(d + "/two.ndb");
  Touch(d + "/three.ndb_new");
  Touch(d + "/ndb");
  char *list = SearchDirFileList(d.c_str(), "ndb");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Words(list), (std::set<std::string>{"one.ndb", "two.ndb"}));
  EXPECT_EQ(list[0], ' ');
  EXPECT_EQ(list[strlen(list) - 1], ' ');
  PutMem(list);

  list = SearchDirFileList(d.c_str(), nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Words(list), (std::set<std::string>{"one.ndb", "two.ndb", "three.ndb_new", "ndb"}));
  PutMem(list);

  EXPECT_EQ(SearchDirFileList(d.c_str(), "html"), nullptr);
  EXPECT_EQ(SearchDirFileList(Sub("empty").c_str(), nullptr), nullptr);
  EXPECT_EQ(SearchDirFileList((dir + "/missing").c_str(), "ndb"), nullptr);
}

TEST_F(ComTable, ReadDirWalksAnOpenDirectory)
{
  std::string d = Sub("r");
  Touch(d + "/only");
  DIR *handle = opendir(d.c_str());
  ASSERT_NE(handle, nullptr);
  std::set<std::string> names;
  while (char *name = ReadDir(handle))
    names.insert(name);
  closedir(handle);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "only"}));
  EXPECT_EQ(ReadDir(nullptr), nullptr);
}

TEST_F(ComTable, EarlierDirectoryWinsAndSubstringsDoNotMatch)
{
  std::string first = Sub("first");
  std::string second = Sub("second");
  Touch(first + "/piomkpq");  // 67, in both directories
  Touch(second + "/piomkpq");
  Touch(first + "/psfont");  // not ps
  Touch(first + "/barx");    // not bar (56)
  Touch(second + "/bar");

  char *d1 = SaveStr_(first.c_str());
  char *d2 = SaveStr_(second.c_str());
  EXPECT_TRUE(FillCmdPaths(d1));
  EXPECT_EQ(ComList[67].path, d1);  // the directory string itself is kept
  EXPECT_EQ(ComList[55].path, nullptr);
  EXPECT_EQ(ComList[56].path, nullptr);
  EXPECT_TRUE(FillCmdPaths(d2));
  EXPECT_EQ(ComList[67].path, d1);
  EXPECT_EQ(ComList[56].path, d2);
  EXPECT_TRUE(FillCmdPaths(const_cast<char *>("/nonexistent/dir")));
}

TEST_F(ComTable, FillCmdPathWalksSystemDirectoriesThenPath)
{
  std::string a = Sub("a");
  std::string b = Sub("b");
  Touch(a + "/piomkpq");
  Touch(b + "/piomkpq");
  Touch(a + "/cat");  // the system's cat comes first
  Touch(a + "/lsquex");
  Touch(b + "/lsque");
  setenv("PATH", (a + ":" + b).c_str(), 1);

  EXPECT_TRUE(FillCmdPath(67));
  EXPECT_EQ(std::string(ComList[67].path), a);
  EXPECT_TRUE(FillCmdPath(78));
  EXPECT_EQ(std::string(ComList[78].path), b);
  ASSERT_FALSE(FirstSystemDir("cat").empty());
  EXPECT_TRUE(FillCmdPath(3));
  EXPECT_EQ(std::string(ComList[3].path), FirstSystemDir("cat"));
  EXPECT_EQ(std::string(FullSearchPath), std::string(SearchPaths) + ":" + a + ":" + b);
  EXPECT_FALSE(FillCmdPath(71));  // mkque: nowhere
  EXPECT_FALSE(FillCmdPath(0));
  EXPECT_FALSE(FillCmdPath(82));
}

TEST_F(ComTable, InitSysCmdListLocatesSetsShellAndLogsFirstLine)
{
  std::string a = Sub("a");
  std::string b = Sub("b");
  Touch(a + "/piomkpq");
  Touch(b + "/piomkpq");
  Touch(b + "/capture");
  Touch(a + "/sh");
  setenv("PATH", (a + ":" + b).c_str(), 1);
  flUseLog = 1;

  InitSysCmdList();

  EXPECT_EQ(flInitSysCmd, 0);
  EXPECT_EQ(flSysCmdLog, 1);
  EXPECT_EQ(std::string(ComList[67].path), a);
  EXPECT_EQ(std::string(ComList[64].path), b);
  EXPECT_EQ(std::string(ComList[31].path), FirstSystemDir("sh"));
  EXPECT_EQ(std::string(getenv("SHELL")), FirstSystemDir("sh") + "/sh ");
  EXPECT_EQ(ComList[71].path, nullptr);
  EXPECT_EQ(ReadAll(log), "initializing system\n");

  // Once filled in bulk, a command that was missing stays missing.
  Touch(a + "/mkque");
  EXPECT_FALSE(TestCmd(71));
  EXPECT_EQ(GetCmd(71), nullptr);
}

TEST_F(ComTable, WithoutPathOnlyTheBuiltInDirectoriesAreSearched)
{
  std::string a = Sub("a");
  Touch(a + "/piomkpq");
  unsetenv("PATH");
  InitSysCmdList();
  EXPECT_EQ(std::string(FullSearchPath), std::string(SearchPaths) + ":");
  EXPECT_EQ(ComList[67].path, nullptr);
  EXPECT_EQ(std::string(ComList[3].path), FirstSystemDir("cat"));
  EXPECT_FALSE(TestCmd(67));
  EXPECT_EQ(flSysCmdLog, 0);  // logging was off
  EXPECT_EQ(access(log.c_str(), F_OK), -1);
}

TEST_F(ComTable, TestCmdLooksUpLazilyBeforeTheBulkFill)
{
  std::string a = Sub("a");
  Touch(a + "/rmque");
  setenv("PATH", a.c_str(), 1);
  EXPECT_TRUE(TestCmd(73));
  EXPECT_EQ(std::string(ComList[73].path), a);
  EXPECT_FALSE(TestCmd(74));
  EXPECT_FALSE(TestCmd(0));
  EXPECT_FALSE(TestCmd(1));
  EXPECT_FALSE(TestCmd(82));
  EXPECT_FALSE(TestCmd(-3));
}

TEST_F(ComTable, GetCmdSpellsPathNameAndFlags)
{
  ComList[9].path = const_cast<char *>("/x/bin");
  ComList[3].path = const_cast<char *>("/y");
  char *cp = GetCmd(9);
  char *cat = GetCmd(3);
  char *catBare = GetCmdNoFlags(3);
  EXPECT_STREQ(cp, "/x/bin/cp -p");
  EXPECT_STREQ(cat, "/y/cat ");
  EXPECT_STREQ(catBare, "/y/cat");
  PutMem(cp);
  PutMem(cat);
  PutMem(catBare);
  EXPECT_EQ(GetCmd(36), nullptr);
  EXPECT_EQ(GetCmdNoFlags(82), nullptr);
  EXPECT_EQ(GetCmdNoFlags(-1), nullptr);
}
