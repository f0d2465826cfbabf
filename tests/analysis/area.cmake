# libFuzzer targets of the product label, raw-image JSON and PDS4 readers,
# built only on request with clang (scripts/fuzz-products configures such a
# build). The analysis test program itself is declared in tests/CMakeLists.txt.
option(RANVISTA_FUZZ "Build the libFuzzer targets of the readers (clang)" OFF)
if(RANVISTA_FUZZ)
  foreach(reader label raw_json pds4)
    add_executable(fuzz_${reader} ${CMAKE_CURRENT_LIST_DIR}/fuzz/${reader}_fuzzer.cpp)
    target_link_libraries(fuzz_${reader} PRIVATE analysis)
    target_compile_options(fuzz_${reader} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${reader} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
