# Runs one Wine command for the Windows tests; included by the test scripts.
#
# Debian's wine64 comes without Wine's preloader, so nothing reserves the addresses Wine needs
# before the kernel places the loader's heap, which it randomises over the gigabyte above the
# loader. Now and then the heap lands on the page of the shared user data; Wine then exits with 1
# before the program starts, and says nothing under WINEDEBUG=-all. Without address randomisation
# (SETARCH -R) the heap stays clear of it. Where the kernel refuses that, a start that died without
# a word is tried again: a failure of the program itself always prints something.
#
# Wine's output goes to a file, not a pipe: a wineserver that the call starts would hold a pipe
# open, and the test with it, until the server exits.
#
# qx_run_wine(RC_VAR LOG_FILE ARGS...) with WINE (and optionally SETARCH) set by the caller.
set(qx_wine_attempts 3)

function(qx_run_wine rc_var log)
  set(launch ${WINE})
  if(SETARCH)
    set(launch ${SETARCH} -R ${WINE})
  endif()
  foreach(attempt RANGE 1 ${qx_wine_attempts})
    execute_process(COMMAND ${launch} ${ARGN} RESULT_VARIABLE rc OUTPUT_FILE ${log} ERROR_FILE ${log})
    file(SIZE ${log} said)
    if(rc EQUAL 0 OR said GREATER 0)
      break()
    endif()
    message(STATUS "Wine exited (${rc}) before the program started, attempt ${attempt} of ${qx_wine_attempts}")
  endforeach()
  set(${rc_var} ${rc} PARENT_SCOPE)
endfunction()
