# `cpack` in a build tree makes two Debian packages: `zarvoupdater`, the service alone, and
# `zarvoupdater-configure`, the dialog with what a desktop needs to start it, so that a server
# without a desktop does not have to install Qt. Both install into the program directory
# /opt/zarvoupdater; `zarvoupdater -install` then registers the service.
set(ZARVO_POLKIT_ACTIONS_DIR "/usr/share/polkit-1/actions"
    CACHE PATH "Where polkit looks for action files")
set(ZARVO_PROGRAM_DIR "${CMAKE_INSTALL_PREFIX}")
set(generated ${CMAKE_CURRENT_BINARY_DIR}/packaging)

# Every file the packages and the install need besides the programs is made here, when CMake
# configures, so that installing only copies and works from a read-only build tree.
configure_file(packaging/debian/copyright.in ${generated}/copyright @ONLY)
configure_file(packaging/debian/changelog.in ${generated}/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${generated}/changelog COMMAND_ERROR_IS_FATAL ANY)
foreach(script IN ITEMS postinst prerm postrm)
  configure_file(packaging/debian/${script}.in ${generated}/service/${script} @ONLY)
endforeach()

set(doc_files README.md ${generated}/copyright ${generated}/changelog.gz)
install(FILES ${doc_files} DESTINATION /usr/share/doc/zarvoupdater COMPONENT service)
install(FILES packaging/debian/zarvoupdater.lintian-overrides
        DESTINATION /usr/share/lintian/overrides RENAME zarvoupdater COMPONENT service)

if(TARGET configure)
  configure_file(packaging/zarvoupdater-configure.desktop ${generated}/zarvoupdater-configure.desktop
                 @ONLY)
  configure_file(packaging/example.zarvo.zarvoupdater.configure.policy
                 ${generated}/example.zarvo.zarvoupdater.configure.policy @ONLY)
  install(FILES ${generated}/zarvoupdater-configure.desktop DESTINATION . COMPONENT configure)
  # polkit reads actions from its one fixed directory only, outside the program directory.
  install(FILES ${generated}/example.zarvo.zarvoupdater.configure.policy
          DESTINATION ${ZARVO_POLKIT_ACTIONS_DIR} COMPONENT configure)
  install(FILES ${generated}/copyright ${generated}/changelog.gz
          DESTINATION /usr/share/doc/zarvoupdater-configure COMPONENT configure)
  install(FILES packaging/debian/zarvoupdater-configure.lintian-overrides
          DESTINATION /usr/share/lintian/overrides RENAME zarvoupdater-configure
          COMPONENT configure)
endif()

set(CPACK_PACKAGE_NAME "zarvoupdater")
set(CPACK_PACKAGE_VENDOR "Tovik")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service)
if(TARGET configure)
  list(APPEND CPACK_COMPONENTS_ALL configure)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ZARVOUpdater <${ZARVO_SUPPORT_ADDRESS}>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZARVO_WEB_ADDRESS}")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Read when cpack runs, so that a version given there (`cpack -D CPACK_PACKAGE_VERSION=…`)
# reaches the dialog's dependency on the service too.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/packaging/CPackProjectConfig.cmake)

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME "zarvoupdater")
set(CPACK_DEBIAN_SERVICE_DESCRIPTION
    "dynamic DNS updater service for dyndns2 providers
The service keeps one host name at a dyndns2 provider pointed at the network's
external IPv4 address. Every few minutes it reads its settings file, finds the
external address, sends an update when it changed, logs every step and mails a
report.

Installing the package does not register the service: write the settings file
${ZARVO_PROGRAM_DIR}/zarvoupdater.ini first, then run
'${ZARVO_PROGRAM_DIR}/zarvoupdater -install', which writes and enables the systemd
unit ZARVOUpdater.service. Removing the package stops and removes that unit;
purging it also deletes the settings file and the log directory.")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
    ${generated}/service/postinst ${generated}/service/prerm ${generated}/service/postrm)

set(CPACK_DEBIAN_CONFIGURE_PACKAGE_NAME "zarvoupdater-configure")
set(CPACK_DEBIAN_CONFIGURE_DESCRIPTION
    "settings dialog of the ZARVOUpdater dynamic DNS service
A small Qt dialog that edits the settings file of the zarvoupdater service.
Its desktop entry starts it as root through pkexec, with the polkit action it
needs, since the settings file holds passwords and is readable by root only.")
set(CPACK_DEBIAN_CONFIGURE_PACKAGE_RECOMMENDS "pkexec")
include(CPack)
