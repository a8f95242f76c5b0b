# Cross build for i686 Windows with Debian's mingw-w64 (the -posix variant,
# which has std::thread and std::mutex).  Links statically, so that each .exe
# stands alone.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(FEED_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Programs built here run under Wine (ctest, test discovery).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
