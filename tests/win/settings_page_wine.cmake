# The label settings page under Wine: a stand-in for the driver's user interface loads the user
# interface DLL through its exports and presses Apply on the page it adds; the harness then
# prints on that printer, and the rendering DLL's trace and stream show the stored values.
# Values the plug-in would not take, or a label wider than the head, store nothing.
# Usage: cmake -DWINE=... [-DSETARCH=...] -DHARNESS=... -DUI_HARNESS=... -DUI_DLL=... -DCONF=...
#        -DDLL=... -DCASE=... -DOUT=... -P settings_page_wine.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/wine_steps.cmake)
wine_script_needs(WINE HARNESS UI_HARNESS UI_DLL CONF DLL CASE OUT)
set(printer "qxvn harness settings page")
set(page ${UI_HARNESS} apply Z:${UI_DLL} Z:${DLL} ${printer})

wine_step(0 ${HARNESS} setup)
wine_step(0 ${HARNESS} add-printer ${printer})

# Turned a quarter, a 76 x 40 mm label lies 40 mm across the head.
wine_step(0 ${page} GrayThreshold=100 Rotation=1 LabelWidth=76 LabelHeight=40 PrintDarkness=12 GapType=1
          GapLength=300)
expect_in("${said}" "Stored." "Apply")
wine_step(0 ${HARNESS} run Z:${DLL} Z:${CASE} Z:${OUT}/print ${printer})
file(READ ${OUT}/print/trace.txt trace)
foreach(line "  GrayThreshold : 100" "  Rotation : 1" "  LabelWidth : 76" "  LabelHeight : 40")
  expect_in("${trace}" "${line}" "the rendering DLL's trace")
endforeach()
file(READ ${OUT}/print/stream.bin stream HEX)
expect_in("${stream}" "1f43010c88" "the darkness package in the stream")
expect_in("${stream}" "1f42010188" "the gap type package in the stream")

# Refused, all of them: nothing changes, not even the sound values beside the bad one.
wine_step(0 ${CONF} ${printer} export Z:${OUT}/before.reg)
wine_step(1 ${page} PrintSpeed=2 GrayThreshold=0)
expect_in("${said}" "Gray threshold: 0 is out of range (1 to 254). Nothing was stored." "a threshold out of range")
wine_step(1 ${page} PrintSpeed=2 Rotation=0)
expect_in("${said}" "LabelWidth 76 mm is 898 dots, wider than the 576-dot head" "a label turned back upright")
wine_step(1 ${page} PrintSpeed=2 GapLength=16384)
expect_in("${said}" "Gap length: 16384 is out of range" "a gap too long")
wine_step(1 ${page} PrintSpeed=2 OffsetX=12x)
expect_in("${said}" "Offset X: not a whole number" "a malformed number")
wine_step(0 ${CONF} ${printer} export Z:${OUT}/after.reg)
expect_same_file(${OUT}/before.reg ${OUT}/after.reg "refused values")

# A stored value the page cannot show (a gap type out of its list) stays when its row is left alone.
wine_step(0 ${CONF} ${printer} set --force GapType=7)
wine_step(0 ${page} GrayThreshold=120)
wine_step(0 ${CONF} ${printer} show)
expect_in("${said}" "pixels of luminance 120" "the changed row")
expect_in("${said}" "GapType        7" "the row left alone")
# Emptied rows remove their values.
wine_step(0 ${page} GapType=2 GapLength=100)
wine_step(0 ${CONF} ${printer} show)
expect_in("${said}" "GapType        2" "a list chosen")
wine_step(0 ${page} GapType= GapLength=)
wine_step(0 ${CONF} ${printer} show)
expect_in("${said}" "GapType        -" "an emptied list")
expect_in("${said}" "GapLength      -" "an emptied number")
expect_in("${said}" "pixels of luminance 120" "the rows left alone")

wine_step(0 ${HARNESS} delete-printer ${printer})
message(STATUS "settings page under Wine: ${step} steps as expected")
