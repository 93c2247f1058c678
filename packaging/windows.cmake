# The 64-bit Windows build, cross-compiled with mingw-w64 against the Qt and
# the libraries scripts/windows-deps.sh builds (scripts/package-windows.sh and
# scripts/test-windows.sh configure it):
#   - SQLite, libmdb and GoogleTest are found in VERSEQUEST_WINDOWS_DEPS;
#   - programs of the build (mkpoemdb for db21.mdb, the test suites) run under
#     Wine through a generated wrapper, CTest's cross emulator;
#   - VerseQuest.exe is a GUI program with its icon and version information;
#   - the install tree is the program folder of the zip and of the installer
#     (CPack: ZIP and NSIS), with every DLL and Qt plugin the game loads.
if(NOT WIN32)
  return()
endif()

set(VQ_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR}/windows)
set(VERSEQUEST_WINDOWS_DEPS "" CACHE PATH
    "Windows builds of SQLite, libmdb and GoogleTest (the deps folder of scripts/windows-deps.sh)")
if(NOT VERSEQUEST_WINDOWS_DEPS)
  message(FATAL_ERROR "Set VERSEQUEST_WINDOWS_DEPS to the deps folder that scripts/windows-deps.sh builds")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${VERSEQUEST_WINDOWS_DEPS})
set(ENV{PKG_CONFIG_LIBDIR} ${VERSEQUEST_WINDOWS_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The mingw runtime DLLs every program of the build needs.
set(VQ_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
  endif()
  list(APPEND VQ_MINGW_RUNTIME ${path})
endforeach()

set(VERSEQUEST_KAI_FONT /usr/share/fonts/truetype/arphic/ukai.ttc CACHE FILEPATH "The Kai font shipped with the game")

# ---- Running the build's programs under Wine ---------------------------------------------
find_program(VQ_WINE wine)
if(VQ_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(VQ_WINE_DLL_DIRS ${QT6_INSTALL_PREFIX}/bin ${VERSEQUEST_WINDOWS_DEPS}/bin)
  foreach(path IN LISTS VQ_MINGW_RUNTIME)
    get_filename_component(dir ${path} REALPATH)
    get_filename_component(dir ${dir} DIRECTORY)
    list(APPEND VQ_WINE_DLL_DIRS ${dir})
  endforeach()
  list(REMOVE_DUPLICATES VQ_WINE_DLL_DIRS)
  # Wine's drive Z: is the root folder.
  list(TRANSFORM VQ_WINE_DLL_DIRS PREPEND "Z:")
  list(TRANSFORM VQ_WINE_DLL_DIRS REPLACE "/" "\\\\")
  list(JOIN VQ_WINE_DLL_DIRS ";" VQ_WINE_PATH)
  # The suites draw on the offscreen platform, whose font database reads one
  # folder: the Kai face and the sans face the Linux suites find.
  set(VQ_TEST_FONTS ${CMAKE_BINARY_DIR}/test-fonts)
  file(GLOB VQ_SANS_FONTS /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
                          /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf)
  file(MAKE_DIRECTORY ${VQ_TEST_FONTS})
  foreach(font ${VERSEQUEST_KAI_FONT} ${VQ_SANS_FONTS})
    get_filename_component(name ${font} NAME)
    file(CREATE_LINK ${font} ${VQ_TEST_FONTS}/${name} SYMBOLIC)
  endforeach()
  string(REPLACE "/" "\\" VQ_WINE_TEST_FONTS "Z:${VQ_TEST_FONTS}")
  configure_file(${VQ_WINDOWS_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()

# ---- The program: GUI subsystem, icon and version ------------------------------------------
configure_file(${VQ_WINDOWS_DIR}/versequest.rc.in ${CMAKE_BINARY_DIR}/generated/versequest.rc @ONLY)
function(vq_windows_program)
  set_target_properties(VerseQuest PROPERTIES WIN32_EXECUTABLE ON)
  target_sources(VerseQuest PRIVATE ${CMAKE_BINARY_DIR}/generated/versequest.rc)
  # The installed ODBC drivers are listed through the driver manager (library/odbc_drivers.cpp).
  target_link_libraries(versequest_db PRIVATE odbc32)
  install(TARGETS VerseQuest RUNTIME DESTINATION .)
endfunction()
# Once the targets exist: this file is read before src/.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL vq_windows_program)

# ---- The program folder ---------------------------------------------------------------------
# Everything sits beside VerseQuest.exe; qt.conf points Qt at the plugins
# and translations there.
set(VQ_QT ${QT6_INSTALL_PREFIX})
install(FILES ${VQ_BIN_DIR}/db21.mdb DESTINATION .)
install(FILES ${VQ_QT}/bin/Qt6Core.dll ${VQ_QT}/bin/Qt6Gui.dll ${VQ_QT}/bin/Qt6Widgets.dll ${VQ_QT}/bin/Qt6Sql.dll
              ${VERSEQUEST_WINDOWS_DEPS}/bin/sqlite3.dll ${VERSEQUEST_WINDOWS_DEPS}/bin/libmdb-3.dll
              ${VQ_MINGW_RUNTIME} ${VQ_WINDOWS_DIR}/qt.conf
        DESTINATION .)
# The windows platform, and the offscreen one that --check uses; the native
# style; the SQLite driver of the bundled poems and the ODBC driver of the
# poem server; the .ico reader for VerseQuest.ico.
foreach(plugin platforms/qwindows platforms/qoffscreen styles/qwindowsvistastyle sqldrivers/qsqlite
               sqldrivers/qsqlodbc imageformats/qico)
  get_filename_component(folder ${plugin} DIRECTORY)
  install(FILES ${VQ_QT}/plugins/${plugin}.dll DESTINATION plugins/${folder})
endforeach()
install(FILES ${VQ_QT}/translations/qtbase_zh_CN.qm ${VQ_QT}/translations/qtbase_zh_TW.qm DESTINATION translations)
# A Kai face for the verses where Windows has none (see RegisterFontSubstitutes).
install(FILES ${VERSEQUEST_KAI_FONT} DESTINATION fonts RENAME ukai.ttc)
install(FILES ${CMAKE_SOURCE_DIR}/data/poems/LICENSE-chinese-poetry.txt ${CMAKE_SOURCE_DIR}/data/poems/README.md
        DESTINATION licenses/poems)
install(FILES /usr/share/doc/libqt6core6/copyright DESTINATION licenses/qt RENAME copyright.txt)
install(FILES /usr/share/common-licenses/LGPL-3 DESTINATION licenses/qt RENAME LGPL-3.txt)
install(FILES /usr/share/common-licenses/GPL-3 DESTINATION licenses/qt RENAME GPL-3.txt)
install(FILES ${VERSEQUEST_WINDOWS_DEPS}/mdbtools-COPYING.LIB DESTINATION licenses/mdbtools RENAME COPYING.LIB.txt)
install(FILES /usr/share/doc/fonts-arphic-ukai/copyright DESTINATION licenses/fonts RENAME ukai-copyright.txt)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses/mingw-w64 RENAME copyright.txt)

# Qt and the mingw runtime come with their symbol tables; the folder does without.
find_program(VQ_MINGW_STRIP x86_64-w64-mingw32-strip REQUIRED)
install(CODE "
  file(GLOB_RECURSE vq_binaries \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
  execute_process(COMMAND ${VQ_MINGW_STRIP} --strip-unneeded \${vq_binaries} COMMAND_ERROR_IS_FATAL ANY)
")

# ---- Texts for Notepad, zip and installer ----------------------------------------------------
include(${VQ_WINDOWS_DIR}/package.cmake)
