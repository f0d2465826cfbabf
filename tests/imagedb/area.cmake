ranvista_test_area(imagedb LIBS imagedb analysis)
target_compile_definitions(imagedb_tests PRIVATE
  RANVISTA_IMAGEDB_CORPUS="${CMAKE_CURRENT_LIST_DIR}/corpus")

# libFuzzer targets of the store and query readers, built only on request
# with clang (scripts/fuzz-imagedb configures such a build).
option(RANVISTA_FUZZ "Build the libFuzzer targets of the image database readers (clang)" OFF)
if(RANVISTA_FUZZ)
  foreach(reader store query)
    add_executable(fuzz_${reader} ${CMAKE_CURRENT_LIST_DIR}/fuzz/${reader}_fuzzer.cpp)
    target_link_libraries(fuzz_${reader} PRIVATE imagedb)
    target_compile_options(fuzz_${reader} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${reader} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
