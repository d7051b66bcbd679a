# The installable driver package: build/<windows build>/qxvn-driver/ and qxvn-driver.zip with the
# installation file, the printer description, the plug-ins' configuration file, the rendering
# and user interface plug-in DLLs, qxvnconf.exe, the install and uninstall scripts and the
# installation text. `cmake --build --preset windows --target package`.
set(QX_PACKAGE_DIR ${CMAKE_BINARY_DIR}/qxvn-driver)
set(QX_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/qxvn-driver.zip)
set(qx_driver_files
  ${CMAKE_CURRENT_LIST_DIR}/qxvn.inf
  ${CMAKE_CURRENT_LIST_DIR}/qxvn.gpd
  ${CMAKE_CURRENT_LIST_DIR}/qxvnuni.ini
  ${CMAKE_CURRENT_LIST_DIR}/install.ps1
  ${CMAKE_CURRENT_LIST_DIR}/uninstall.ps1
  ${CMAKE_CURRENT_LIST_DIR}/INSTALL.txt)
add_custom_command(
  OUTPUT ${QX_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${QX_PACKAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QX_PACKAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${qx_driver_files} $<TARGET_FILE:qxvnuni> $<TARGET_FILE:qxvnui> $<TARGET_FILE:qxvnconf> ${QX_PACKAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QX_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${QX_PACKAGE_ZIP} --format=zip qxvn-driver
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS ${qx_driver_files} qxvnuni qxvnui qxvnconf
  COMMENT "Driver package in ${QX_PACKAGE_DIR} and ${QX_PACKAGE_ZIP}"
  VERBATIM)
add_custom_target(package DEPENDS ${QX_PACKAGE_ZIP})
