# Prints one case with the Linux library and with the Windows DLL under Wine, and compares the
# command streams and the calls into the plug-in byte for byte, and the traces without their
# timestamps.
# Usage: cmake -DRUNNER=... -DWINE=... [-DSETARCH=...] -DHARNESS=... -DDLL=... -DCASE=... -DOUT=...
#        -P compare_case.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/wine_run.cmake)
foreach(var RUNNER WINE HARNESS DLL CASE OUT)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/linux ${OUT}/windows)

execute_process(COMMAND ${RUNNER} ${CASE} ${OUT}/linux RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the Linux runner failed (${rc}):\n${out}")
endif()
# Wine's drive Z: is the Linux root.
qx_run_wine(rc ${OUT}/wine.log ${HARNESS} run Z:${DLL} Z:${CASE} Z:${OUT}/windows)
if(NOT rc EQUAL 0)
  file(READ ${OUT}/wine.log out)
  message(FATAL_ERROR "the Windows harness failed under Wine (${rc}):\n${out}")
endif()

# A trace as compared: without the timestamps, and without the size of the spooler's job
# record, which each spooler lays out its own way (only the failure to fill it shows it).
function(comparable_trace file out)
  file(READ ${file} text)
  string(REGEX REPLACE "[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\.[0-9][0-9][0-9]  \\["
                       "[" text "${text}")
  string(REGEX REPLACE "GetJob JOB_INFO_2\\([0-9]+\\) failed!" "GetJob JOB_INFO_2(record size) failed!" text
                       "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(differences "")
foreach(file stream.bin calls.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/linux/${file} ${OUT}/windows/${file}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    list(APPEND differences ${file})
  endif()
endforeach()
comparable_trace(${OUT}/linux/trace.txt linux_trace)
comparable_trace(${OUT}/windows/trace.txt windows_trace)
if(NOT linux_trace STREQUAL windows_trace)
  list(APPEND differences trace.txt)
endif()
file(SIZE ${OUT}/linux/calls.txt calls_bytes)
if(calls_bytes EQUAL 0)
  list(APPEND differences "calls.txt (empty: nothing was printed)")
endif()

if(differences)
  # Shown without carriage returns; they were compared.
  string(REPLACE "\r" "" linux_trace "${linux_trace}")
  string(REPLACE "\r" "" windows_trace "${windows_trace}")
  file(WRITE ${OUT}/linux/trace-compared.txt "${linux_trace}")
  file(WRITE ${OUT}/windows/trace-compared.txt "${windows_trace}")
  set(report "")
  find_program(DIFF diff)
  if(DIFF)
    foreach(file calls.txt trace-compared.txt)
      execute_process(COMMAND ${DIFF} -u linux/${file} windows/${file} WORKING_DIRECTORY ${OUT}
                      OUTPUT_VARIABLE d)
      string(APPEND report "${d}")
    endforeach()
  endif()
  message(FATAL_ERROR "Linux and Windows differ in: ${differences} (outputs in ${OUT})\n${report}")
endif()
file(SIZE ${OUT}/linux/stream.bin bytes)
message(STATUS "Linux and Windows agree: ${bytes} stream bytes, calls and trace")
