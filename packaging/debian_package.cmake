# The Debian package (`bash scripts/package.sh`, or the `package` target): qxvn and
# qxvn-printer-app in /usr/bin, the plug-in library, the host services it imports and the PDF
# renderer in the private folder /usr/lib/qxvn (found through the programs' RUNPATH and the host's lookup of
# PREFIX/lib/qxvn), the manual pages, the service with its udev rule and socket link, and the
# maintainer scripts. Dependencies come from the binaries (dpkg-shlibdeps), PAPPL's pinned to the
# versions the app's replaced functions were checked against (cmake/pappl_pin.cmake).
set(qx_packaging ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS qxvn qxvn-printer-app RUNTIME DESTINATION bin)
install(TARGETS qxvnuni qxhostsvc LIBRARY DESTINATION ${QX_PRIVATE_LIBDIR})
# The PDF renderer process the readers start: the only program that loads the PDF library.
install(TARGETS qxvn-pdf-render RUNTIME DESTINATION ${QX_PRIVATE_LIBDIR})
set_target_properties(qxvn qxvn-printer-app PROPERTIES INSTALL_RPATH "$ORIGIN/../${QX_PRIVATE_LIBDIR}")
set_target_properties(qxvnuni PROPERTIES INSTALL_RPATH "$ORIGIN")

# Manual pages are installed compressed, as Debian has them.
set(qx_man_pages qxvn.1 qxvn-printer-app.8)
foreach(page IN LISTS qx_man_pages)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND sh -c "gzip -9n < '${qx_packaging}/man/${page}' > '${compressed}'"
    DEPENDS ${qx_packaging}/man/${page}
    VERBATIM)
  list(APPEND qx_man_outputs ${compressed})
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${page})
  install(FILES ${compressed} DESTINATION share/man/man${section})
endforeach()
add_custom_target(qx_man_pages ALL DEPENDS ${qx_man_outputs})

install(FILES ${qx_packaging}/qxvn-printer-app.service ${qx_packaging}/qxvn-printer-app-autoadd.service
        DESTINATION lib/systemd/system)
install(FILES ${qx_packaging}/70-qxvn-printer-app.rules DESTINATION lib/udev/rules.d)
install(FILES ${qx_packaging}/qxvn-printer-app.tmpfiles DESTINATION lib/tmpfiles.d RENAME qxvn-printer-app.conf)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qxvn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "qxvn maintainers <qxvn@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "QXVN 300-dpi label printer: printer application and command-line tool")
set(CPACK_PACKAGE_DESCRIPTION
    "qxvn-printer-app serves the label printer as an IPP Everywhere printer (a service on localhost:8631 with a web interface); qxvn prints images and PDF files into the printer's command stream and previews and inspects streams.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CPACK_PACKAGING_INSTALL_PREFIX}/${QX_PRIVATE_LIBDIR}")
# What the maintainer scripts run (the binaries' own needs come from dpkg-shlibdeps), and the end
# of PAPPL's range: a later PAPPL keeps its soname, so dpkg-shlibdeps alone would accept it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "adduser, libpappl1 (>= ${QX_PAPPL_CHECKED_FROM}), libpappl1 (<< ${QX_PAPPL_CHECKED_BELOW}~)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${qx_packaging}/debian/postinst ${qx_packaging}/debian/prerm ${qx_packaging}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
