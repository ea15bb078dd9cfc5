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
