# The Debian package that scripts/package builds with CPack: everything `cmake --install` puts
# under /usr. Its dependencies are read from the programs by dpkg-shlibdeps.
set(TOVALEN_PACKAGE_MAINTAINER "Tovalen developers <tovalen@example.org>"
    CACHE STRING "The Maintainer of the Debian package and its changelog")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovalen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TOVALEN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scheduled video recorder from capture devices")
# CPack puts the summary first and indents every line; an empty line becomes " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tovalen keeps recording reservations (start, end, AVI file and title) in a
schedule file and records each one at its time from a webcam, a capture card
or its built-in test pattern, with sound, into an AVI file.

The desktop program, tovalen, has a Japanese interface. The headless
recorder, tovalen-rec, edits schedules and records them on machines without
a screen, also as a systemd user service.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Japanese interface needs a Japanese font, the toolkit's Japanese texts and the ja_JP.UTF-8
# locale; without them it still runs, in English where they are missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, wx3.2-i18n, locales")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
