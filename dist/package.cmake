# The Debian package: `cpack -G DEB` in a build configured for /usr (scripts/package does it in
# one command). Library dependencies come from dpkg-shlibdeps; the ODBC driver, odbcinst for the
# maintainer scripts and Qt's Japanese texts are named here, since no library link shows them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME encrt-schedule-backup)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# ENCRT_PACKAGE_MAINTAINER comes from dist/CMakeLists.txt (it also signs the change log).
set(CPACK_PACKAGE_CONTACT "${ENCRT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scheduled SQL Server backups from a tray program")
set(CPACK_PACKAGE_DESCRIPTION
    "A resident program for the machine of the product's database server. It asks\n"
    "once a minute whether a full, differential or transaction-log backup is due,\n"
    "has the server write the backups through a server-side procedure, keeps local\n"
    "and external retention, copies the backups to an external folder and writes a\n"
    "daily log. It runs in the notification area of a desktop or headless as a\n"
    "systemd user service, and checks itself for monitoring (--status).")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tdsodbc, odbcinst, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Files below /etc are the administrator's to change: dpkg keeps their edits on upgrades.
set(conffiles "")
if(IS_ABSOLUTE "${ENCRT_AUTOSTART_DIR}" AND ENCRT_AUTOSTART_DIR MATCHES "^/etc/")
    string(APPEND conffiles "${ENCRT_AUTOSTART_DIR}/encrt-schedule-backup.desktop\n")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "${conffiles}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/dist/debian/postinst ${PROJECT_SOURCE_DIR}/dist/debian/postrm)
if(conffiles)
    list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
endif()
include(CPack)
