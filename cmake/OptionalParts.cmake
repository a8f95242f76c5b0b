# Parts of the build that need a library the programs do not: the tests
# (GoogleTest) and the benchmarks (Google Benchmark).  Each part's setting is
#   AUTO  (the default) built when its library is found; when it is not, one
#         line at configure time says what was left out and why;
#   ON    built, and a missing library is an error;
#   OFF   left out.

# Decides whether the part that `setting` (FEED_BUILD_TESTS, ...) governs is
# built, and sets `setting` to ON or OFF for the rest of the configuration.
# `needs` is a CMake package name, or a file (an absolute path) that must
# exist; `what` names the part and `library` what it needs, for the messages.
function(feed_optional_part setting what needs library)
  set(${setting} AUTO CACHE STRING "Build the ${what}: AUTO (when ${library} is found), ON or OFF")
  set_property(CACHE ${setting} PROPERTY STRINGS AUTO ON OFF)
  set(choice "${${setting}}")
  if(NOT choice STREQUAL "AUTO" AND NOT choice)
    set(${setting} OFF PARENT_SCOPE)
    return()
  endif()
  if(IS_ABSOLUTE "${needs}")
    if(EXISTS "${needs}")
      set(found TRUE)
    else()
      set(found FALSE)
    endif()
  else()
    # Imported targets of a package found here are seen by every directory.
    find_package(${needs} QUIET)
    set(found ${${needs}_FOUND})
  endif()
  if(found)
    set(${setting} ON PARENT_SCOPE)
  elseif(choice STREQUAL "AUTO")
    message(STATUS "${what} left out: ${library} not found (-D${setting}=ON makes this an error)")
    set(${setting} OFF PARENT_SCOPE)
  else()
    message(FATAL_ERROR "${setting} is ${choice}, but ${library} was not found")
  endif()
endfunction()
