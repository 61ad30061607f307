# Checks a manual page against its program: every long option the program's
# --help prints is in the page, and --version prints the version that the
# page's .TH line carries. Run with -DPROGRAM=... -DPAGE=... -DVERSION=... -P.
cmake_minimum_required(VERSION 3.25)
foreach(var PROGRAM PAGE VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckManPage.cmake needs -D${var}=...")
  endif()
endforeach()

# The reason on a line of its own, as written (a FATAL_ERROR text would be
# re-wrapped), then the failure.
function(fail text)
  message(NOTICE "${text}")
  message(FATAL_ERROR "manual page check failed")
endfunction()

function(run_program argument out)
  execute_process(COMMAND "${PROGRAM}" ${argument} RESULT_VARIABLE status
                  OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 30)
  if(NOT status STREQUAL "0")
    fail("${PROGRAM} ${argument} ended with ${status}:\n${output}${errors}")
  endif()
  set(${out} "${output}" PARENT_SCOPE)
endfunction()

file(READ "${PAGE}" page)
# In troff a plain "-" may be set as a hyphen; options are written "\-".
string(REPLACE "\\-" "-" page "${page}")

run_program(--help help)
string(REGEX MATCHALL "--[A-Za-z0-9][A-Za-z0-9-]*" options "${help}")
list(REMOVE_DUPLICATES options)
if(NOT "--help" IN_LIST options)
  fail("${PROGRAM} --help does not list --help itself; it printed:\n${help}")
endif()
set(missing "")
foreach(option IN LISTS options)
  # Whole options only: --close must not pass because the page has --close-after-ms.
  if(NOT page MATCHES "(^|[^A-Za-z0-9-])${option}([^A-Za-z0-9-]|$)")
    list(APPEND missing ${option})
  endif()
endforeach()
if(missing)
  list(JOIN missing " " missing)
  fail("${PAGE} does not mention ${missing}, which ${PROGRAM} --help lists")
endif()

# A program whose --help lists its exit statuses ("  3  bad value") must list
# the same ones as the page's EXIT STATUS section (".B 3"): a status added or
# renumbered in one place only is caught.
string(FIND "${help}" "Exit status:" at)
if(NOT at EQUAL -1)
  string(SUBSTRING "${help}" ${at} -1 help_statuses)
  string(REGEX MATCHALL "\n +[0-9]+  " help_statuses "${help_statuses}")
  string(REGEX REPLACE "[^0-9;]" "" help_statuses "${help_statuses}")
  string(REGEX MATCH "\n\\.SH EXIT STATUS\n([^\n]|\n[^.]|\n\\.[^S]|\n\\.S[^H])*" page_section "${page}")
  string(REGEX MATCHALL "\n\\.B [0-9]+\n" page_statuses "${page_section}")
  string(REGEX REPLACE "[^0-9;]" "" page_statuses "${page_statuses}")
  if(NOT help_statuses STREQUAL page_statuses)
    fail("${PAGE} lists the exit statuses \"${page_statuses}\" but ${PROGRAM} --help lists \"${help_statuses}\"")
  endif()
endif()

run_program(--version version_output)
string(STRIP "${version_output}" version_output)
string(REGEX MATCH "[0-9]+(\\.[0-9]+)+" printed "${version_output}")
if(NOT printed STREQUAL VERSION)
  fail("${PROGRAM} --version printed \"${version_output}\", not version ${VERSION}")
endif()
string(REGEX MATCH "(^|\n)\\.TH [^\n]*" th "${page}")
string(STRIP "${th}" th)
string(REPLACE "." "\\." version_pattern "${VERSION}")
if(NOT th MATCHES "[^0-9.]${version_pattern}\"")
  fail("${PAGE}: the .TH line \"${th}\" does not carry version ${VERSION}")
endif()
list(JOIN options " " options)
message(STATUS "${PAGE}: ${options} documented; version ${VERSION}")
