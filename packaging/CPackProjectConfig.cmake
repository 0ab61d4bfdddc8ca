# The dialog works with the service of its own build only.
set(CPACK_DEBIAN_CONFIGURE_PACKAGE_DEPENDS "zarvoupdater (= ${CPACK_PACKAGE_VERSION})")
