// Process-level services on Windows.
#include "platform/system.h"

#include "portable/date_text.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace platform {
namespace {

// Setting this variable to any non-empty value keeps the box away even on a
// desktop, for scripts run from a console window.
constexpr const char* kNoBoxVariable = "FEEDCAST_NO_ERROR_BOX";

// True when a person can be expected to see and dismiss a box: the process
// runs in the visible window station of a logged-on user, its standard error
// is a console (not redirected to a file or a pipe, as in scripts, scheduled
// tasks and tests) and that console has a visible window.
bool someone_is_watching() {
  const char* opt_out = std::getenv(kNoBoxVariable);
  if (opt_out != nullptr && *opt_out != '\0') return false;
  USEROBJECTFLAGS flags{};
  const HWINSTA station = GetProcessWindowStation();
  if (station == nullptr ||
      !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) ||
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    return false;
  }
  DWORD mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode)) return false;
  const HWND window = GetConsoleWindow();
  return window != nullptr && IsWindowVisible(window);
}

}  // namespace

std::string path_in_current_directory(std::string_view file_name) {
  std::string directory;
  // The needed size includes the terminating zero; the directory may change
  // between the two calls, so ask again until it fits.
  for (DWORD size = GetCurrentDirectoryA(0, nullptr); size != 0;) {
    directory.resize(size);
    const DWORD length = GetCurrentDirectoryA(size, directory.data());
    if (length < size) {
      directory.resize(length);
      break;
    }
    size = length;
  }
  if (directory.empty() || (directory.back() != '\\' && directory.back() != '/')) {
    directory += kPathSeparator;
  }
  directory += file_name;
  return directory;
}

std::string absolute_path(std::string_view path) {
  // The system's rules: drive letters, UNC names, "\\dir" on the current drive.
  const std::string given(path);
  std::string full;
  for (DWORD size = GetFullPathNameA(given.c_str(), 0, nullptr, nullptr); size != 0;) {
    full.resize(size);
    const DWORD length = GetFullPathNameA(given.c_str(), size, full.data(), nullptr);
    if (length < size) {
      full.resize(length);
      return full;
    }
    size = length;
  }
  return given;
}

int last_error() { return static_cast<int>(GetLastError()); }

int write_error() {
  const DWORD error = GetLastError();
  return static_cast<int>(error != 0 ? error : ERROR_WRITE_FAULT);
}

std::string error_text(int error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length != 0 ? std::string(text, length) : "error " + std::to_string(error);
  LocalFree(text);
  // Without the line end and the full stop, as the POSIX texts stand.
  while (!message.empty() && std::strchr("\r\n .", message.back()) != nullptr) message.pop_back();
  return message;
}

void show_error_box(std::string_view text) {
  if (someone_is_watching()) {
    const std::string message(text);
    MessageBoxA(nullptr, message.c_str(), "Error", MB_OK | MB_ICONERROR);
  }
}

std::int64_t current_time() { return static_cast<std::int64_t>(_time64(nullptr)); }

// Sleep(0) gives up the rest of the time slice, as the interface asks.
void sleep_milliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }

std::string local_date_text(std::uint32_t seconds) {
  _putenv("TZ=");
  _tzset();
  const __time64_t t = seconds;
  tm local{};
  if (_localtime64_s(&local, &t) != 0) return {};
  return portable::classic_date_text(local);
}

std::string system_description() {
  // RtlGetVersion tells the true version, which GetVersionEx hides from a
  // program without a manifest that names it.
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const auto get = ntdll == nullptr ? nullptr
                                    : reinterpret_cast<GetVersion>(reinterpret_cast<void*>(
                                          GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (get == nullptr || get(&version) != 0) return "Windows";
  return "Windows " + std::to_string(version.dwMajorVersion) + "." +
         std::to_string(version.dwMinorVersion) + " build " + std::to_string(version.dwBuildNumber);
}

// The system's heap gives the pages of large free blocks back (decommits
// them) by itself.
void return_large_blocks_when_freed() {}

}  // namespace platform
