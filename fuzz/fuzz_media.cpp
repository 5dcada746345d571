// The distribution list: GetDisksData over an arbitrary "disks" or "DISKS"
// file (the first input byte picks the name, the rest is the file), then
// the segment walk of genZFile over it. The list names no segment that
// exists, so no command runs.
//
// Checked beyond the sanitizers: LineBuf holds the file's first 4095 bytes,
// upper-cased up to end_of_list when the list came as DISKS, and the walk
// joins nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "fuzz/FuzzUtil.h"
#include "installer/setup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size == 0)
    return 0;
  static const std::string dir = [] {
    std::string d = FuzzDir() + "/medium";
    mkdir(d.c_str(), 0700);
    return d;
  }();
  bool dos = data[0] & 1;
  std::string file(reinterpret_cast<const char *>(data + 1), size - 1);
  unlink((dir + "/disks").c_str());
  unlink((dir + "/DISKS").c_str());
  FuzzWriteFile(dir + (dos ? "/DISKS" : "/disks"), file.data(), file.size());

  FUZZ_CHECK(GetDisksData(dir.c_str()) == 1);
  std::string want = file.substr(0, LINEBUF_SIZE - 1);
  want = std::string(want.c_str());  // the text ends at a zero byte
  if (dos) {
    size_t end = want.find("end_of_list");
    for (size_t i = 0; i < want.size() && i < end; i++)
      want[i] = static_cast<char>(toupper(static_cast<unsigned char>(want[i])));
  }
  FUZZ_CHECK(strnlen(LineBuf, LINEBUF_SIZE) < LINEBUF_SIZE && want == LineBuf);

  pNorvoInstallDir = const_cast<char *>(dir.c_str());
  genZFile();
  FUZZ_CHECK(access((dir + "/Linuxi386Npxx.tar.Z").c_str(), F_OK) != 0);
  return 0;
}
