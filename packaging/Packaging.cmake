# `cpack` in a build tree makes a Debian package that installs the program directory
# /opt/zarvoupdater; `zarvoupdater -install` then registers the service.
set(CPACK_PACKAGE_NAME "zarvoupdater")
set(CPACK_PACKAGE_VENDOR "Tovik")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Keeps a host name at a dyndns2 provider pointed at the external IPv4 address")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ZARVOUpdater <${ZARVO_SUPPORT_ADDRESS}>")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dialog's desktop entry starts it through pkexec.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec")
include(CPack)
