# Makes the Wine prefix of this build folder (first start only) and readies its spooler for the
# harness. Fails loudly when Wine is missing or cannot start: the Windows tests never skip.
# Usage: cmake -DWINE=... [-DSETARCH=...] -DPREFIX=... -DHARNESS=... -P wine_prefix.cmake
#        (WINEPREFIX etc. set)
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/wine_run.cmake)
if(NOT WINE OR NOT EXISTS "${WINE}")
  message(FATAL_ERROR "Wine (wine64) was not found: the Windows DLL cannot be tested. Install wine64 "
                      "(scripts/setup.sh does) and configure again.")
endif()
if(NOT EXISTS "${HARNESS}")
  message(FATAL_ERROR "the cross-built harness ${HARNESS} is missing; build the project first")
endif()

function(now_ms out)
  string(TIMESTAMP seconds "%s" UTC)
  string(TIMESTAMP micro "%f" UTC)
  math(EXPR ms "${seconds} * 1000 + ${micro} / 1000")
  set(${out} ${ms} PARENT_SCOPE)
endfunction()

set(log ${PREFIX}-setup.log)
function(run_wine what)
  qx_run_wine(rc ${log} ${ARGN})
  file(READ ${log} out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} (exit code ${rc}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(ready ${PREFIX}/qxvn-prefix-ready)
if(NOT EXISTS ${ready})
  now_ms(start)
  run_wine("Wine could not start: wineboot --init failed" wineboot --init)
  now_ms(end)
  math(EXPR took "${end} - ${start}")
  message(STATUS "created the Wine prefix ${PREFIX} in ${took} ms")
  file(WRITE ${ready} "")
endif()

# Windows without a display: Wine's null graphics driver, so that the settings page's windows
# can be made headless. Read when Wine's desktop starts, so the server is restarted once.
set(headless ${PREFIX}/qxvn-null-graphics)
if(NOT EXISTS ${headless})
  run_wine("cannot choose Wine's null graphics driver" reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f)
  get_filename_component(wine_dir ${WINE} DIRECTORY)
  find_program(WINESERVER NAMES wineserver64 wineserver PATHS ${wine_dir} NO_DEFAULT_PATH)
  find_program(WINESERVER NAMES wineserver)
  execute_process(COMMAND ${WINESERVER} -k)
  execute_process(COMMAND ${WINESERVER} -w)
  file(WRITE ${headless} "")
endif()

now_ms(start)
run_wine("the harness could not ready Wine's spooler" ${HARNESS} setup)
now_ms(end)
math(EXPR took "${end} - ${start}")
message(STATUS "${out}spooler ready in ${took} ms")
