# Launching templates: ComposeEmail, the mail client adapters.
letterloom_test(tst_compose tst_compose.cpp)
