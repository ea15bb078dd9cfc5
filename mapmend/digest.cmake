# MD5, file digests and the stock map check, with the stock table compiled in.
include(${CMAKE_SOURCE_DIR}/cmake/stock_table.cmake)

add_library(mapmend_digest STATIC
  ${CMAKE_CURRENT_LIST_DIR}/md5.cpp
  ${CMAKE_CURRENT_LIST_DIR}/md5_lanes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_md5.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stock_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stock_check_lanes.cpp)
project_target_options(mapmend_digest)
find_package(Threads REQUIRED)
target_link_libraries(mapmend_digest PUBLIC common_files Threads::Threads)

# The vector lane routines: each file alone is compiled for its instruction set, so the rest
# of the program runs on any x86 processor and each routine is called only where cpuid
# reports its instructions.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|X86|i[3-6]86|x86_64|AMD64|amd64)$")
  set(lane_flags sse2 "-msse2" avx2 "-mavx2" avx512 "-mavx512f")
  while(lane_flags)
    list(POP_FRONT lane_flags isa flag)
    set(lane_source ${CMAKE_CURRENT_LIST_DIR}/md5_lanes_${isa}.cpp)
    target_sources(mapmend_digest PRIVATE ${lane_source})
    set_source_files_properties(${lane_source} PROPERTIES COMPILE_OPTIONS ${flag})
  endwhile()
  target_compile_definitions(mapmend_digest PRIVATE MAPMEND_MD5_LANES_X86)
endif()
add_stock_table(mapmend_digest "${MAPMEND_STOCK_TABLE}")

if(MAPMEND_BUILD_TESTS)
  add_project_test(md5_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/md5_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/md5_lanes_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/file_md5_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/stock_check_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/stock_check_lanes_test.cpp
    LIBRARIES mapmend_digest test_support)
  target_compile_definitions(md5_test PRIVATE MAPMEND_STOCK_TABLE_FILE="${MAPMEND_STOCK_TABLE}")

  if(NOT CMAKE_CROSSCOMPILING)
    add_test(NAME stock_table_check
             COMMAND ${CMAKE_COMMAND} -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/stock_table_check
                     -P ${CMAKE_SOURCE_DIR}/cmake/check_stock_table_test.cmake)
    add_test(NAME make_stock_table
             COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/make-stock-table-test
                     ${CMAKE_CURRENT_BINARY_DIR}/make_stock_table_test ${CMAKE_COMMAND})
    set_tests_properties(make_stock_table PROPERTIES ENVIRONMENT "MAPDIFF=$<TARGET_FILE:mapdiff>")
  endif()
endif()

# Throughput of file_md5 against plain reading; built with the presets, not run as a test.
add_executable(md5_bench ${CMAKE_SOURCE_DIR}/bench/md5_bench.cpp)
project_target_options(md5_bench)
target_link_libraries(md5_bench PRIVATE mapmend_digest)
