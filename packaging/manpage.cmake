# Build-time writer of the manual pages, run with `cmake -P`.
#
# With CLI set: the stratlyn-cli page. help2man reads `CLI --help` and
# `CLI --version`; the hand-written sections of INCLUDE are added, and every
# command listed under "Commands:" adds its own `--help` text as a subsection
# of COMMAND OPTIONS. Needs HELP2MAN, INCLUDE, WORK_DIR.
# Without CLI: INPUT (a hand-written page, or the changelog) is only compressed.
# The page is written to OUTPUT, compressed with gzip -9n as Debian wants.

find_program(GZIP gzip REQUIRED)

function(compress_to source target)
  execute_process(COMMAND ${GZIP} -9nc ${source} OUTPUT_FILE ${target} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    file(REMOVE ${target})
    message(FATAL_ERROR "gzip failed on ${source}")
  endif()
endfunction()

# Text as a roff no-fill block: backslashes and leading dots or quotes are
# escaped, hyphens become minus signs so options copy as typed.
function(roff_literal text out_var)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out_var} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

if(NOT DEFINED CLI)
  compress_to(${INPUT} ${OUTPUT})
  return()
endif()

execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE overview RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "'${CLI} --help' failed (exit ${rc})")
endif()

# The command names: first word of each indented line after "Commands:".
set(commands "")
string(FIND "${overview}" "Commands:\n" start)
if(start GREATER -1)
  string(SUBSTRING "${overview}" ${start} -1 listing)
  string(FIND "${listing}" "\n\n" end)
  if(end GREATER -1)
    string(SUBSTRING "${listing}" 0 ${end} listing)
  endif()
  string(REGEX MATCHALL "\n  +[A-Za-z0-9][A-Za-z0-9_-]*" found "${listing}")
  foreach(entry IN LISTS found)
    string(STRIP "${entry}" entry)
    list(APPEND commands ${entry})
  endforeach()
endif()

file(READ ${INCLUDE} sections)
if(commands)
  string(APPEND sections "\n[COMMAND OPTIONS]\n")
  foreach(command IN LISTS commands)
    execute_process(COMMAND ${CLI} ${command} --help
                    OUTPUT_VARIABLE text ERROR_VARIABLE error_text RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR text STREQUAL "")
      message(WARNING "'${CLI} ${command} --help' gave no help (exit ${rc}); left out")
      continue()
    endif()
    string(STRIP "${text}" text)
    roff_literal("${text}" block)
    string(APPEND sections ".SS ${command}\n${block}")
  endforeach()
endif()
set(include_file ${WORK_DIR}/stratlyn-cli.h2m)
file(WRITE ${include_file} "${sections}")

set(page ${WORK_DIR}/stratlyn-cli.1)
execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
          "--name=option values and implied volatilities in the terminal"
          --include=${include_file} --output=${page} ${CLI}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${CLI} (exit ${rc})")
endif()
compress_to(${page} ${OUTPUT})
