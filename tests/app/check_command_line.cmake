# The command-line conventions of every executable, run as a user would, with no display:
# a usage mistake must be caught before a window (or the no-display notice) is reached.
#   cmake -DCUSTOMIZE=... -DDEMO=... -DCLI=... -DFLEET=... -DVERSION=... -DSOURCE_DIR=...
#         -DWORK_DIR=... -P this
cmake_minimum_required(VERSION 3.25)
set(failures "")

# run(NAME EXPECT_RC EXPECT_STDOUT_REGEX EXPECT_STDERR exe args...): EXPECT_STDERR is the
# whole of stderr (one line), "" for none, or a regular expression when it starts with "^".
# EXPECT_RC may be a list of the codes allowed.
function(run name rc out_regex err exe)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                          --unset=QT_QPA_PLATFORM ${exe} ${ARGN}
                  RESULT_VARIABLE got_rc OUTPUT_VARIABLE got_out ERROR_VARIABLE got_err
                  TIMEOUT 60)
  set(problems "")
  if(NOT got_rc IN_LIST rc)
    string(APPEND problems " exit code ${got_rc}, expected ${rc};")
  endif()
  if(NOT got_out MATCHES "${out_regex}")
    string(APPEND problems " stdout [${got_out}] does not match [${out_regex}];")
  endif()
  if(err MATCHES "^\\^")
    if(NOT got_err MATCHES "${err}")
      string(APPEND problems " stderr [${got_err}] does not match [${err}];")
    endif()
  else()
    if(err STREQUAL "")
      set(want_err "")
    else()
      set(want_err "${err}\n")
    endif()
    if(NOT got_err STREQUAL want_err)
      string(APPEND problems " stderr [${got_err}], expected [${want_err}];")
    endif()
  endif()
  if(problems)
    set(failures "${failures}\n  ${name}:${problems}" PARENT_SCOPE)
  endif()
  set(last_out "${got_out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(missing ${WORK_DIR}/no-such-folder/file)

# What each executable's usage line has after "[options]", and arguments one too many for it.
set(synopsis_sonavelle-customize "")
set(synopsis_sonavelle-demo "")
set(synopsis_sonavelle-cli " command")
set(synopsis_sonavelle-fleet "")
set(extra_sonavelle-customize extra)
set(extra_sonavelle-demo extra)
set(extra_sonavelle-cli show extra)
set(extra_sonavelle-fleet extra)

# Every executable: --version, --help that the manual page keeps up with, usage errors.
foreach(exe ${CUSTOMIZE} ${DEMO} ${CLI} ${FLEET})
  get_filename_component(prog ${exe} NAME_WE)
  run("${prog} --version" 0 "^${prog} ${VERSION}\n$" "" ${exe} --version)
  run("${prog} -v" 0 "^${prog} ${VERSION}\n$" "" ${exe} -v)
  run("${prog} --help" 0 "^Usage: ${prog} \\[options\\]${synopsis_${prog}}\n" "" ${exe} --help)
  string(REGEX MATCHALL "--[a-z][a-z-]*" options "${last_out}")
  file(READ ${SOURCE_DIR}/packaging/man/${prog}.1.in page)
  foreach(option ${options})
    string(REPLACE "-" "\\-" roff "${option}")
    string(FIND "${page}" "${roff}" at)
    if(at EQUAL -1)
      string(APPEND failures "\n  ${prog}: the manual page does not describe ${option}")
    endif()
  endforeach()
  run("${prog} unknown option" 2 "^$" "${prog}: Unknown option 'frobnicate'." ${exe} --frobnicate)
  run("${prog} unknown single-dash word" 2 "^$" "${prog}: Unknown option 'platform'." ${exe} -platform offscreen)
  run("${prog} argument" 2 "^$" "${prog}: unexpected argument 'extra'." ${exe} ${extra_${prog}})
endforeach()

run("customize --log without a value" 2 "^$"
    "sonavelle-customize: Missing value after '--log'." ${CUSTOMIZE} --log)
run("customize --log in a missing folder" 2 "^$"
    "sonavelle-customize: cannot open log file '${missing}': No such file or directory"
    ${CUSTOMIZE} --log ${missing})

run("demo --scenario without a value" 2 "^$"
    "sonavelle-demo: Missing value after '--scenario'." ${DEMO} --scenario)
run("demo unreadable scenario" 2 "^$" "cannot read scenario '${missing}'" ${DEMO} --scenario ${missing})
run("demo scenario that is a folder" 2 "^$" "cannot read scenario '${WORK_DIR}'" ${DEMO} --scenario ${WORK_DIR})
run("demo --json without --scenario" 2 "^$"
    "sonavelle-demo: --json needs --scenario." ${DEMO} --json ${WORK_DIR}/state.json)

run("fleet --sim-every without units" 2 "^$"
    "sonavelle-fleet: --sim-every is for simulated units (--sim or --demo)." ${FLEET} --sim-every 10)
run("fleet --demo with --sim" 2 "^$" "sonavelle-fleet: --demo brings its own units; not with --sim."
    ${FLEET} --demo --sim "PX510/201036")
run("fleet unknown simulated unit" 2 "^$" "^sonavelle-fleet: --sim: 'no-such-unit' is neither [^\n]*\n$"
    ${FLEET} --sim no-such-unit)
run("fleet unreadable settings file" 2 "^$" "^sonavelle-fleet: [^\n]*no-such-folder/file[^\n]*\n$"
    ${FLEET} --demo --from ${missing})
run("fleet without a display" 2 "^$" "^sonavelle-fleet: no display found [^\n]*\n$" ${FLEET} --demo)

run("cli without a command" 2 "^$" "sonavelle-cli: no command given (see --help)." ${CLI})
run("cli unknown command" 2 "^$" "sonavelle-cli: unknown command 'frobnicate' (see --help)."
    ${CLI} frobnicate)
run("cli option of another command" 2 "^$" "sonavelle-cli: --json is for show only."
    ${CLI} list --json)
run("cli --log without a value" 2 "^$" "sonavelle-cli: Missing value after '--log'." ${CLI} show --log)
run("cli --log in a missing folder" 2 "^$" "^sonavelle-cli: cannot open log file '${missing}'[^\n]*\n$"
    ${CLI} show --sim "DW730 TONAL/201036" --log ${missing})
run("cli set without settings" 2 "^$"
    "sonavelle-cli: no settings given (NAME=VALUE ... or --from FILE)." ${CLI} set)

# list: the CLI on the system's HID services looks at the devices once and ends by itself,
# with or without a transceiver among them.
run("cli list" "0;3" "^([0-9a-f-]+:[0-9a-f-]+\t[^\n]*\n)*$"
    "^(sonavelle-cli: no transceiver among [0-9]+ HID device\\(s\\)( \\([0-9]+ cannot be used\\))?\n)?$"
    ${CLI} list)

# --close-after-scan: the tool starts on the system's HID services, looks at the devices
# once, logs that pass and closes by itself (a hang is a failure, not a wait).
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                        ${CUSTOMIZE} --close-after-scan --log ${WORK_DIR}/scan.log
                RESULT_VARIABLE got_rc ERROR_VARIABLE got_err TIMEOUT 60)
if(NOT got_rc STREQUAL "0")
  string(APPEND failures "\n  customize --close-after-scan: exit code ${got_rc}: ${got_err}")
elseif(NOT EXISTS ${WORK_DIR}/scan.log)
  string(APPEND failures "\n  customize --close-after-scan: no log file")
else()
  file(READ ${WORK_DIR}/scan.log scan)
  if(NOT scan MATCHES "HID_Open\\.\n[^\n]*HidCtrl1DeviceChange:Runung=False\\.\n")
    string(APPEND failures "\n  customize --close-after-scan: no device pass in the log:\n${scan}")
  endif()
endif()

# The tool's own device-error box, as main() wires it: a node that cannot be identified is
# said once on stderr (no box waits for a click in a check) and fails the check.
if(UMOCKDEV_RUN)
  file(WRITE ${WORK_DIR}/unidentified.umockdev
       "P: /devices/virtual/hidraw/hidraw0\nN: hidraw0\nE: DEVNAME=/dev/hidraw0\nE: MAJOR=243\n"
       "E: MINOR=0\nE: SUBSYSTEM=hidraw\nA: dev=243:0\n")
  execute_process(COMMAND ${UMOCKDEV_RUN} -d ${WORK_DIR}/unidentified.umockdev --
                          ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                          ${CUSTOMIZE} --close-after-scan
                  RESULT_VARIABLE got_rc ERROR_VARIABLE got_err TIMEOUT 60)
  string(REGEX MATCHALL "sonavelle-customize: Device cannot be identified\n" said "${got_err}")
  list(LENGTH said times)
  if(NOT got_rc STREQUAL "1" OR NOT times EQUAL 1)
    string(APPEND failures "\n  customize --close-after-scan with a node it cannot identify: "
                           "exit code ${got_rc}, expected 1 and the error said once: ${got_err}")
  endif()
endif()

# The window's caption, --version and the package carry one version, the project's: no
# source states it a second time.
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h)
foreach(source IN LISTS sources)
  file(READ ${source} text)
  string(FIND "${text}" "${VERSION}" at)
  if(NOT at EQUAL -1)
    string(APPEND failures "\n  ${source} states the version ${VERSION} itself")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "command line:${failures}")
endif()
