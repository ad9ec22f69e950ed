# The property resource as a Windows resource: type "PiPL", id 16000, US English. A small tool
# built for the build machine writes the bytes of buildPropertyResource into a file, and the
# resource script includes that file, so the Windows resource and the ELF section have one source.
#
# Native builds make the tool; a cross build runs the one of the native build it borrows glfx from
# (GLFX_NATIVE_BUILD_DIR).
if(NOT CMAKE_CROSSCOMPILING)
    add_executable(glfx_pipl_bytes ${CMAKE_CURRENT_LIST_DIR}/WritePropertyResource.cpp)
    target_include_directories(glfx_pipl_bytes PRIVATE ${PROJECT_SOURCE_DIR}/plugin)
    target_link_libraries(glfx_pipl_bytes PRIVATE glfx_warnings)
    set(GLFX_PIPL_TOOL glfx_pipl_bytes)
else()
    set(GLFX_PIPL_TOOL ${GLFX_NATIVE_BUILD_DIR}/plugin/glfx_pipl_bytes)
endif()

function(glfx_add_property_resource target)
    set(bytes ${CMAKE_CURRENT_BINARY_DIR}/PropertyResource.bin)
    add_custom_command(
        OUTPUT ${bytes}
        COMMAND ${GLFX_PIPL_TOOL} ${bytes}
        DEPENDS ${GLFX_PIPL_TOOL}
        COMMENT "Writing the property resource's bytes"
        VERBATIM)
    set(GLFX_PIPL_BYTES ${bytes})
    set(script ${CMAKE_CURRENT_BINARY_DIR}/PropertyResource.rc)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/PropertyResource.rc.in ${script} @ONLY)
    set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS ${bytes})
    target_sources(${target} PRIVATE ${script})
endfunction()
