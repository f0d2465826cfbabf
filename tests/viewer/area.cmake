if(TARGET viewer)
  ranvista_test_area(viewer LIBS viewer Qt6::Test)
endif()
