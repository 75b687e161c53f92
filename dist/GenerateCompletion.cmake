# Writes the bash completion script with every key and compound name, taken from what the
# tool itself lists, so the completion cannot drift from the tables.
# Called with -DSIM=<pmc10-sim> -DIN=<template> -DOUT=<script>.
execute_process(COMMAND "${SIM}" commands OUTPUT_VARIABLE listing ERROR_QUIET
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${SIM} commands failed: ${status}")
endif()
string(REGEX MATCHALL "\n  [^ \n]+ +-> " rows "${listing}")
set(names "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "\n  ([^ ]+) +-> " "\\1" name "${row}")
  string(TOLOWER "${name}" name)
  list(APPEND names "${name}")
endforeach()
list(JOIN names " " PMC10_NAMES)
configure_file("${IN}" "${OUT}" @ONLY)
