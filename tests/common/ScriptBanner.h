// The banner every script the installer generates carries behind its shell
// line: five lines of 63 columns, the third with the year, and an empty line.
#ifndef NORVO_TESTS_SCRIPTBANNER_H
#define NORVO_TESTS_SCRIPTBANNER_H

#include <string>

inline std::string ScriptBanner(int year)
{
  std::string hashes(63, '#'), empty = "##" + std::string(59, ' ') + "##";
  return hashes + "\n" + empty + "\n" + "##  Copyright (c) " + std::to_string(year) +
         " Norvo Systems.  All rights reserved.  ##\n" + empty + "\n" + hashes + "\n\n";
}

#endif
