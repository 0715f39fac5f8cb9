# cmake -P HelpToMan.cmake: a manual page from a program's --help text.
#   -DPROGRAM=<file> -DNAME=<name> -DSUMMARY=<one line> -DVERSION=<v> -DOUTPUT=<file.1>
# The help text is the page's description, kept as written (no filling), so
# the page never says anything the program does not.
execute_process(COMMAND ${PROGRAM} --help
  OUTPUT_VARIABLE help ERROR_VARIABLE help_err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${NAME} --help failed (${rc}): ${help_err}")
endif()
# roff: backslashes doubled, lines that start with a control character
# protected.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REPLACE "-" "\\-" summary "${SUMMARY}")
string(TIMESTAMP today "%Y-%m-%d" UTC)
file(WRITE ${OUTPUT}
".TH ${NAME} 1 \"${today}\" \"${VERSION}\" \"User Commands\"\n"
".SH NAME\n${NAME} \\- ${summary}\n"
".SH DESCRIPTION\n.nf\n${help}.fi\n")
