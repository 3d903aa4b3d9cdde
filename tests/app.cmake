# The main window, driven as a user drives it.
letterloom_test(tst_form1 tst_form1.cpp form1testing.h)
target_link_libraries(tst_form1 PRIVATE letterloom_app)
letterloom_test(tst_form1_flows tst_form1_flows.cpp form1testing.h)
target_link_libraries(tst_form1_flows PRIVATE letterloom_app)

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
