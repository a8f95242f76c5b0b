// The POSIX calls the unit tests make, over the Windows C runtime.  Included
// ahead of every test source in the Windows build only.
#pragma once

#include <direct.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

// Replaces the trailing XXXXXX of `pattern` and creates that directory.
inline char* mkdtemp(char* pattern) {
  const std::size_t length = strlen(pattern);
  if (length < 6) return nullptr;
  const std::string original(pattern);
  for (int attempt = 0; attempt < 100; ++attempt) {
    memcpy(pattern, original.c_str(), length + 1);
    if (_mktemp_s(pattern, length + 1) != 0) return nullptr;
    if (_mkdir(pattern) == 0) return pattern;
  }
  return nullptr;
}

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name) != nullptr) return 0;
  return _putenv_s(name, value);
}

#ifndef _POSIX_THREAD_SAFE_FUNCTIONS
inline tm* localtime_r(const time_t* t, tm* result) {
  return localtime_s(result, t) == 0 ? result : nullptr;
}
#endif
