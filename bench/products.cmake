ranvista_bench(products products_bench.cpp)
target_link_libraries(bench_products PRIVATE analysis)
target_compile_definitions(bench_products PRIVATE RANVISTA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
