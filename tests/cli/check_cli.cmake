# sonavelle-cli run as a user runs it, on simulated units: exit codes and the lines that
# matter, a mistake in the settings refused in one line before anything reaches a unit,
# --json that parses and that set --from takes back, --log in the window's format.
#   cmake -DCLI=<sonavelle-cli> -DVERSION=<x.y.z> -DWORK_DIR=<folder> [-DCASE=<name>] -P this
# CASE runs one case of its own instead (see "one case" below); without it, all the others.
set(failures "")

# run(NAME RC STDOUT_REGEX STDERR_REGEX args...)
function(run name rc out_regex err_regex)
  execute_process(COMMAND ${CLI} ${ARGN}
                  RESULT_VARIABLE got_rc OUTPUT_VARIABLE got_out ERROR_VARIABLE got_err
                  TIMEOUT 60)
  set(problems "")
  if(NOT got_rc STREQUAL "${rc}")
    string(APPEND problems " exit code ${got_rc}, expected ${rc};")
  endif()
  if(NOT got_out MATCHES "${out_regex}")
    string(APPEND problems " stdout [${got_out}] does not match [${out_regex}];")
  endif()
  if(NOT got_err MATCHES "${err_regex}")
    string(APPEND problems " stderr [${got_err}] does not match [${err_regex}];")
  endif()
  if(problems)
    set(failures "${failures}\n  ${name}:${problems}" PARENT_SCOPE)
  endif()
  set(last_out "${got_out}" PARENT_SCOPE)
endfunction()

function(fail message)
  set(failures "${failures}\n  ${message}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
# Backups and the service record go to a data folder of this test, never the home folder.
set(ENV{XDG_DATA_HOME} ${WORK_DIR}/data)
set(data ${WORK_DIR}/data/Sonavelle/Customize)
set(tonal --sim "DW730 TONAL/201036")
set(miv --sim "DW720 MIV/201029")
set(waiting "^sonavelle-cli: waiting for the unit \\(plug it in now\\)\n")
# Simulated units keep their files apart, named by the PC's time.
set(backup "sonavelle-cli: backup saved: [^\n]*/Sonavelle/Customize/simulated/backups/SV0000000001/SV0000000001_[0-9]+_[0-9]+-[0-9]+\\.json\n")

# ---- one case: a lost output is a failure, as with cat -------------------------------------
# Standard output or the log on a full disk (/dev/full): exit code 1 and one line that says
# which output was lost, whatever the command.
function(run_full name err_regex)
  execute_process(COMMAND ${CLI} ${ARGN} OUTPUT_FILE /dev/full
                  RESULT_VARIABLE got_rc ERROR_VARIABLE got_err TIMEOUT 60)
  if(NOT got_rc EQUAL 1 OR NOT got_err MATCHES "${err_regex}")
    set(failures "${failures}\n  ${name} > /dev/full: exit code ${got_rc}, stderr [${got_err}]"
        PARENT_SCOPE)
  endif()
endfunction()

if(CASE)
  if(NOT EXISTS /dev/full)
    message("skipped: this system has no /dev/full")
    return()
  endif()
  set(lost_stdout "sonavelle-cli: cannot write standard output: [^\n]+\n$")
  if(CASE STREQUAL "show-json-stdout-full")
    run_full("show --json" "${waiting}${lost_stdout}" show --json ${tonal})
  elseif(CASE STREQUAL "record-stdout-full")
    # A line to print: the record of one set.
    run("set for the record" 0 "" "" set volume=3 ${miv})
    run_full("record" "^${lost_stdout}" record ${miv})
  elseif(CASE STREQUAL "sim-list-stdout-full")
    run_full("--sim list" "^${lost_stdout}" --sim list)
  elseif(CASE STREQUAL "help-stdout-full")
    run_full("--help" "^${lost_stdout}" --help)
  elseif(CASE STREQUAL "version-stdout-full")
    run_full("--version" "^${lost_stdout}" --version)
  elseif(CASE STREQUAL "batch-log-full")
    file(WRITE ${WORK_DIR}/bench.txt "# every unit of the day\nvolume = 3\nvoice-guide = HIGH\n")
    run("--log /dev/full" 1 "\tOK\n" "sonavelle-cli: cannot write the log file '/dev/full': [^\n]+\n$"
        batch --from ${WORK_DIR}/bench.txt --count 1 --parallel 1 ${tonal} --log /dev/full)
  else()
    message(FATAL_ERROR "unknown CASE '${CASE}'")
  endif()
  if(failures)
    message(FATAL_ERROR "sonavelle-cli:${failures}")
  endif()
  return()
endif()

# ---- usage: exit code 2, one line, before any unit is looked at ---------------------------
run("no command" 2 "^$" "^sonavelle-cli: no command given \\(see --help\\)\\.\n$")
run("unknown command" 2 "^$" "^sonavelle-cli: unknown command 'frob' \\(see --help\\)\\.\n$"
    frob ${tonal})
run("--json with set" 2 "^$" "^sonavelle-cli: --json is for show only\\.\n$"
    set --json volume=1 ${tonal})
run("--count with show" 2 "^$" "^sonavelle-cli: --count is for batch only\\.\n$"
    show --count 2 ${tonal})
run("--timeout 0" 2 "^$" "^sonavelle-cli: --timeout takes seconds above 0 and up to 86400, not '0'\\.\n$"
    show --timeout 0 ${tonal})
run("unknown preset" 2 "^$" "^sonavelle-cli: --sim: 'DW999/201036' is neither a preset nor a unit file"
    show --sim DW999/201036)
run("set without settings" 2 "^$"
    "^sonavelle-cli: no settings given \\(NAME=VALUE \\.\\.\\. or --from FILE\\)\\.\n$" set ${tonal})

# A bad value or a malformed file: nothing starts, so not even the log file is made.
run("bad value" 2 "^$"
    "^sonavelle-cli: argument 2: volume has no value '9' \\(values: 1, 2, 3, 4, 5\\)\n$"
    set volume=9 ${tonal} --log ${WORK_DIR}/bad-value.log)
file(WRITE ${WORK_DIR}/bad.txt "volume = 2\n# the channel\nchanel = A\n")
run("malformed file" 2 "^$"
    "^sonavelle-cli: [^\n]*/bad\\.txt:3: unknown setting 'chanel' \\(known: [^\n]*\\)\n$"
    set --from ${WORK_DIR}/bad.txt ${tonal} --log ${WORK_DIR}/bad-file.log)
run("missing file" 2 "^$" "^sonavelle-cli: [^\n]*/none\\.txt: cannot open \\([^\n]*\\)\n$"
    batch --from ${WORK_DIR}/none.txt ${tonal} --log ${WORK_DIR}/bad-file.log)
foreach(log bad-value bad-file)
  if(EXISTS ${WORK_DIR}/${log}.log)
    fail("${log}: the log file was made although nothing may start")
  endif()
endforeach()

# A setting this unit does not have: identified, then refused with nothing written.
run("setting the unit lacks" 2 "^$"
    "${waiting}sonavelle-cli: argument 3: this unit \\(DW730 TONAL 201036\\) has no channel\n$"
    set volume=1 channel=a ${tonal} --log ${WORK_DIR}/lacks.log)
if(NOT EXISTS ${WORK_DIR}/lacks.log)
  fail("setting the unit lacks: no log")
else()
  file(STRINGS ${WORK_DIR}/lacks.log lacks ENCODING UTF-8 REGEX ",>>(SPAR|SAVE|CLEAR)")
  if(lacks)
    fail("setting the unit lacks: written anyway: ${lacks}")
  endif()
endif()

# ---- show --json parses, and set --from takes it back --------------------------------------
run("show --json" 0 "^{\n" "${waiting}$" show --json ${tonal})
string(JSON model ERROR_VARIABLE json_error GET "${last_out}" unit model)
if(json_error)
  fail("show --json: not JSON: ${json_error}")
else()
  string(JSON shown GET "${last_out}" settingsShown)
  string(JSON volume GET "${last_out}" settings volume)
  if(NOT model STREQUAL "DW730 TONAL" OR NOT shown STREQUAL "ON" OR NOT volume STREQUAL "4")
    fail("show --json: model '${model}', settingsShown ${shown}, volume '${volume}'")
  endif()
endif()
file(WRITE ${WORK_DIR}/shown.json "${last_out}")
run("set --from what show --json printed" 0
    "^SV[0-9]+: nothing to change: the unit already has these settings\n$" "${waiting}$"
    set --from ${WORK_DIR}/shown.json ${tonal})

# ---- set, default, batch and list, and the log they write ---------------------------------
run("set" 0 "^SV[0-9]+: 2 setting\\(s\\) changed \\(volume, channel\\); written and saved\n$" "${waiting}${backup}$"
    set volume=2 CHANNEL=A ${miv} --log ${WORK_DIR}/set.log)
set(log_lines "")
if(EXISTS ${WORK_DIR}/set.log)
  file(STRINGS ${WORK_DIR}/set.log log_lines ENCODING UTF-8)
endif()
list(LENGTH log_lines count)
if(count LESS 20)
  message(FATAL_ERROR "sonavelle-cli:${failures}\n  --log: ${count} lines")
endif()
list(GET log_lines 0 first)
if(NOT first STREQUAL "26/03/02 09:30:00 000,  Start Sonavelle customize tool ver.${VERSION}")
  fail("--log: first line '${first}'")
endif()
foreach(line IN LISTS log_lines)
  if(NOT line MATCHES "^[0-9][0-9]/[0-9][0-9]/[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] [0-9][0-9][0-9],(>>|<<|  )")
    fail("--log: not in the window's format: '${line}'")
    break()
  endif()
endforeach()
list(FIND log_lines "26/03/02 09:30:01 066,>>SPAR BaseFreq 2" base)
list(GET log_lines -2 saved)
list(GET log_lines -1 last)
if(base EQUAL -1 OR NOT saved MATCHES ",<<.*-Parameter saved OK$"
   OR NOT last MATCHES ",  Service record: saved \\([^)]*/service-record\\.jsonl\\)$")
  fail("--log: no channel A written, or the last lines '${saved}', '${last}' are not the save's answer and the record")
endif()

run("default" 0 "^SV[0-9]+: factory settings restored\n$" "${waiting}${backup}$" default ${miv})

file(WRITE ${WORK_DIR}/bench.txt "# every unit of the day\nvolume = 3\nvoice-guide = HIGH\n")
run("batch" 0
    "^SV0000000001\tDW720 MIV\t201036\tOK\nSV0000000002\tDW720 MIV\t201036\tOK\n2 unit\\(s\\): 2 OK, 0 failed\n$"
    "^sonavelle-cli: plug in unit 1 \\(Ctrl-C stops\\)\n"
    batch --from ${WORK_DIR}/bench.txt --count 2 --parallel 1 --sim "DW720 MIV/201036")
run("list" 0 "^3a5c:7802\t[^\n]*\tSonavelle Transceiver\t<- the transceiver\n$" "^$"
    list ${tonal})

# ---- a unit that refuses or goes away --------------------------------------------------------
file(WRITE ${WORK_DIR}/ng.unit "model = DW730 TONAL\nfirmware = 201036\nfault.ng = SPAR RecordSw\n")
run("refused write" 1 "^$"
    "sonavelle-cli: Apply: the unit answered 'NG' to 'SPAR RecordSw [0-9]+'; written: volume, hands-free; not written: dive-computer, voice-guide, air-check; not saved\n$"
    set volume=1 --sim ${WORK_DIR}/ng.unit)
file(WRITE ${WORK_DIR}/vanish.unit "model = DW730 TONAL\nfirmware = 201036\nfault.vanish_after = 9\n")
run("unit gone during Apply" 3 "^$"
    "sonavelle-cli: the unit went away during Apply: written: volume; not written: hands-free, dive-computer, voice-guide, air-check; not saved\n$"
    set volume=1 --sim ${WORK_DIR}/vanish.unit)
file(WRITE ${WORK_DIR}/silent.unit "model = DW730 TONAL\nfirmware = 201036\nfault.silent = SAVE\n")
run("silent unit" 1 "^$" "sonavelle-cli: Apply: no answer to 'SAVE' within 3 s"
    set volume=1 --timeout 2.5 --sim ${WORK_DIR}/silent.unit)

# ---- what only the executable shows: the presets, settings through a pipe ----------------
run("--sim list" 0 "^DW720 KEL/201016\tsettings shown and changed\n.*\nPX510 MIV/202000\tsettings not shown\n$"
    "^$" --sim list)
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${WORK_DIR}/bench.txt
                COMMAND ${CLI} set --dry-run --from - --sim "DW720 MIV/201036"
                RESULT_VARIABLE got_rc OUTPUT_VARIABLE got_out ERROR_VARIABLE got_err TIMEOUT 60)
if(NOT got_rc EQUAL 0 OR NOT got_out MATCHES "^volume: 4 -> 3\nvoice-guide: [a-z]+ -> high\n2 setting\\(s\\) would change")
  fail("set --from - from a pipe: exit code ${got_rc}, stdout [${got_out}], stderr [${got_err}]")
endif()

# ---- backups and the record, as the commands reach them -------------------------------------
run("--csv with set" 2 "^$" "^sonavelle-cli: --csv and --serial are for record only\\.\n$"
    set --csv volume=1 ${tonal})
run("restore --list" 0 "^([-0-9]+T[0-9:]+\tSV0000000001_[-_0-9]+\\.json\t[^\n]+\n)+$"
    "${waiting}$" restore --list ${miv})
run("record" 0
    "^[-0-9]+T[^\t]*\tSV0000000002\tDW720 MIV\t201036\tapply\tsaved\twritten: [^\n]*volume=3[^\n]*\tbackup: SV0000000002_[-_0-9]+\\.json\tsimulated\n$"
    "^$" record --serial SV0000000002 ${miv})
if(EXISTS ${data}/service-record.jsonl OR EXISTS ${data}/backups)
  fail("simulated units' files beside real units' in ${data}")
endif()
run("record of real units" 0 "^$" "^$" record --serial SV0000000002)
# The spreadsheet's rows end in CR LF as written (CMake reads them as LF, so they are looked
# for in hex).
execute_process(COMMAND ${CLI} record --csv --serial SV0000000002 ${miv} OUTPUT_FILE ${WORK_DIR}/record.csv
                RESULT_VARIABLE got_rc ERROR_VARIABLE got_err TIMEOUT 60)
file(READ ${WORK_DIR}/record.csv got_out)
file(READ ${WORK_DIR}/record.csv got_hex HEX)
string(REPLACE "0d0a" "" bare_hex "${got_hex}")
string(LENGTH "${got_hex}" with_crlf)
string(LENGTH "${bare_hex}" without_crlf)
math(EXPR two_rows "${without_crlf} + 8")
if(NOT got_rc EQUAL 0 OR NOT with_crlf EQUAL two_rows OR NOT got_out MATCHES
   "^utc,local,tool,run,serial,[^\n]*,simulated\n[^\n]*,apply,SV0000000002,DW720 MIV,201036,[^\n]*,yes\n$")
  fail("record --csv: exit code ${got_rc}, stdout [${got_out}], stderr [${got_err}]")
endif()

# ---- several units at once (after the record checks: they add lines of their own) ------
# Four units at once: each line names its port, and the units are told apart in the log.
file(WRITE ${WORK_DIR}/volume.conf "volume = 3\n")
run("batch of four at once" 0
    "^(SV000000000[1-4]\t[^\n]*\tOK\tsim:hid#[1-4]\n)+4 unit\\(s\\): 4 OK, 0 failed\n$"
    "^sonavelle-cli: plug in the units \\(Ctrl-C stops\\)\n"
    batch --sim "DW730 TONAL/201036" --sim "PX510/201036" --sim "DW720 QZ/201033"
    --sim "DW720 KEL/201029" --from ${WORK_DIR}/volume.conf --count 4 --log ${WORK_DIR}/four.log)
file(STRINGS ${WORK_DIR}/four.log four_saves REGEX "<<\\[sim:hid#[1-4]\\] .*saved OK$")
list(LENGTH four_saves saves)
if(NOT saves EQUAL 4)
  fail("batch of four at once: ${saves} saves in the log, not 4, each with its port")
endif()
run("--parallel 1 with several --sim" 2 "^$"
    "^sonavelle-cli: batch --parallel 1 takes one --sim: its units come one after another\\.\n$"
    batch --parallel 1 --sim "PX510/201036" --sim "PX510/201036" --from ${WORK_DIR}/bench.txt)
run("--sim-every without --sim" 2 "^$"
    "^sonavelle-cli: --sim-every is for simulated units \\(--sim\\)\\.\n$"
    batch --sim-every 100 --from ${WORK_DIR}/bench.txt)

run("--help" 0 "Commands:\n.*  batch --from FILE .*Exit codes: 0 done; 1 " "^$" --help)

if(failures)
  message(FATAL_ERROR "sonavelle-cli:${failures}")
endif()
