# The PAPPL versions the app's replaced functions (printer_app/pappl_layer/) were checked
# against: QX_PAPPL_CHECKED_FROM up to, not including, QX_PAPPL_CHECKED_BELOW. The build, the
# package's Depends and the app's start-up check all take the range from here.
set(QX_PAPPL_CHECKED_FROM 1.3.1)
set(QX_PAPPL_CHECKED_BELOW 1.4)

# Stops the configuration unless VERSION is in the range.
function(qx_require_checked_pappl version)
  if(version VERSION_LESS QX_PAPPL_CHECKED_FROM OR NOT version VERSION_LESS QX_PAPPL_CHECKED_BELOW)
    message(FATAL_ERROR
            "PAPPL ${version} found: qxvn-printer-app replaces functions of PAPPL and was checked against "
            "PAPPL ${QX_PAPPL_CHECKED_FROM} up to, not including, ${QX_PAPPL_CHECKED_BELOW} only "
            "(printer_app/pappl_layer/replaced_functions.def).")
  endif()
endfunction()

# `cmake -DQX_TRY_PAPPL_VERSION=1.4.2 -P cmake/pappl_pin.cmake`: the check alone.
if(CMAKE_SCRIPT_MODE_FILE AND DEFINED QX_TRY_PAPPL_VERSION)
  qx_require_checked_pappl(${QX_TRY_PAPPL_VERSION})
endif()
