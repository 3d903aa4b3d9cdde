# The main window, driven as a user drives it.
letterloom_test(tst_form1 tst_form1.cpp form1testing.h)
target_link_libraries(tst_form1 PRIVATE letterloom_app)
letterloom_test(tst_form1_flows tst_form1_flows.cpp form1testing.h)
target_link_libraries(tst_form1_flows PRIVATE letterloom_app)
