# Building against the After Effects SDK's own headers: GLFX_AE_SDK_DIR names its Headers folder
# (AE_Effect.h, SP/ inside it, Util/ beside it). Included by the top-level CMakeLists.txt into
# glfx_sdk, which every target that includes an SDK header links.
#
# The SDK's headers support Windows and macOS only. They expect what the SDK's own projects give
# them: the platform macros, and AEConfig.h before any other of its headers (forced here, so our
# sources include the SDK's headers in any order, as they do our sdk/). Its folders are system
# include directories: its headers draw warnings of their own that -Werror must leave to the
# vendor. It writes four-character codes as multi-character constants, and where such a macro
# expands in our code GCC warns there, system header or not: that one warning is off in this mode
# (our code writes the codes as numbers, and the default build keeps the warning).
if(NOT WIN32)
    message(FATAL_ERROR
        "GLFX_AE_SDK_DIR is for the Windows build: the After Effects SDK's headers support "
        "Windows and macOS only, so a native Linux build uses the project's own sdk/. Configure "
        "this build without GLFX_AE_SDK_DIR, and build the Windows plug-ins against the SDK with\n"
        "  GLFX_AE_SDK_DIR=${GLFX_AE_SDK_DIR} scripts/build-windows.sh OUT_DIR LINUX_BUILD_DIR")
endif()

get_filename_component(GLFX_AE_SDK_HEADERS "${GLFX_AE_SDK_DIR}" ABSOLUTE)
get_filename_component(GLFX_AE_SDK_UTIL "${GLFX_AE_SDK_HEADERS}/../Util" ABSOLUTE)
foreach(file ${GLFX_AE_SDK_HEADERS}/AEConfig.h ${GLFX_AE_SDK_HEADERS}/AE_Effect.h
             ${GLFX_AE_SDK_HEADERS}/SP/SPBasic.h ${GLFX_AE_SDK_UTIL}/Param_Utils.h)
    if(NOT EXISTS ${file})
        message(FATAL_ERROR
            "GLFX_AE_SDK_DIR=${GLFX_AE_SDK_DIR} is not the SDK's Headers folder: ${file} is "
            "missing. Name the folder that holds AE_Effect.h, with SP/ inside it and Util/ "
            "beside it.")
    endif()
endforeach()

target_include_directories(glfx_sdk SYSTEM INTERFACE ${GLFX_AE_SDK_HEADERS}
                                                     ${GLFX_AE_SDK_HEADERS}/SP ${GLFX_AE_SDK_UTIL})
target_compile_definitions(glfx_sdk INTERFACE MSWindows _WINDOWS GLFX_REAL_AE_SDK=1)
# Not for the resource compiler, which reads no SDK header.
target_compile_options(glfx_sdk INTERFACE "$<$<COMPILE_LANGUAGE:C,CXX>:SHELL:-include AEConfig.h>"
                                          $<$<COMPILE_LANGUAGE:C,CXX>:-Wno-multichar>)
message(STATUS "SDK headers: ${GLFX_AE_SDK_HEADERS}")
