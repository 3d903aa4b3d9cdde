# Launching templates: ComposeEmail, the mail client adapters.
letterloom_test(tst_compose tst_compose.cpp)

if(NOT WIN32)
    # A stand-in for Thunderbird that records the arguments it is given.
    add_executable(standin_recordargs standins/recordargs.cpp)
    letterloom_warnings(standin_recordargs)
    foreach(test tst_mailclients_unix tst_drafts_unix)
        letterloom_test(${test} ${test}.cpp mailclienttesting.h)
        add_dependencies(${test} standin_recordargs)
        target_compile_definitions(${test} PRIVATE RECORDARGS_STANDIN="$<TARGET_FILE:standin_recordargs>")
    endforeach()
endif()

if(WIN32)
    # A stand-in for Outlook: a COM server, registered by the test itself as
    # "Outlook.Application", that logs every call it gets. Linked statically,
    # as COM starts it wherever it lies.
    add_executable(standin_outlook WIN32 standins/outlook_standin_win.cpp)
    set_target_properties(standin_outlook PROPERTIES OUTPUT_NAME outlook_standin)
    target_link_libraries(standin_outlook PRIVATE ole32 oleaut32 uuid)
    letterloom_warnings(standin_outlook)
    if(MINGW)
        target_compile_options(standin_outlook PRIVATE -municode)
        target_link_options(standin_outlook PRIVATE -municode -static)
    endif()

    # The window launching through the Outlook adapter into the stand-in.
    letterloom_test(tst_outlook_win tst_outlook_win.cpp form1testing.h)
    target_link_libraries(tst_outlook_win PRIVATE letterloom_app)
    add_dependencies(tst_outlook_win standin_outlook)
    target_compile_definitions(tst_outlook_win PRIVATE OUTLOOK_STANDIN="$<TARGET_FILE:standin_outlook>")
    # It registers "Outlook.Application", which the tests of a Windows without
    # Outlook need absent, and it shares the user's registry key.
    set_property(TEST tst_outlook_win APPEND PROPERTY RESOURCE_LOCK user_settings outlook_registration)
endif()

if(WIN32)
    # A Windows without classic Outlook: Thunderbird when it is the default
    # mail program, else a draft opened with the program for e-mail files,
    # both played by a stand-in that records its arguments.
    add_executable(standin_recordargs_win standins/recordargs_win.cpp)
    letterloom_warnings(standin_recordargs_win)
    if(MINGW)
        target_compile_options(standin_recordargs_win PRIVATE -municode)
        target_link_options(standin_recordargs_win PRIVATE -municode -static)
    endif()
    letterloom_test(tst_nooutlook_win tst_nooutlook_win.cpp form1testing.h testfiles.h)
    target_link_libraries(tst_nooutlook_win PRIVATE letterloom_app ole32)
    add_dependencies(tst_nooutlook_win standin_recordargs_win)
    target_compile_definitions(tst_nooutlook_win PRIVATE RECORDARGS_STANDIN="$<TARGET_FILE:standin_recordargs_win>")
    set_property(TEST tst_nooutlook_win APPEND PROPERTY RESOURCE_LOCK user_settings outlook_registration)
endif()
