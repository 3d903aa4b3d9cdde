if(NOT WIN32)
    letterloom_bench(bench_compose bench_compose.cpp)
    letterloom_bench(bench_launch bench_launch.cpp)
endif()
