# Launching templates: ComposeEmail, the mail client adapters.
letterloom_test(tst_compose tst_compose.cpp)

if(NOT WIN32)
    # A stand-in for Thunderbird that records the arguments it is given.
    add_executable(standin_recordargs standins/recordargs.cpp)
    letterloom_warnings(standin_recordargs)
    letterloom_test(tst_compose_unix tst_compose_unix.cpp)
    add_dependencies(tst_compose_unix standin_recordargs)
    target_compile_definitions(tst_compose_unix PRIVATE
        RECORDARGS_STANDIN="$<TARGET_FILE:standin_recordargs>")
endif()
