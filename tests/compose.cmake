# Launching templates: ComposeEmail, the mail client adapters.
letterloom_test(tst_compose tst_compose.cpp)

if(NOT WIN32)
    foreach(test tst_mailclients_unix tst_drafts_unix)
        letterloom_test(${test} ${test}.cpp mailclienttesting.h)
        # A stand-in for the mail programs that records the arguments it is given.
        target_compile_definitions(${test} PRIVATE
            RECORDARGS_STANDIN="${CMAKE_CURRENT_SOURCE_DIR}/standins/recordargs.sh")
    endforeach()
endif()

if(WIN32)
    # The stand-ins for other Windows programs, linked statically, as they are
    # started from wherever they lie: Outlook's COM server, which the test
    # registers as "Outlook.Application" and which logs every call it gets;
    # and a program that records its arguments, playing Thunderbird and the
    # program for e-mail files on a Windows without classic Outlook.
    add_executable(standin_outlook WIN32 standins/outlook_standin_win.cpp)
    set_target_properties(standin_outlook PROPERTIES OUTPUT_NAME outlook_standin)
    target_link_libraries(standin_outlook PRIVATE ole32 oleaut32 uuid)
    add_executable(standin_recordargs_win standins/recordargs_win.cpp)
    foreach(standin standin_outlook standin_recordargs_win)
        letterloom_warnings(${standin})
        if(MINGW)
            target_compile_options(${standin} PRIVATE -municode)
            target_link_options(${standin} PRIVATE -municode -static)
        endif()
    endforeach()

    # The window launching into the stand-in Outlook, and on a Windows
    # without it: Thunderbird when it is the default mail program, else a
    # draft opened with the program for e-mail files.
    letterloom_test(tst_outlook_win tst_outlook_win.cpp form1testing.h windowstesting_win.h)
    add_dependencies(tst_outlook_win standin_outlook)
    target_compile_definitions(tst_outlook_win PRIVATE OUTLOOK_STANDIN="$<TARGET_FILE:standin_outlook>")
    letterloom_test(tst_nooutlook_win tst_nooutlook_win.cpp form1testing.h testfiles.h windowstesting_win.h)
    target_link_libraries(tst_nooutlook_win PRIVATE ole32)
    add_dependencies(tst_nooutlook_win standin_recordargs_win)
    target_compile_definitions(tst_nooutlook_win PRIVATE RECORDARGS_STANDIN="$<TARGET_FILE:standin_recordargs_win>")
    # Both need "Outlook.Application" registered or absent, and they share
    # the user's registry key.
    foreach(test tst_outlook_win tst_nooutlook_win)
        target_link_libraries(${test} PRIVATE letterloom_app)
        set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK user_settings outlook_registration)
    endforeach()
endif()
