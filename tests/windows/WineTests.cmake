# Included by tests/CMakeLists.txt in native (Linux) builds: the Windows build's checks, run by this
# build's CTest. scripts/build-windows.sh makes the Windows build in GLFX_WINDOWS_BUILD_DIR (make
# test runs it first); without it these tests are skipped.
#
#   windows_reference_frames  renders the frame scenarios here (EGL) and writes them, with the
#                             Linux glfx's output for glfx.exe's test
#   windows_binaries          exports and imports of the Windows binaries (objdump)
#   windows_wine              the Windows runner under Wine on Xvfb, frames compared with the above
#   windows_sdk_mode          the Windows build once more, against an SDK folder made from sdk/ with
#                             the demands of the SDK's headers added (check-sdk-mode.sh)
option(GLFX_WINDOWS_TESTS "Run the Windows build's tests under Wine" ON)
set(GLFX_WINDOWS_BUILD_DIR ${CMAKE_BINARY_DIR}/windows CACHE PATH
    "The Windows cross build that scripts/build-windows.sh makes")
if(NOT GLFX_WINDOWS_TESTS)
    return()
endif()

set(GLFX_REFERENCE_FRAMES_DIR ${CMAKE_CURRENT_BINARY_DIR}/windows-reference-frames)

add_executable(windows_reference_frames windows/reference_frames_test.cpp
               windows/reference_glfx_test.cpp windows/frame_scenarios.cpp frame_test_support.cpp
               shell_test_support.cpp gl_test_host.cpp image_match.cpp cli_test_support.cpp)
target_include_directories(windows_reference_frames PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(windows_reference_frames PRIVATE GTest::gtest_main GTest::gmock hostsim
                                                       glfx_cli_io glfx_warnings)
target_compile_definitions(windows_reference_frames PRIVATE
    GLFX_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    GLFX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    GLFX_BINARY="$<TARGET_FILE:glfx>"
    GLFX_TEMPLATE_LIBRARY="$<TARGET_FILE:glfx_template>"
    GLFX_PLUGIN_LIBRARY="${GLFX_PLUGIN_FILE}"
    GLFX_SHELL_TEST_LIBRARY="${GLFX_SHELL_TEST_LIBRARY}")
add_dependencies(windows_reference_frames glfx glfx_plugin glfx_shell_test_plugin)
add_test(NAME windows_reference_frames COMMAND windows_reference_frames)
set_tests_properties(windows_reference_frames PROPERTIES
    LABELS "gpu;windows" FIXTURES_SETUP glfx_windows_frames
    ENVIRONMENT GLFX_REFERENCE_FRAMES=${GLFX_REFERENCE_FRAMES_DIR})

add_test(NAME windows_binaries
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/check-binaries.sh ${GLFX_WINDOWS_BUILD_DIR})
set_tests_properties(windows_binaries PROPERTIES LABELS windows SKIP_RETURN_CODE 77)

add_test(NAME windows_wine
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/run-under-wine.sh
                 ${GLFX_WINDOWS_BUILD_DIR}/tests/windows/windows_tests.exe)
set_tests_properties(windows_wine PROPERTIES
    LABELS "gpu;windows" SKIP_RETURN_CODE 77 FIXTURES_REQUIRED glfx_windows_frames TIMEOUT 300
    ENVIRONMENT GLFX_REFERENCE_FRAMES=${GLFX_REFERENCE_FRAMES_DIR})

# A build of its own on every core: run alone, so that no test beside it runs out of its time.
add_test(NAME windows_sdk_mode
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/check-sdk-mode.sh ${CMAKE_BINARY_DIR}
                 ${GLFX_WINDOWS_BUILD_DIR})
set_tests_properties(windows_sdk_mode PROPERTIES
    LABELS windows SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 1800)
