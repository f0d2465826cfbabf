if(TARGET app)
  ranvista_test_area(app LIBS app Qt6::Test)
  target_include_directories(app_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../viewer)
endif()
