# The main window, driven as a user drives it.
letterloom_test(tst_form1 tst_form1.cpp form1testing.h)
target_link_libraries(tst_form1 PRIVATE letterloom_app)
letterloom_test(tst_form1_flows tst_form1_flows.cpp form1testing.h)
target_link_libraries(tst_form1_flows PRIVATE letterloom_app)
letterloom_test(tst_form1_commands tst_form1_commands.cpp form1testing.h testfiles.h)
target_link_libraries(tst_form1_commands PRIVATE letterloom_app)

# Faults in the way of the window and of a second running copy.
if(NOT WIN32)
    add_executable(standin_saver standins/saver.cpp)
    target_link_libraries(standin_saver PRIVATE letterloom_core)
    letterloom_warnings(standin_saver)
    letterloom_test(tst_faults tst_faults.cpp form1testing.h testfiles.h)
    target_link_libraries(tst_faults PRIVATE letterloom_app)
    add_dependencies(tst_faults standin_saver)
    target_compile_definitions(tst_faults PRIVATE SAVER_STANDIN="$<TARGET_FILE:standin_saver>")
endif()
letterloom_test(tst_form1_templates tst_form1_templates.cpp form1testing.h testfiles.h)
target_link_libraries(tst_form1_templates PRIVATE letterloom_app)

if(WIN32)
    # The window with the program's own folders: templates beside the program
    # (a folder of its own for this test program), pairs in the registry.
    letterloom_test(tst_programfolder_win tst_programfolder_win.cpp form1testing.h testfiles.h
        windowstesting_win.h)
    target_link_libraries(tst_programfolder_win PRIVATE letterloom_app)
    set_target_properties(tst_programfolder_win PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/programfolder)
    set_property(TEST tst_programfolder_win APPEND PROPERTY RESOURCE_LOCK user_settings)
    if(LETTERLOOM_UNDER_WINE)
        # The pairs it types, read back from the registry with Wine's reg.
        add_test(NAME windows_registry_readback
            COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/check-registry.sh
                ${CMAKE_BINARY_DIR}/wine-run.sh $<TARGET_FILE:tst_programfolder_win>)
        set_tests_properties(windows_registry_readback PROPERTIES
            FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK user_settings TIMEOUT 300)
    endif()
endif()

if(LETTERLOOM_UNDER_WINE)
    # The installer that scripts/build-windows.sh packs (cpack -G NSIS), installed
    # and uninstalled under Wine.
    add_test(NAME windows_installer
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/check-installer.sh ${CMAKE_BINARY_DIR}/wine-run.sh
            ${CMAKE_BINARY_DIR}/${LETTERLOOM_PACKAGE_FILE_NAME}.exe)
    set_tests_properties(windows_installer PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 300)
endif()
