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

# The Outlook adapter is built only on Windows. So that it cannot rot, every
# test run also builds its automation code into a small Windows program with
# MinGW, and checks the Qt side of it against this system's Qt headers.
find_program(LETTERLOOM_MINGW_CXX x86_64-w64-mingw32-g++)
if(NOT WIN32 AND NOT LETTERLOOM_MINGW_CXX)
    message(STATUS "The MinGW checks of the Outlook adapter are skipped: x86_64-w64-mingw32-g++ is not installed")
elseif(NOT WIN32)
    set(mingw_flags -std=c++17 -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
        -Wcast-align -Woverloaded-virtual -Wconversion -Wno-sign-conversion -Werror
        -I${PROJECT_SOURCE_DIR})
    add_test(NAME outlook_adapter_mingw
        COMMAND ${LETTERLOOM_MINGW_CXX} ${mingw_flags} -municode
            ${PROJECT_SOURCE_DIR}/compose/outlookautomation_win.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/standins/outlookdriver_win.cpp
            -o ${CMAKE_CURRENT_BINARY_DIR}/outlookdriver.exe -static -lole32 -loleaut32 -luuid)
    # Qt's own header folders only: the system's C headers are not MinGW's.
    set(qt_includes)
    foreach(qt_target Qt6::Core Qt6::Gui)
        get_target_property(dirs ${qt_target} INTERFACE_INCLUDE_DIRECTORIES)
        list(APPEND qt_includes ${dirs})
    endforeach()
    list(FILTER qt_includes INCLUDE REGEX "qt6")
    list(REMOVE_DUPLICATES qt_includes)
    list(TRANSFORM qt_includes PREPEND "-isystem")
    add_test(NAME outlook_adapter_qt_side_mingw
        COMMAND ${LETTERLOOM_MINGW_CXX} ${mingw_flags} -fsyntax-only
            -DQT_NO_CAST_FROM_ASCII -DQT_NO_CAST_TO_ASCII ${qt_includes}
            ${PROJECT_SOURCE_DIR}/compose/outlookmailclient_win.cpp)
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
