ranvista_bench(imagedb imagedb_bench.cpp)
target_link_libraries(bench_imagedb PRIVATE imagedb)
