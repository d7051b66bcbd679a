# Cross-builds the Windows plug-in DLL and the Windows test harness from this source tree, in a
# build folder of their own inside this one, whenever this build is built. Never with this
# build's sanitizer flags: the DLL under test is the one that ships.
#
# Sets QX_WINDOWS_CROSS_BUILD (whether mingw-w64 was found), QX_WINDOWS_DLL and
# QX_WINDOWS_HARNESS, QX_WINDOWS_CONF, QX_WINDOWS_UI_DLL, QX_WINDOWS_UI_HARNESS,
# QX_WINDOWS_PACKAGE_DIR (the cross-built files), and the target qxvn_windows that makes them.
include(ExternalProject)

set(QX_MINGW_CXX x86_64-w64-mingw32-g++)
find_program(QX_MINGW_CXX_PATH ${QX_MINGW_CXX})
find_program(QX_MINGW_OBJDUMP x86_64-w64-mingw32-objdump)

set(QX_WINDOWS_BUILD_DIR ${CMAKE_BINARY_DIR}/windows-cross)
set(QX_WINDOWS_DLL ${QX_WINDOWS_BUILD_DIR}/plugin/qxvnuni.dll)
set(QX_WINDOWS_HARNESS ${QX_WINDOWS_BUILD_DIR}/tests/win/qxvn-winharness.exe)
set(QX_WINDOWS_CONF ${QX_WINDOWS_BUILD_DIR}/tools/qxvnconf/qxvnconf.exe)
set(QX_WINDOWS_UI_DLL ${QX_WINDOWS_BUILD_DIR}/uiplugin/qxvnui.dll)
set(QX_WINDOWS_UI_HARNESS ${QX_WINDOWS_BUILD_DIR}/tests/win/qxvn-uiharness.exe)
set(QX_WINDOWS_PACKAGE_DIR ${QX_WINDOWS_BUILD_DIR}/qxvn-driver)

if(QX_MINGW_CXX_PATH AND QX_MINGW_OBJDUMP)
  set(QX_WINDOWS_CROSS_BUILD ON)
  ExternalProject_Add(qxvn_windows
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${QX_WINDOWS_BUILD_DIR}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=Release
    # The driver package too, so that every test run checks what would ship.
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target all package
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${QX_WINDOWS_DLL} ${QX_WINDOWS_HARNESS} ${QX_WINDOWS_CONF} ${QX_WINDOWS_UI_DLL}
                     ${QX_WINDOWS_UI_HARNESS}
    INSTALL_COMMAND ""
    TEST_COMMAND "")
else()
  set(QX_WINDOWS_CROSS_BUILD OFF)
  message(WARNING "mingw-w64 (${QX_MINGW_CXX}, x86_64-w64-mingw32-objdump) not found: the Windows DLL is not "
                  "cross-built and its tests will fail. scripts/setup.sh installs it.")
endif()
