# Third-party libraries. Boost is used header-only (Spirit classic and
# lexical_cast); on cross builds its headers come from a folder that holds
# only the Boost tree, never from the host's whole /usr/include.
if(CMAKE_CROSSCOMPILING)
    set(VELNARI_BOOST_ROOT "${CMAKE_BINARY_DIR}/boost-include" CACHE PATH
        "Folder holding only the boost/ header tree for the cross compiler")
    if(NOT EXISTS "${VELNARI_BOOST_ROOT}/boost")
        file(MAKE_DIRECTORY "${VELNARI_BOOST_ROOT}")
        file(CREATE_LINK /usr/include/boost "${VELNARI_BOOST_ROOT}/boost" SYMBOLIC)
    endif()
    add_library(velnari_boost INTERFACE)
    target_include_directories(velnari_boost SYSTEM INTERFACE "${VELNARI_BOOST_ROOT}")
else()
    find_package(Boost 1.74 REQUIRED)
    add_library(velnari_boost INTERFACE)
    target_link_libraries(velnari_boost INTERFACE Boost::headers)
endif()
