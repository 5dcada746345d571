// A fresh temporary base directory for database tests: pToolPath points at
// it and it is the working directory, so <base>/db and ./db are one folder.
#ifndef NORVO_TESTS_DBM_TESTDIR_H
#define NORVO_TESTS_DBM_TESTDIR_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/ChildProcess.h"
#include "common/TempDir.h"
#include "dbm/Dbm.h"
#include "utils/utils.h"

class DbmTest : public testing::Test {
protected:
  TempDir tmp;
  std::string base;
  std::string oldCwd;

  void SetUp() override
  {
    my_name = SaveStr_("test_dbm");
    ASSERT_FALSE(tmp.path().empty());
    base = tmp.path();
    oldCwd = std::filesystem::current_path();
    ASSERT_EQ(chdir(base.c_str()), 0);
    pToolPath = SaveStr_(base.c_str());
  }

  void TearDown() override
  {
    if (!oldCwd.empty())
      (void)chdir(oldCwd.c_str());
    pToolPath = nullptr;
  }

  std::string DbFile(const std::string &name) const { return base + "/db/" + name + ".ndb"; }

  static std::string ReadBytes(const std::string &path) { return testcommon::ReadAll(path); }

  static void WriteBytes(const std::string &path, const std::string &bytes)
  {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    // A new file rather than a truncated one: ext4 flushes truncated
    // files on close, which makes loops of rewrites slow.
    std::filesystem::remove(path);
    testcommon::WriteFile(path, bytes);
  }
};

#endif
