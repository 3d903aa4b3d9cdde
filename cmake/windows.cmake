# Letterloom for Windows: the self-contained program folder (the program, Qt's
# DLLs and plugins, the compiler's runtime, the help page), its ZIP and its
# installer, and, when cross-compiled on Linux, running the build's programs
# and tests under Wine.

# ---- the program folder ---------------------------------------------------
# Everything lies in one folder, which is also where the templates are kept
# (see platform/appdir.cpp), so the installer puts it where the user may write.
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
if(TARGET Qt6::QWindowsVistaStylePlugin)
    install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
endif()

if(MINGW)
    # The compiler's runtime DLLs: where the compiler says they are, else
    # beside the compiler (as with the MinGW that comes with Qt on Windows).
    get_filename_component(compiler_dir ${CMAKE_CXX_COMPILER} DIRECTORY)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE reported OUTPUT_STRIP_TRAILING_WHITESPACE)
        get_filename_component(reported_dir "${reported}" DIRECTORY)
        string(MAKE_C_IDENTIFIER "LETTERLOOM_RUNTIME_${dll}" var)
        find_file(${var} ${dll} HINTS ${reported_dir} ${compiler_dir} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
        if(NOT ${var})
            message(FATAL_ERROR "The compiler's runtime ${dll} was not found (looked in ${reported_dir} and ${compiler_dir})")
        endif()
        get_filename_component(found_dir ${${var}} DIRECTORY)
        list(APPEND LETTERLOOM_RUNTIME_DIRS ${found_dir})
        install(FILES ${${var}} DESTINATION .)
    endforeach()
    list(REMOVE_DUPLICATES LETTERLOOM_RUNTIME_DIRS)
    # The DLLs come with their symbols, which more than double their size and
    # which nobody needs beside the program: stripped as they are installed.
    install(CODE "
        file(GLOB_RECURSE dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
        foreach(dll IN LISTS dlls)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\" RESULT_VARIABLE failed)
            if(failed)
                message(FATAL_ERROR \"\${dll} could not be stripped\")
            endif()
        endforeach()")
elseif(MSVC)
    set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
    include(InstallRequiredSystemLibraries)
endif()

# ---- ZIP and installer ----------------------------------------------------
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME Letterloom)
set(CPACK_PACKAGE_VENDOR Letterloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Letterloom: e-mail templates opened in your mail client")
set(LETTERLOOM_PACKAGE_FILE_NAME Letterloom-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_FILE_NAME ${LETTERLOOM_PACKAGE_FILE_NAME})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Letterloom)
set(CPACK_PACKAGE_EXECUTABLES letterloom Letterloom)
set(CPACK_STRIP_FILES ON)
# The installer is made from the project's own NSIS script (cmake/NSIS.template.in):
# a 64-bit installer that installs for the current user without asking for
# administrator rights, into a folder the user can write, with a Start-menu
# entry, and an uninstaller that leaves the user's templates alone.
set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake)
set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA\\\\Programs")
set(CPACK_NSIS_DISPLAY_NAME "Letterloom ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME "Letterloom ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/app/icons/letterloom.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/app/icons/letterloom.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME letterloom.exe)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_URL_INFO_ABOUT "https://letterloom.example.org")
# What the installer runs to put the program folder on the user's PATH.
set(CPACK_LETTERLOOM_USERPATH ${CMAKE_BINARY_DIR}/installer/letterloom-userpath.exe)
include(CPack)

# ---- running the build under Wine -----------------------------------------
if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
    find_program(LETTERLOOM_WINE wine)
    find_program(LETTERLOOM_WINEBOOT wineboot)
    find_program(LETTERLOOM_WINESERVER wineserver PATHS /usr/lib/wine)
    find_program(LETTERLOOM_XVFB Xvfb)
    if(NOT LETTERLOOM_WINE OR NOT LETTERLOOM_WINEBOOT OR NOT LETTERLOOM_WINESERVER OR NOT LETTERLOOM_XVFB)
        message(FATAL_ERROR "Wine and Xvfb are needed to run the Windows tests here (Debian: wine, wine64, xvfb)")
    endif()
    # One throwaway prefix for the build's tests, made anew by every ctest run.
    set(LETTERLOOM_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)

    # Qt's DLLs and the compiler's runtime are found where they lie, through
    # WINEPATH; Qt finds its plugins beside its own DLLs.
    get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
    get_filename_component(qt_bin_dir ${qt_core_dll} DIRECTORY)
    set(LETTERLOOM_WINEPATH "")
    foreach(dir ${qt_bin_dir} ${LETTERLOOM_RUNTIME_DIRS})
        string(APPEND LETTERLOOM_WINEPATH "Z:${dir};")
    endforeach()
    string(REGEX REPLACE ";$" "" LETTERLOOM_WINEPATH "${LETTERLOOM_WINEPATH}")

    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-prefix.sh.in ${CMAKE_BINARY_DIR}/wine-prefix.sh @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
    # ctest starts every test program through it.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
    set(LETTERLOOM_UNDER_WINE ON)
endif()
