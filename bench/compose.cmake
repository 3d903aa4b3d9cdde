if(NOT WIN32)
    letterloom_bench(bench_compose bench_compose.cpp)
endif()
