# Installation layout and packages (cpack in the build folder).
#   Windows: a zip with the 32-bit executable, a sample config.ini, the ASP page and a readme.
#   Linux:   a Debian package under /opt/kelvra: bin/kelvra-timesync, bin/config.ini, log/,
#            the systemd unit and the nginx sample of the web time page.
set(CPACK_PACKAGE_NAME kelvra-timesync)
set(CPACK_PACKAGE_VENDOR "Kelvra")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Kelvra time synchronisation service (SNTP client)")
set(CPACK_PACKAGE_CONTACT "Kelvra team <team@kelvra.invalid>")
set(webtime_dir ${CMAKE_SOURCE_DIR}/packaging/webtime)

if(WIN32)
  install(TARGETS kelvra-timesync RUNTIME DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/config.ini ${CMAKE_SOURCE_DIR}/packaging/windows/README.txt
          DESTINATION .)
  install(FILES ${webtime_dir}/gettime.asp DESTINATION webtime OPTIONAL)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  install(TARGETS kelvra-timesync RUNTIME DESTINATION bin)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/config.ini DESTINATION bin)
  install(DIRECTORY DESTINATION log)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/linux/DaZirAdur.service DESTINATION lib/systemd/system)
  install(FILES ${webtime_dir}/nginx-kelvra-webtime.conf DESTINATION share/nginx OPTIONAL)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /opt/kelvra)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libcurl4, libsystemd0")
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${CMAKE_SOURCE_DIR}/packaging/linux/conffiles ${CMAKE_SOURCE_DIR}/packaging/linux/postinst
      ${CMAKE_SOURCE_DIR}/packaging/linux/prerm)
endif()
include(CPack)
