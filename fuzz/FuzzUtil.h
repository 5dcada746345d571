// Helpers shared by the fuzz targets: checks that stop the run, splitting an
// input into fields, and a private scratch directory for file readers.
#ifndef NORVO_FUZZ_UTIL_H
#define NORVO_FUZZ_UTIL_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

// A property of the reader that must hold for every input: a failure is a
// finding, reported like a crash (the input is kept by the fuzzer).
#define FUZZ_CHECK(cond)                                                                           \
  do {                                                                                             \
    if (!(cond)) {                                                                                 \
      fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond);                  \
      abort();                                                                                     \
    }                                                                                              \
  } while (0)

// Scopes the pool: from FuzzPoolScope(true) on, every pool allocation not
// released by the reader is released at FuzzPoolScope(false). For readers
// that keep what they read for the life of the process (their own state must
// be forgotten first).
void FuzzPoolScope(bool on);

// The input cut at its zero bytes into n texts (missing ones empty, the last
// one takes the rest with its zero bytes dropped).
inline std::vector<std::string> FuzzFields(const uint8_t *data, size_t size, size_t n)
{
  std::vector<std::string> fields(n);
  size_t f = 0;
  for (size_t i = 0; i < size; i++) {
    if (data[i] == 0) {
      if (f + 1 < n)
        f++;
      continue;
    }
    fields[f] += static_cast<char>(data[i]);
  }
  return fields;
}

// A directory of this process's own under /dev/shm (or /tmp), made on first
// use and removed at exit.
inline const std::string &FuzzDir()
{
  static std::string dir = [] {
    std::string tmpl =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm/norvo-fuzz.XXXXXX" : "/tmp/norvo-fuzz.XXXXXX";
    if (!mkdtemp(tmpl.data()))
      abort();
    static std::string removeAtExit;
    removeAtExit = tmpl;
    atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(removeAtExit, ignored);
    });
    return tmpl;
  }();
  return dir;
}

// Replaces path by the bytes given.
inline void FuzzWriteFile(const std::string &path, const void *data, size_t size)
{
  FILE *f = fopen(path.c_str(), "wb");
  if (!f || fwrite(data, 1, size, f) != size || fclose(f) != 0)
    abort();
}

#endif
