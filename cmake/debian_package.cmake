# SPDX-License-Identifier: GPL-2.0-or-later
# The Debian package, made by `cpack -G DEB` in the build folder (scripts/make-deb.sh):
# orvexa_0.30-1_amd64.deb. Its dependencies are those of the installed binaries (dpkg-shlibdeps)
# plus what the program loads or reads at run time without linking it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvexa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Orvexa team")
set(CPACK_PACKAGE_CONTACT "The Orvexa team <maintainers@orvexa.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sort the frames of a video and keep the best ones")
# Lines of at most 72 characters, as a terminal shows them.
set(CPACK_PACKAGE_DESCRIPTION
  "Orvexa opens a video (AVI, MP4, MOV, MKV, WebM, MPEG-TS or MPEG-PS),
steps or plays through its frames and writes chosen frames as numbered
BMP, JPEG, PNG or WebP pictures, whole or cut to a crop rectangle. Its
list window ranks every frame by the size of its JPEG encoding or by
its sharpness.
.
The orvexa-batch command ranks and extracts from scripts, without a
display. The user interface is in French.")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin of Qt, the French texts of Qt's dialogs and the program's font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation")
# The fonts libwmf draws metafile text with by default (without them the metafile helper gives
# it the Liberation fonts), and a virtual X server for the window on a machine without a display.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-urw-base35")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xvfb")
set(CPACK_STRIP_FILES ON)
include(CPack)

# What Debian asks of a package's documentation folder: the copyright, in the machine-readable
# format, and the Debian changelog, compressed; they and the lintian overrides also go with any
# install.
set(ORVEXA_DEBIAN_CHANGELOG ${CMAKE_SOURCE_DIR}/packaging/debian/changelog)
file(STRINGS ${ORVEXA_DEBIAN_CHANGELOG} changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^orvexa \\(${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not begin with version "
                      "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}: add its entry")
endif()
set(changelog_gz ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${changelog_gz}
  COMMAND ${GZIP_PROGRAM} -9n -c ${ORVEXA_DEBIAN_CHANGELOG} > ${changelog_gz}
  DEPENDS ${ORVEXA_DEBIAN_CHANGELOG}
  COMMENT "Compressing the Debian changelog")
add_custom_target(orvexa_changelog ALL DEPENDS ${changelog_gz})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${changelog_gz}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvexa)
# The lintian tags the package keeps, each with its reason.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME orvexa)
