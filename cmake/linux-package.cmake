# The Debian package (cpack -G DEB in the build folder): the program in
# /usr/bin, its desktop entry, icons and help page under /usr/share, and the
# packages of the libraries it links (Qt, GLib) as its dependencies, found by
# dpkg-shlibdeps from the program itself.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME letterloom)
set(CPACK_PACKAGE_VENDOR Letterloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "the Letterloom team <contact@letterloom.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "e-mail templates opened as new messages in your mail program")
set(CPACK_PACKAGE_DESCRIPTION
    "Letterloom keeps e-mail templates in plain files and opens one as a new, unsent message in the desktop's mail program, with eleven find/replace pairs, questions asked at launch and today's date filled in.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://letterloom.example.org)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Opening drafts and the help page goes through the desktop's handlers.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
include(CPack)
