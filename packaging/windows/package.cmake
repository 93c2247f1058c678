# The texts of the program folder and the zip and installer that CPack makes
# of it (read by packaging/windows.cmake).
#
# Texts for Notepad: UTF-8 with a byte-order mark, which every Notepad reads as
# UTF-8 (without one, Notepad before Windows 10 1903 and Wine's read the ANSI
# code page), and Windows line ends.
set(VQ_WINDOWS_TEXTS ${CMAKE_BINARY_DIR}/packaging-windows)
string(ASCII 239 187 191 VQ_BOM)
function(vq_notepad_text output text)
  # Written only when it changes, so that nothing depending on it is redone.
  file(CONFIGURE OUTPUT ${output} CONTENT "${VQ_BOM}${text}" @ONLY NEWLINE_STYLE CRLF)
endfunction()
foreach(source ${VQ_WINDOWS_DIR}/README-Windows.txt ${VQ_WINDOWS_DIR}/THIRD-PARTY.txt ${CMAKE_SOURCE_DIR}/LICENSE)
  get_filename_component(name ${source} NAME_WE)
  file(READ ${source} text)
  vq_notepad_text(${VQ_WINDOWS_TEXTS}/${name}.txt "${text}")
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endforeach()
install(FILES ${VQ_WINDOWS_TEXTS}/README-Windows.txt ${VQ_WINDOWS_TEXTS}/LICENSE.txt DESTINATION .)
install(FILES ${VQ_WINDOWS_TEXTS}/THIRD-PARTY.txt DESTINATION licenses)

# The installer's licence page wraps its text at the page's width: one line per
# paragraph. The Chinese page has a summary of what the licence permits above it.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
string(STRIP "${licence}" licence)
string(REGEX REPLACE "\n\n+" "\r" licence "${licence}")
string(REPLACE "\n" " " licence "${licence}")
string(REPLACE "\r" "\n\n" licence "${licence}")
file(READ ${VQ_WINDOWS_DIR}/licence-summary-zh.txt summary)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VQ_WINDOWS_DIR}/licence-summary-zh.txt)
set(VQ_LICENCE_PAGE_EN ${VQ_WINDOWS_TEXTS}/licence-page-en.txt)
set(VQ_LICENCE_PAGE_ZH ${VQ_WINDOWS_TEXTS}/licence-page-zh.txt)
vq_notepad_text(${VQ_LICENCE_PAGE_EN} "${licence}\n")
vq_notepad_text(${VQ_LICENCE_PAGE_ZH} "${summary}\n${licence}\n")

# ---- Zip and installer ----------------------------------------------------------------------
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME VerseQuest)
set(CPACK_PACKAGE_VENDOR VerseQuest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME VerseQuest-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY VerseQuest)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "青简堂诗词猜诗: guess the title of a classical Chinese poem")
set(CPACK_RESOURCE_FILE_LICENSE ${VQ_LICENCE_PAGE_EN})
set(CPACK_STRIP_FILES OFF)  # stripped by the build (-s)
# The installer's own template (nsis/NSIS.template.in): its texts in Simplified
# Chinese and English, the desktop shortcut, the uninstall entry.
list(APPEND CMAKE_MODULE_PATH ${VQ_WINDOWS_DIR}/nsis)
set(CPACK_NSIS_VQ_LICENCE_EN ${VQ_LICENCE_PAGE_EN})
set(CPACK_NSIS_VQ_LICENCE_ZH ${VQ_LICENCE_PAGE_ZH})
# A 64-bit Unicode installer; its name ends in -setup.exe (cpack-options.cmake).
set(CPACK_NSIS_DEFINES "  Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# Also the Start-menu folder and the name of the game's shortcuts.
set(CPACK_NSIS_PACKAGE_NAME "青简堂诗词猜诗")
set(CPACK_NSIS_DISPLAY_NAME "青简堂诗词猜诗 VerseQuest")
set(CPACK_NSIS_MUI_ICON ${VQ_WINDOWS_DIR}/versequest.ico)
set(CPACK_NSIS_MUI_UNIICON ${VQ_WINDOWS_DIR}/versequest.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME VerseQuest.exe)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES VerseQuest "青简堂诗词猜诗")
set(CPACK_NSIS_MUI_FINISHPAGE_RUN VerseQuest.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_PROJECT_CONFIG_FILE ${VQ_WINDOWS_DIR}/cpack-options.cmake)
include(CPack)
