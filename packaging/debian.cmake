# The Debian package (scripts/package.sh): documentation files Debian asks
# for, and CPack's DEB generator. Depends come from the linked libraries
# (dpkg-shlibdeps) plus what the game loads at run time that no linker sees.
configure_file(${VQ_PACKAGING_DIR}/debian/changelog.in ${VQ_PACKAGING_BUILD_DIR}/changelog.in @ONLY)
vq_gzip(${VQ_PACKAGING_BUILD_DIR}/changelog.in changelog)
install(FILES ${VQ_PACKAGING_BUILD_DIR}/changelog.gz ${VQ_PACKAGING_DIR}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/versequest)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME versequest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "${VERSEQUEST_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "guess the title of a classical Chinese poem")
set(CPACK_PACKAGE_DESCRIPTION
    "VerseQuest (青简堂诗词猜诗) shows four consecutive lines of a classical Chinese
poem as covered tiles, with one character uncovered. Uncover more characters
with a click and type the poem's title; a right answer scores and opens the
whole poem beside the puzzle.

It comes with the 300 Tang poems and the poems taught at primary, junior-high
and senior-high school, and can read more poems from a PostgreSQL or SQL
Server database. The game is in Chinese.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VERSEQUEST_HOMEPAGE}")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time: the SQLite driver of the bundled poems, the platform
# plugins, a Kai font for the verses.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, qt6-qpa-plugins, fonts-arphic-ukai | fonts-arphic-gkai00mp")
# Dialog buttons in Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# Only the poem server of the fifth source needs these: PostgreSQL, or SQL
# Server through ODBC and FreeTDS.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql, libqt6sql6-odbc, tdsodbc")
include(CPack)
