# Installation layout and the Debian package.
#
#   cmake --install build --prefix /usr/local
#   cd build && cpack -G DEB        # feedtools_<version>_<arch>.deb
#
# The package installs under /usr: the programs, their manual pages, the
# sample configurations in /usr/share/doc/feedtools/examples, the Wireshark
# dissector where Debian's Wireshark looks for Lua plugins and the systemd
# template unit feedcast@.service (not enabled).

include(GNUInstallDirs)

# Wireshark loads Lua plugins from <libdir>/wireshark/plugins, on Debian the
# multiarch directory /usr/lib/<triplet>/wireshark/plugins ("Global Lua
# Plugins" in `tshark -G folders`).  Its versioned subdirectories hold binary
# plugins; a Lua script at the top serves every version.  Wireshark searches
# only its own prefix: under another prefix, copy the file to
# ~/.local/lib/wireshark/plugins or load it with -X lua_script:FILE.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(_plugin_dir "lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins")
else()
  set(_plugin_dir "lib/wireshark/plugins")
endif()
set(FEED_WIRESHARK_PLUGIN_DIR "${_plugin_dir}" CACHE STRING
    "Where the Wireshark dissector is installed, relative to the prefix")

set(FEED_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME}")

# systemd reads units from lib/systemd/system below /usr and below /usr/local.
set(FEED_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING
    "Where the systemd unit feedcast@.service is installed, relative to the prefix")

# Manual pages and the changelog go out compressed, as Debian wants them, into
# ${PROJECT_BINARY_DIR}/compressed with the suffix FEED_DOC_SUFFIX (plain
# copies where there is no gzip).
find_program(FEED_GZIP gzip)
if(FEED_GZIP)
  set(FEED_DOC_SUFFIX .gz)
else()
  set(FEED_DOC_SUFFIX "")
endif()
set(_docs)
foreach(doc man/feedcast.1 man/feedwatch.1 man/feedcast.ini.5 cmake/debian/changelog)
  get_filename_component(_name "${doc}" NAME)
  set(_output "${PROJECT_BINARY_DIR}/compressed/${_name}${FEED_DOC_SUFFIX}")
  if(FEED_GZIP)
    set(_make ${FEED_GZIP} -9 -n -c "${PROJECT_SOURCE_DIR}/${doc}" > "${_output}")
  else()
    set(_make ${CMAKE_COMMAND} -E copy "${PROJECT_SOURCE_DIR}/${doc}" "${_output}")
  endif()
  add_custom_command(OUTPUT "${_output}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${PROJECT_BINARY_DIR}/compressed"
    COMMAND ${_make}
    DEPENDS "${PROJECT_SOURCE_DIR}/${doc}"
    VERBATIM)
  list(APPEND _docs "${_output}")
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${_docs})

# CPack, Debian generator.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VENDOR "feedtools")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "statistics feed generator and monitor over IPv4 multicast")
set(CPACK_PACKAGE_DESCRIPTION [[
feedcast multicasts a contact-centre real-time statistics feed whose every
value comes from a configuration file. feedwatch joins the group on every
address of its host and prints every packet, header and records. For people
who build or debug applications that consume such a feed.
.
Includes manual pages, sample configurations for all six statistic kinds
and a Lua dissector that lets Wireshark and tshark decode the feed.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(FEED_PACKAGE_MAINTAINER "feedtools maintainers <feedtools@example.org>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${FEED_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tshark | wireshark")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/cmake/debian/postinst;${PROJECT_SOURCE_DIR}/cmake/debian/postrm")
include(CPack)
