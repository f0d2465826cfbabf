ranvista_test_area(imagedb LIBS imagedb analysis)
target_compile_definitions(imagedb_tests PRIVATE
  RANVISTA_IMAGEDB_CORPUS="${CMAKE_CURRENT_LIST_DIR}/corpus")
