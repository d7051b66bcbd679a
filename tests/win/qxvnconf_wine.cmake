# qxvnconf on Wine's spooler: sets label settings on a printer, which the harness then prints
# on (the DLL's trace and stream show the values taken); refuses values the plug-in would
# ignore and a bad .reg line without changing anything; export then import round-trips, and
# qxvn reads the export.
# Usage: cmake -DWINE=... [-DSETARCH=...] -DHARNESS=... -DCONF=... -DDLL=... -DCASE=... -DQXVN=...
#        -DIMAGE=... -DOUT=... -P qxvnconf_wine.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/wine_steps.cmake)
wine_script_needs(WINE HARNESS CONF DLL CASE QXVN IMAGE OUT)
# The harness's prefix: a printer left by a crashed run is cleared by the next setup.
set(printer "qxvn harness qxvnconf")
set(step 0)

wine_step(0 ${HARNESS} setup)
wine_step(0 ${HARNESS} add-printer ${printer})

wine_step(0 ${CONF} ${printer} set GrayThreshold=100 LabelWidth=40 PrintDarkness=10 GapType=0)
wine_step(1 ${CONF} ${printer} set GrayThreshold=0 Rotation=1)
expect_in("${said}" "qxvnconf: GrayThreshold: 0 is out of range (1 to 254)" "a threshold the plug-in ignores")
# A label wider than the head, upright or once turned, and a malformed value (one line, no usage).
wine_step(1 ${CONF} ${printer} set LabelWidth=50)
expect_in("${said}" "LabelWidth 50 mm is 591 dots, wider than the 576-dot head" "a label wider than the head")
wine_step(1 ${CONF} ${printer} set Rotation=1 LabelHeight=76)
expect_in("${said}" "LabelHeight 76 mm is 898 dots" "a label turned across the head")
wine_step(2 ${CONF} ${printer} set Rotation=abc)
expect_not_in("${said}" "usage:" "a malformed value")
wine_step(0 ${CONF} --help)
expect_in("${said}" "1 gap between labels, 2 black mark" "the gap types' meanings")
wine_step(0 ${CONF} ${printer} show)
expect_in("${said}" "taken: pixels of luminance 100 or darker print" "show")
expect_in("${said}" "taken: 40 mm = 472 dots" "show")
expect_in("${said}" "absent: upright" "show: the refused Rotation was not stored")

# The harness prints on that printer: the plug-in takes what qxvnconf stored.
wine_step(0 ${HARNESS} run Z:${DLL} Z:${CASE} Z:${OUT}/print ${printer})
file(READ ${OUT}/print/trace.txt trace)
expect_in("${trace}" "  GrayThreshold : 100" "the DLL's trace")
expect_in("${trace}" "  LabelWidth : 40" "the DLL's trace")
file(READ ${OUT}/print/stream.bin stream HEX)
expect_in("${stream}" "1f43010a88" "the darkness package in the stream")
expect_in("${stream}" "1f42010088" "the gap type package in the stream")

# Export, import on a fresh printer, export again: the same file.
wine_step(0 ${CONF} ${printer} export Z:${OUT}/first.reg)
wine_step(0 ${HARNESS} delete-printer ${printer})
wine_step(0 ${HARNESS} add-printer ${printer})
wine_step(0 ${CONF} ${printer} import Z:${OUT}/first.reg)
wine_step(0 ${CONF} ${printer} export Z:${OUT}/second.reg)
expect_same_file(${OUT}/first.reg ${OUT}/second.reg "export, import, export")

# qxvn reads the export too.
execute_process(COMMAND ${QXVN} print ${IMAGE} --printer-data ${OUT}/first.reg --trace ${OUT}/qxvn.trace
                        -o ${OUT}/qxvn.out RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "qxvn could not read the export (${rc}):\n${out}")
endif()
file(READ ${OUT}/qxvn.trace qtrace)
expect_in("${qtrace}" "  GrayThreshold : 100" "qxvn with the export")

# A bad line, or a value the plug-in would ignore, anywhere in a file changes nothing.
file(WRITE ${OUT}/bad-line.reg "Windows Registry Editor Version 5.00\n\n\"GrayThreshold\"=dword:00000032\n\"Rotation\"=dwrd:1\n")
wine_step(1 ${CONF} ${printer} import Z:${OUT}/bad-line.reg)
expect_in("${said}" "bad-line.reg:4:" "the bad line is named")
file(WRITE ${OUT}/bad-value.reg "\"GrayThreshold\"=dword:00000032\n\"Rotation\"=dword:00000009\n")
wine_step(1 ${CONF} ${printer} import Z:${OUT}/bad-value.reg)
expect_in("${said}" "bad-value.reg:2: Rotation: 9 is out of range" "the refused value is named")
wine_step(0 ${CONF} ${printer} export Z:${OUT}/after-bad.reg)
expect_same_file(${OUT}/first.reg ${OUT}/after-bad.reg "a refused import")

wine_step(1 ${CONF} "qxvn no such printer" show)
expect_in("${said}" "no printer named \"qxvn no such printer\"" "an unknown printer")

wine_step(0 ${HARNESS} delete-printer ${printer})

# A printer named outside ASCII, written to a file (UTF-8) and to a console (wide text; `script`
# gives Wine a terminal, which it makes the console).
set(accented "qxvn harness Étiquettes Entrepôt")
wine_step(0 ${HARNESS} add-printer ${accented})
wine_step(0 ${CONF} ${accented} set GrayThreshold=120)
wine_step(0 ${CONF} ${accented} show)
expect_in("${said}" "Label settings of \"${accented}\"" "a non-ASCII name in a file")
find_program(SCRIPT script)
if(SCRIPT)
  set(launch "${WINE}")
  if(SETARCH)
    set(launch "${SETARCH} -R ${WINE}")
  endif()
  execute_process(COMMAND ${SCRIPT} -qec "${launch} ${CONF} '${accented}' show" /dev/null
                  OUTPUT_VARIABLE console ERROR_VARIABLE console TIMEOUT 60)
  expect_in("${console}" "Label settings of \"${accented}\"" "a non-ASCII name on a console")
  expect_in("${console}" "GrayThreshold  120" "the console's table")
endif()
wine_step(0 ${HARNESS} delete-printer ${accented})

# A printer on another maker's driver: shown with a warning, never changed without --force.
set(other "qxvn harness other maker")
wine_step(0 ${HARNESS} add-other-printer ${other})
wine_step(1 ${CONF} ${other} set GrayThreshold=100)
expect_in("${said}" "uses the driver \"qxvn harness other driver\", not \"QXVN LP2 Label Printer\"" "another driver")
wine_step(0 ${CONF} ${other} show)
expect_in("${said}" "warning: \"${other}\" uses the driver" "another driver shown")
expect_in("${said}" "absent" "nothing was stored on another driver's printer")
wine_step(0 ${HARNESS} delete-printer ${other})
message(STATUS "qxvnconf under Wine: ${step} steps as expected")
