# Installed files (packaging/) and the Debian package: `cmake --build build --target package`
# (make package) writes build/mirelo_1.10-1_amd64.deb.
add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${PROJECT_BINARY_DIR}/packaging)

# A Debian package installs into /usr. The desktop program finds its help through the prefix
# it was built for, so the package is meant to be made from a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr, as make package does.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "Packaging: CMAKE_INSTALL_PREFIX is ${CMAKE_INSTALL_PREFIX}; the Debian package wants /usr")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Mirelo developers")
set(CPACK_PACKAGE_CONTACT "Mirelo developers <mirelo@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "thumbnails of many pictures and video clips in one run")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # mirelo_<version>-<release>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The interface is Japanese: without a CJK font its texts are boxes, without the translations
# Qt's own dialogs are English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.example.com/mirelo/")
# CPack puts the summary first and indents these lines as the control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Mirelo turns pictures (JPEG, BMP, GIF, PNG, PICT, TIFF, HEIC, AVIF, WebP,
JPEG XL, camera RAW) and video clips (MP4, MOV, MKV, WebM, MPEG-TS, AVI, MPEG,
WMV, ASF, FLV and more) into thumbnail files, fitted into a box or a frame
picture and saved as JPEG, PNG, GIF, PICT, BMP or WebP, never over an existing
file. Clips are shown and captured upright, at their display aspect.

The package holds the desktop program mirelo (Japanese interface) and the
command-line front end mirelo-batch, with a dry run and JSON output.")
include(CPack)
