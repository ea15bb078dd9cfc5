# Checks a stock map table file: md5sum's format, one line per stock map file,
#   <32 lowercase hexadecimal digits><two blanks><file name>
# with exactly 31 rows, bare ".qmw" names sorted ascending ignoring case (so distinct ignoring
# case) and distinct digests. Any fault ends CMake with a message naming the file and line.
#
# From a build:  include(check_stock_table.cmake), then check_stock_table(<file> <names> <digests>)
# On its own:    cmake -DTABLE=<file> -P check_stock_table.cmake
#
# The file is read as bytes (in hexadecimal), so that names with any characters, ';' included,
# pass through unchanged; <names> receives each name as hexadecimal for the same reason.

set(STOCK_TABLE_ROWS 31)

# One byte as text for messages: printable ASCII as itself, anything else as \xNN.
function(_stock_table_byte_text pair out)
  math(EXPR code "0x${pair}")
  if(code GREATER_EQUAL 32 AND code LESS 127)
    string(ASCII ${code} char)
  else()
    set(char "\\x${pair}")
  endif()
  set(${out} "${char}" PARENT_SCOPE)
endfunction()

# A name given as hexadecimal, as text for messages and as the inside of a C++ string
# literal. Bytes outside printable ASCII, '"', '\' and '?' (no trigraph warnings) become
# three-digit octal escapes, which never swallow the character after them.
function(stock_table_name_texts hex out_display out_literal)
  set(display "")
  set(literal "")
  string(REGEX MATCHALL ".." pairs "${hex}")
  foreach(pair IN LISTS pairs)
    _stock_table_byte_text(${pair} char)
    string(APPEND display "${char}")
    math(EXPR code "0x${pair}")
    if(code GREATER_EQUAL 32 AND code LESS 127 AND NOT pair MATCHES "^(22|5c|3f)$")
      string(APPEND literal "${char}")
    else()
      math(EXPR high "${code} / 64")
      math(EXPR middle "(${code} / 8) % 8")
      math(EXPR low "${code} % 8")
      string(APPEND literal "\\${high}${middle}${low}")
    endif()
  endforeach()
  set(${out_display} "${display}" PARENT_SCOPE)
  set(${out_literal} "${literal}" PARENT_SCOPE)
endfunction()

function(_stock_table_fail table line what)
  if(line)
    message(FATAL_ERROR "Stock table ${table}, line ${line}: ${what}")
  else()
    message(FATAL_ERROR "Stock table ${table}: ${what}")
  endif()
endfunction()

# Checks one line (hexadecimal, line end removed). Sets <out_digest> to the digest text,
# <out_name> to the name in hexadecimal and <out_key> to the name with ASCII letters folded to
# lower case, as hexadecimal (whose order is the order of the bytes).
function(_stock_table_check_line table line hex out_digest out_name out_key)
  string(LENGTH "${hex}" length)
  if(length EQUAL 0)
    _stock_table_fail("${table}" ${line} "empty line.")
  endif()
  if(length LESS 70)
    _stock_table_fail("${table}" ${line}
      "too short; expected 32 hexadecimal digits, two blanks and a file name.")
  endif()

  string(SUBSTRING "${hex}" 0 64 digest_hex)
  if(NOT digest_hex MATCHES "^(3[0-9]|6[1-6])+$")
    if(digest_hex MATCHES "^(3[0-9]|6[1-6]|4[1-6])+$")
      _stock_table_fail("${table}" ${line}
        "the digest has upper-case letters; digests are 32 lower-case hexadecimal digits.")
    endif()
    _stock_table_fail("${table}" ${line}
      "the line does not begin with a digest of 32 lower-case hexadecimal digits.")
  endif()
  set(digest "")
  string(REGEX MATCHALL ".." pairs "${digest_hex}")
  foreach(pair IN LISTS pairs)
    _stock_table_byte_text(${pair} char)
    string(APPEND digest "${char}")
  endforeach()

  string(SUBSTRING "${hex}" 64 4 separator)
  if(NOT separator STREQUAL "2020" AND NOT separator STREQUAL "202a")
    _stock_table_fail("${table}" ${line}
      "the digest must be followed by two blanks and the file name.")
  endif()

  string(SUBSTRING "${hex}" 68 -1 name)
  stock_table_name_texts(${name} display literal)
  string(REGEX MATCHALL ".." pairs "${name}")
  set(key "")
  foreach(pair IN LISTS pairs)
    math(EXPR code "0x${pair}")
    if(pair MATCHES "^(5c|2f|3a)$")
      _stock_table_fail("${table}" ${line}
        "the name \"${display}\" holds '\\', '/' or ':'; names are bare file names.")
    endif()
    if(code LESS 32 OR code EQUAL 127)
      _stock_table_fail("${table}" ${line}
        "the name \"${display}\" holds a control character.")
    endif()
    if(code GREATER_EQUAL 65 AND code LESS_EQUAL 90)
      math(EXPR code "${code} + 32" OUTPUT_FORMAT HEXADECIMAL)
      string(SUBSTRING "${code}" 2 -1 pair)
    endif()
    string(APPEND key "${pair}")
  endforeach()
  # A name of at least one character, then ".qmw" in any case.
  if(NOT key MATCHES "^(..)+2e716d77$")
    _stock_table_fail("${table}" ${line}
      "the name \"${display}\" does not end in \".qmw\" after at least one character.")
  endif()

  set(${out_digest} "${digest}" PARENT_SCOPE)
  set(${out_name} "${name}" PARENT_SCOPE)
  set(${out_key} "${key}" PARENT_SCOPE)
endfunction()

function(check_stock_table table out_names out_digests)
  if(NOT EXISTS "${table}" OR IS_DIRECTORY "${table}")
    _stock_table_fail("${table}" "" "no such file.")
  endif()
  file(READ "${table}" content HEX)
  string(TOLOWER "${content}" content)
  # Split at line feeds; byte pairs keep the split aligned to whole bytes.
  string(REGEX MATCHALL ".." bytes "${content}")
  set(lines "")
  set(current "")
  foreach(pair IN LISTS bytes)
    if(pair STREQUAL "0a")
      list(APPEND lines "x${current}")
      set(current "")
    else()
      string(APPEND current "${pair}")
    endif()
  endforeach()
  if(NOT current STREQUAL "")
    list(APPEND lines "x${current}")  # a last line without its line feed
  endif()

  set(names "")
  set(digests "")
  set(previous_key "")
  set(previous_display "")
  set(line 0)
  foreach(entry IN LISTS lines)
    math(EXPR line "${line} + 1")
    string(SUBSTRING "${entry}" 1 -1 hex)
    string(REGEX REPLACE "0d$" "" hex "${hex}")  # tolerate CR LF line ends
    _stock_table_check_line("${table}" ${line} "${hex}" digest name key)
    stock_table_name_texts(${name} display literal)

    if(NOT previous_key STREQUAL "")
      if(key STREQUAL previous_key)
        _stock_table_fail("${table}" ${line}
          "the name \"${display}\" repeats \"${previous_display}\" of line ${previous_line} (ignoring case).")
      endif()
      if(key STRLESS previous_key)
        _stock_table_fail("${table}" ${line}
          "\"${display}\" is out of order: rows are sorted by name ignoring case, and it sorts before \"${previous_display}\" of line ${previous_line}.")
      endif()
    endif()
    list(FIND digests "${digest}" same)
    if(same GREATER_EQUAL 0)
      math(EXPR same "${same} + 1")
      _stock_table_fail("${table}" ${line}
        "the digest ${digest} is also the digest of line ${same}; digests must be distinct.")
    endif()

    list(APPEND names "${name}")
    list(APPEND digests "${digest}")
    set(previous_key "${key}")
    set(previous_display "${display}")
    set(previous_line ${line})
  endforeach()

  list(LENGTH names count)
  if(NOT count EQUAL STOCK_TABLE_ROWS)
    _stock_table_fail("${table}" ""
      "${count} rows; a stock table has exactly ${STOCK_TABLE_ROWS}, one per stock map file.")
  endif()
  set(${out_names} "${names}" PARENT_SCOPE)
  set(${out_digests} "${digests}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT DEFINED TABLE)
    message(FATAL_ERROR "usage: cmake -DTABLE=<stock table file> -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  check_stock_table("${TABLE}" names digests)
  message(STATUS "Stock table ${TABLE}: ${STOCK_TABLE_ROWS} rows, valid.")
endif()
