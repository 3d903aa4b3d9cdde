// A tiny Windows program over the Outlook automation code, built with
// MinGW on every test run so that the Windows-only code keeps compiling.
// Run on Windows:  outlookdriver <to> <subject> <body> [attachment...]
// It makes one plain-text mail item in Outlook, in the same order of calls
// as a launch, and displays it.
#include "compose/outlookautomation_win.h"

#include <cstdio>

int wmain(int argc, wchar_t **argv)
{
    if (argc < 4) {
        std::fwprintf(stderr, L"usage: outlookdriver <to> <subject> <body> [attachment...]\n");
        return 2;
    }
    std::wstring error;
    auto fail = [&error]() {
        std::fwprintf(stderr, L"%ls\n", error.c_str());
        return 1;
    };
    auto application = compose::outlook::Application::create(&error);
    if (!application)
        return fail();
    auto item = application->createItem(0, &error);
    if (!item)
        return fail();
    if (!item->putText(L"To", argv[1], &error) || !item->putText(L"CC", L"", &error)
        || !item->putText(L"BCC", L"", &error) || !item->putText(L"Subject", argv[2], &error)
        || !item->putNumber(L"BodyFormat", 3, &error) || !item->putNumber(L"BodyFormat", 1, &error)
        || !item->putText(L"Body", argv[3], &error))
        return fail();
    for (int i = 4; i < argc; ++i) {
        if (!item->addAttachment(argv[i], &error))
            return fail();
    }
    if (!item->display(&error))
        return fail();
    return 0;
}
