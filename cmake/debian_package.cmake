# The Debian package, made by `cpack -G DEB` in the build folder (scripts/make-deb.sh):
# orvexa_0.30-1_amd64.deb. Its dependencies are those of the installed binaries (dpkg-shlibdeps)
# plus what the program loads or reads at run time without linking it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvexa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Orvexa team")
set(CPACK_PACKAGE_CONTACT "The Orvexa team <maintainers@orvexa.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sort the frames of a video and keep the best ones")
set(CPACK_PACKAGE_DESCRIPTION
  "Orvexa opens a video (AVI, MP4, MOV, MKV, WebM, MPEG-TS or MPEG-PS), steps or plays through
its frames and writes chosen frames as numbered BMP or JPEG pictures, whole or cut to a crop
rectangle. Its list window ranks every frame by the size of its JPEG encoding. The
orvexa-batch command ranks and extracts from scripts, without a display. The user interface
is in French.")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin of Qt, the French texts of Qt's dialogs, the program's font and the
# fonts libwmf draws metafile text with (without them it opens no WMF at all).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation, fonts-urw-base35")
set(CPACK_STRIP_FILES ON)
include(CPack)
