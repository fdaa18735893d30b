# Installation and the Debian package (cpack -G DEB in the build folder).
include(GNUInstallDirs)

foreach(program marev qelm-sim marev-record marev-export)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/share/applications/marev.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/share/icons/hicolor/scalable/apps/marev.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The recorder as a service, one instance per COM number.
if(TARGET marev-record AND UNIX AND NOT APPLE)
  install(FILES ${PROJECT_SOURCE_DIR}/share/systemd/marev-record@.service
          DESTINATION lib/systemd/system)
endif()

set(CPACK_PACKAGE_NAME marev)
set(CPACK_PACKAGE_VENDOR "Quorvex")
set(CPACK_PACKAGE_CONTACT "Quorvex <support@quorvex.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Marev connects to the QELM bioluminescence instrument over a serial line, shows its data
live, records it to files by hand or on a schedule, switches its pump and PMT and guides
the check of the PMT's high-voltage steps. Includes marev-record, a recorder without a
display that runs as a service, marev-export, which turns record files into CSV, and
qelm-sim, a simulated instrument.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvex.invalid/marev")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
