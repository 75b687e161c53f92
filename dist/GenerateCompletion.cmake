# Writes the bash completion script with every key and compound name, read from the
# source files of the two tables, so the completion cannot drift from them and needs no
# built tool (a cross build makes it too).
# Called with -DKEYS=<KeyCodes.cpp> -DCOMPOUNDS=<CompoundCommands.cpp> -DIN=<template>
# -DOUT=<script>.

# names(VAR FILE REGEX): the first groups of REGEX's matches in FILE, lower case, sorted.
function(names var file regex)
  file(READ "${file}" text)
  string(REGEX MATCHALL "${regex}" rows "${text}")
  set(found "")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "${regex}" "\\1" name "${row}")
    string(TOLOWER "${name}" name)
    list(APPEND found "${name}")
  endforeach()
  list(REMOVE_DUPLICATES found)
  list(SORT found)
  if(NOT found)
    message(FATAL_ERROR "no names found in ${file}: has the table's layout changed?")
  endif()
  set(${var} "${found}" PARENT_SCOPE)
endfunction()

# Table rows: {"MODE", 0xF0} and {"EDITPATCHNR", "EDITPATCH ENTER"} (maybe over two lines).
names(keys "${KEYS}" "{[ \t\r\n]*\"([^\"]+)\"[ \t\r\n]*,[ \t\r\n]*0[xX][0-9A-Fa-f]+[ \t\r\n]*}")
names(compounds "${COMPOUNDS}" "{[ \t\r\n]*\"([A-Z0-9]+)\"[ \t\r\n]*,[ \t\r\n]*\"")
list(JOIN keys " " PMC10_KEYS)
list(JOIN compounds " " PMC10_COMPOUNDS)
set(PMC10_NAMES "${PMC10_KEYS} ${PMC10_COMPOUNDS}")
configure_file("${IN}" "${OUT}" @ONLY)
