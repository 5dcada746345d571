// The input-file readers over arbitrary files: GetFileLine with its
// continuation lines, GetFileTextLine, GetLine with and without comment
// filtering, the whole-file readers and FileSearch. The input is the file.
//
// Checked beyond the sanitizers: the buffers stay terminated within their
// sizes, every reader ends, and the joined lines of GetFileLine are the
// file's bytes in order (nothing lost or repeated while no line is cut).
#include <cstring>

#include "fuzz/FuzzUtil.h"
#include "utils/utils.h"

namespace {

std::string FilePath()
{
  static std::string path = FuzzDir() + "/input.txt";
  return path;
}

// GetFileLine over the whole file: its lines, put together, are the file
// (unless it holds a zero byte, which ends a line's text early).
void ReadJoinedLines(const std::string &file)
{
  FUZZ_CHECK(OpenInputFile(FilePath().c_str(), 0) == 1);
  std::string joined;
  size_t lines = 0;
  bool cut = file.find('\0') != std::string::npos;
  while (GetFileLine()) {
    size_t len = strnlen(LineBuf, LINEBUF_SIZE);
    FUZZ_CHECK(len < LINEBUF_SIZE);
    FUZZ_CHECK(LineLen >= 0 && static_cast<size_t>(LineLen) <= len);
    joined.append(LineBuf, len);
    FUZZ_CHECK(++lines <= file.size());
  }
  FUZZ_CHECK(FileStatus == 1 && !pIn);
  FUZZ_CHECK(GetFileLine() == 0);
  if (!cut)
    FUZZ_CHECK(joined == file);
}

void ReadFirstWords(size_t fileSize)
{
  FUZZ_CHECK(OpenInputFile(FilePath().c_str(), 0) == 1);
  size_t lines = 0;
  while (GetFileTextLine(" \t\r\n")) {
    size_t len = strnlen(LineBuf, LINEBUF_SIZE);
    FUZZ_CHECK(len > 0 && len < TOKENBUF_SIZE);
    FUZZ_CHECK(++lines <= fileSize);
  }
  CloseInputFile();
}

void ReadFilteredLines(int filter, size_t fileSize)
{
  flInputFilterState = filter;
  FUZZ_CHECK(OpenInputFile(FilePath().c_str(), 0) == 1);
  size_t physical = 0;
  for (int n; (n = GetLine()) > 0;) {
    FUZZ_CHECK(n == LineCnt && pLine == Line);
    FUZZ_CHECK(strnlen(Line, 512) < 512);
    FUZZ_CHECK(InPos >= 0 && static_cast<size_t>(InPos) <= fileSize);
    physical += static_cast<size_t>(n);
    FUZZ_CHECK(physical <= fileSize);
  }
  CloseInputFile();
  flInputFilterState = 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  std::string file(reinterpret_cast<const char *>(data), size);
  FuzzWriteFile(FilePath(), data, size);
  ReadJoinedLines(file);
  ReadFirstWords(size);
  ReadFilteredLines(1, size);
  ReadFilteredLines(0, size);

  // The whole-file readers keep their buffers' bounds.
  std::string dir = FuzzDir();
  if (GetFileContent(dir.c_str(), "input.txt"))
    FUZZ_CHECK(strnlen(LineBuf, LINEBUF_SIZE) < LINEBUF_SIZE);
  char small[17];
  FUZZ_CHECK(GetFileContentR(dir.c_str(), "input.txt", small, sizeof small) == 1);
  FUZZ_CHECK(strnlen(small, sizeof small) < sizeof small);
  if (char *whole = GetSavedFileContent(dir.c_str(), "input.txt")) {
    FUZZ_CHECK(SavedFileSize == static_cast<long>(size));
    FUZZ_CHECK(size <= 1 || memcmp(whole, data, size) == 0);
    PutMem(whole);
  } else {
    FUZZ_CHECK(size == 0);
  }
  // A pattern taken from the file itself, so that it is sometimes found.
  std::string pattern = file.substr(size / 2, 3);
  if (char *line = FileSearch(FilePath().c_str(), pattern.c_str(), 0))
    FUZZ_CHECK(strnlen(line, 512) < 512);
  return 0;
}
