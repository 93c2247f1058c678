# Install rules. The program and its poem database share one program directory,
# where the game looks for db21.mdb, VerseQuest.ico and bg_poetry.bmp; the
# launcher is a relative symbolic link to the program, so an installed tree
# works wherever it is unpacked.
#   plain install:  bin/versequest -> ../lib/versequest/VerseQuest
#   Debian package: games/versequest -> ../lib/games/versequest/VerseQuest
if(WIN32)
  return()  # packaging/windows.cmake lays out the Windows program folder
endif()
include(GNUInstallDirs)
if(VERSEQUEST_DEBIAN_PACKAGE)
  set(VQ_INSTALL_LAUNCHER_DIR games)
  set(VQ_INSTALL_PROGRAM_DIR lib/games/versequest)
  set(VQ_INSTALL_MAN6_DIR share/man/man6)
else()
  set(VQ_INSTALL_LAUNCHER_DIR ${CMAKE_INSTALL_BINDIR})
  set(VQ_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/versequest)
  set(VQ_INSTALL_MAN6_DIR ${CMAKE_INSTALL_MANDIR}/man6)
endif()
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(VQ_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VQ_PACKAGING_BUILD_DIR ${CMAKE_BINARY_DIR}/packaging)
# The desktop entry, the metainfo and the running program (TApplication) share
# this id; change it in all three places.
set(VQ_APP_ID io.github.versequest.versequest)
set(VERSEQUEST_HOMEPAGE "https://versequest.example.org/" CACHE STRING
    "Home page of the game; the software-centre metadata points there for its screenshot")
set(VERSEQUEST_MAINTAINER "VerseQuest maintainers <maintainers@users.noreply.c-seed-abadff13.example>"
    CACHE STRING "Maintainer named in the Debian package")
set(VQ_RELEASE_DATE 2026-12-08)

install(TARGETS VerseQuest RUNTIME DESTINATION ${VQ_INSTALL_PROGRAM_DIR})
install(FILES ${VQ_BIN_DIR}/db21.mdb DESTINATION ${VQ_INSTALL_PROGRAM_DIR} OPTIONAL)

file(RELATIVE_PATH VQ_LAUNCHER_TARGET /prefix/${VQ_INSTALL_LAUNCHER_DIR}
     /prefix/${VQ_INSTALL_PROGRAM_DIR}/VerseQuest)
file(MAKE_DIRECTORY ${VQ_PACKAGING_BUILD_DIR})
file(CREATE_LINK ${VQ_LAUNCHER_TARGET} ${VQ_PACKAGING_BUILD_DIR}/versequest SYMBOLIC)
install(FILES ${VQ_PACKAGING_BUILD_DIR}/versequest DESTINATION ${VQ_INSTALL_LAUNCHER_DIR})

# The desktop entry names the launcher by its absolute path, known at install time.
install(CODE "
  set(VQ_LAUNCHER \"\${CMAKE_INSTALL_PREFIX}/${VQ_INSTALL_LAUNCHER_DIR}/versequest\")
  configure_file(${VQ_PACKAGING_DIR}/versequest.desktop.in
                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/${VQ_APP_ID}.desktop\" @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/${VQ_APP_ID}.desktop\")
")
configure_file(${VQ_PACKAGING_DIR}/versequest.metainfo.xml.in
               ${VQ_PACKAGING_BUILD_DIR}/${VQ_APP_ID}.metainfo.xml @ONLY)
install(FILES ${VQ_PACKAGING_BUILD_DIR}/${VQ_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${VQ_PACKAGING_DIR}/icons/versequest.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 64 128 256)
  install(FILES ${VQ_PACKAGING_DIR}/icons/versequest-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME versequest.png)
endforeach()

# Manual page and Debian changelog, compressed without a time stamp so that
# the package is the same from build to build.
find_program(VQ_GZIP gzip REQUIRED)
# vq_gzip(SOURCE NAME): writes packaging/NAME.gz in the build tree.
function(vq_gzip source name)
  set(output ${VQ_PACKAGING_BUILD_DIR}/${name})
  add_custom_command(OUTPUT ${output}.gz
                     COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}
                     COMMAND ${VQ_GZIP} -9 -n -f ${output}
                     DEPENDS ${source} VERBATIM)
  set_property(GLOBAL APPEND PROPERTY VQ_GZIPPED ${output}.gz)
endfunction()
configure_file(${VQ_PACKAGING_DIR}/versequest.6.in ${VQ_PACKAGING_BUILD_DIR}/versequest.6.in @ONLY)
vq_gzip(${VQ_PACKAGING_BUILD_DIR}/versequest.6.in versequest.6)
install(FILES ${VQ_PACKAGING_BUILD_DIR}/versequest.6.gz DESTINATION ${VQ_INSTALL_MAN6_DIR})

if(VERSEQUEST_DEBIAN_PACKAGE)
  include(${VQ_PACKAGING_DIR}/debian.cmake)
endif()
get_property(VQ_GZIPPED GLOBAL PROPERTY VQ_GZIPPED)
add_custom_target(versequest_packaging_files ALL DEPENDS ${VQ_GZIPPED})
