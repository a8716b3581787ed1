# Writes the corvex(1) man page from the tool's own --help: the synopsis, then each command with
# its arguments, so that the page never disagrees with the program.
#   cmake -DTOOL=path/to/corvex -DOUT=corvex.1 -DVERSION=x.y.z -P manpage.cmake
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} --help failed")
endif()
string(REPLACE "\\" "\\\\" help "${help}")
string(REPLACE "\n." "\n\\&." help "${help}")
string(REPLACE "\n'" "\n\\&'" help "${help}")
file(WRITE ${OUT} ".TH CORVEX 1 \"\" \"Corvex ${VERSION}\" \"User Commands\"
.SH NAME
corvex \\- load, convert, process, view, annotate, scan and capture images with the Corvex components
.SH SYNOPSIS
.B corvex
.I COMMAND
[\\fIARGUMENTS\\fR]
.SH DESCRIPTION
Each command puts one part of the Corvex library to work on files or devices.
Exit status: 0 success, 1 a load, save, scan or operation failed (one line on standard error says what), 2 wrong usage.
.SH COMMANDS
.nf
${help}.fi
")
