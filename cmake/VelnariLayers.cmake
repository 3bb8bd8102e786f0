# The library's layers, each a static library of its own. A layer sees the
# headers of the layers it uses and no others: its include root is a folder
# of the build tree holding a single link, <root>/<name> -> src/<name>, so
# "engine/Engine.h" resolves only where the engine layer is linked, and an
# include across a boundary fails to build (tests/layers checks one per
# layer).
#
# velnari_layer(<name> SOURCES <files...> [USES <layers...>])
#   Makes velnari_<name> from the sources of the calling folder, which must
#   be src/<name>. USES names the layers below it that its code and headers
#   may include; they are linked publicly, so whoever uses this layer sees
#   those too. Libraries from outside the project are added with
#   target_link_libraries after the call.
#
# The layers made so far are kept in the global property VELNARI_LAYERS,
# bottom first, for settings that every layer's code takes (the WebAssembly
# build's flags).
function(velnari_layer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;USES" ${ARGN})
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "velnari_layer(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    set(target velnari_${name})
    set(root ${CMAKE_BINARY_DIR}/layers/${name})
    # Made again at every configure, so a moved checkout never points to the
    # old one.
    file(REMOVE ${root}/${name})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${name} SYMBOLIC)

    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
    foreach(used ${ARG_USES})
        if(NOT TARGET velnari_${used})
            message(FATAL_ERROR "velnari_layer(${name}): layer '${used}' is not made yet; "
                                "a layer uses only layers made before it")
        endif()
        target_link_libraries(${target} PUBLIC velnari_${used})
    endforeach()
    velnari_target_defaults(${target})
    set_property(GLOBAL APPEND PROPERTY VELNARI_LAYERS ${target})
endfunction()
