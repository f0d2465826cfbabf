ranvista_bench(calc calc_bench.cpp)
target_link_libraries(bench_calc PRIVATE analysis transform)
target_compile_definitions(bench_calc PRIVATE RANVISTA_CLI="$<TARGET_FILE:ranvista-cli>")
add_dependencies(bench_calc ranvista-cli)
