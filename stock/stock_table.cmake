# Compiles the stock map table into a target: the table file is checked when the build is
# configured and turned into stock_maps_table.inc, the rows of a C++ array initialiser, in the
# build folder. Editing the table file reconfigures the build.
include(${CMAKE_CURRENT_LIST_DIR}/check_stock_table.cmake)

# add_stock_table(<target> <table file>)
function(add_stock_table target table)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${table}")
  check_stock_table("${table}" names digests)

  set(rows "// Generated from the stock table file by stock/stock_table.cmake; do not edit.\n")
  foreach(name digest IN ZIP_LISTS names digests)
    stock_table_name_texts(${name} display literal)
    string(APPEND rows "{\"${literal}\", \"${digest}\"},\n")
  endforeach()

  # Written through configure_file so that an unchanged table does not rebuild anything.
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/${target}_stock_table")
  file(WRITE "${folder}/stock_maps_table.inc.new" "${rows}")
  configure_file("${folder}/stock_maps_table.inc.new" "${folder}/stock_maps_table.inc" COPYONLY)
  target_include_directories(${target} PRIVATE "${folder}")
  message(STATUS "Stock table: ${table}")
endfunction()

# stock_table_label(<target> <table file> <label>): the label `mapdiff --version` shows beside the
# table's digest. The table kept in this folder is the generated sample set's, and says so unless
# the build names it otherwise.
function(stock_table_label target table label)
  if(label STREQUAL "" AND table STREQUAL "${CMAKE_SOURCE_DIR}/stock/stock_maps.md5")
    set(label "the sample set's table, no game's")
  endif()
  if(NOT label MATCHES "^[ -~]*$" OR label MATCHES "[\"\\]")
    message(FATAL_ERROR "MAPMEND_STOCK_LABEL may hold printable ASCII characters other than '\"' and '\\' only: ${label}")
  endif()
  target_compile_definitions(${target} PRIVATE "MAPMEND_STOCK_LABEL=\"${label}\"")
  message(STATUS "Stock table label: ${label}")
endfunction()
