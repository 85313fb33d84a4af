# The Debian package, built by `make deb` (cpack -G DEB in the release build). Its dependencies
# are what dpkg-shlibdeps finds in the installed programs, so they follow the chosen link: none
# for a static-pie binary, glibc alone when libstdc++ is linked in, and so on.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME id3sniff)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the id3sniff authors")
set(CPACK_PACKAGE_CONTACT "the id3sniff authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print the main ID3v2 tag information of MP3 files")
# The paragraph below the summary, in lines that a control file keeps as they are.
set(CPACK_PACKAGE_DESCRIPTION
    "id3sniff prints the recording dates, album, title, artist, encoder settings,
the MIME type of an attached picture and the user-defined text frames of an
MP3 file's ID3v2 tag. It does not parse the tag: it scans the file's first
16384 bytes for the frame identifiers and captures what follows them, so it is
fast and never trips over a damaged tag. id3sniff-batch prints the same reports
for many files from one process.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
