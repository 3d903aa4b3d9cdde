# Start-up of the window with many stored templates: the driver starts the
# window program and times it until the window is shown.
letterloom_bench(bench_startup_window bench_startup_window.cpp)
target_link_libraries(bench_startup_window PRIVATE letterloom_app)
letterloom_bench(bench_startup bench_startup.cpp)
add_dependencies(bench_startup bench_startup_window)

# One very large stored template: start-up, and a click on it.
find_package(Qt6 REQUIRED COMPONENTS Test)
letterloom_bench(bench_bigrecord bench_bigrecord.cpp)
target_link_libraries(bench_bigrecord PRIVATE letterloom_app Qt6::Test)
