if(TARGET viewer)
  ranvista_bench(viewer viewer_bench.cpp)
  target_link_libraries(bench_viewer PRIVATE viewer)
endif()
