// Where the standard streams lead, on Windows.
#include "platform/terminal.h"

#include <io.h>
#include <windows.h>

namespace platform {
namespace {

HANDLE handle_of(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

bool is_terminal(std::FILE* stream) { return is_console(handle_of(stream)); }

// A process has at most one console; a disk file is known by its volume and
// its index on the volume.  Pipes cannot be told apart and count as different.
bool same_destination(std::FILE* a, std::FILE* b) {
  const HANDLE first = handle_of(a);
  const HANDLE second = handle_of(b);
  if (is_console(first) || is_console(second)) return is_console(first) && is_console(second);
  if (GetFileType(first) != FILE_TYPE_DISK || GetFileType(second) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION one{};
  BY_HANDLE_FILE_INFORMATION other{};
  return GetFileInformationByHandle(first, &one) && GetFileInformationByHandle(second, &other) &&
         one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

}  // namespace platform
