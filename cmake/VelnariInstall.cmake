# What `cmake --install` puts where. Components:
#   runtime      the command line, the Linux plug-in, the man page, bash
#                completion, the user documentation and the example songs;
#                on Windows the readme, the licence and the examples
#   plugin       (Windows) the DLL with its velnari.ini beside it
#   notices      LICENSE and CHANGELOG.md, which the Debian package carries
#                in its own forms (copyright, changelog.gz) instead
#   debian       those two, installed only when asked for (by the package)
#   development  the public headers, the static library, the CMake package
#                and the pkg-config file
# A plain `cmake --install` installs every component but debian.
#
# Deliberate choices:
# - The Linux plug-in lives in <libdir>/velnari/plugin/, a folder of its own
#   that a host is pointed at: it reads velnari.ini beside itself, as the DLL
#   does. (Directly in <libdir>/velnari, CPack would count it a shared library
#   and have the Debian package run ldconfig for nothing.)
# - The public headers keep the source tree's folders under
#   <includedir>/velnari (velnari/engine/Engine.h, velnari/mml/Compile.h,
#   velnari/fm/OPN.h, velnari/Version.h); since they include each other as
#   "song/Song.h", <includedir>/velnari is on the include path too.
# - Only the compiler's front door, the engine and the chip are public, with
#   the headers they include; none of them includes Boost or an operating-system
#   header, so a consumer needs neither. tests/install checks both.

set(VELNARI_DOC_FILES README.md docs/cli.md docs/mml.md)
set(VELNARI_MAINTAINER "The velnari developers <velnari@example.org>")
file(GLOB VELNARI_EXAMPLES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/*.mml)

if(WIN32)
    # The layout of the Windows zip: the DLL and its settings at the top, the
    # 64-bit build's in x64/ (see cmake/VelnariPackaging.cmake). Text files
    # get Windows line ends, for Notepad.
    install(TARGETS velnari_module LIBRARY DESTINATION . COMPONENT plugin)
    function(velnari_windows_text source target component)
        file(READ ${source} text)
        string(REPLACE "\r\n" "\n" text "${text}")
        string(REPLACE "\n" "\r\n" text "${text}")
        file(WRITE ${CMAKE_BINARY_DIR}/packaging/${target} "${text}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
        install(FILES ${CMAKE_BINARY_DIR}/packaging/${target} DESTINATION . COMPONENT ${component})
    endfunction()
    configure_file(packaging/windows/readme.txt ${CMAKE_BINARY_DIR}/packaging/readme.in.txt
                   @ONLY)
    velnari_windows_text(${CMAKE_BINARY_DIR}/packaging/readme.in.txt readme.txt runtime)
    velnari_windows_text(LICENSE LICENSE.txt runtime)
    velnari_windows_text(CHANGELOG.md CHANGELOG.txt runtime)
    velnari_windows_text(packaging/velnari.ini velnari.ini plugin)
    install(FILES ${VELNARI_EXAMPLES} DESTINATION examples COMPONENT runtime)
    return()
endif()

if(CMAKE_CROSSCOMPILING OR EMSCRIPTEN)
    return()
endif()

# The command line and its manuals.
if(TARGET velnari)
    install(TARGETS velnari RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
    install(FILES packaging/velnari.bash-completion
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
            RENAME velnari COMPONENT runtime)

    # The man page is the program's own --help and that of each command,
    # put into shape by help2man, so the two cannot drift apart.
    find_program(VELNARI_HELP2MAN help2man)
    if(VELNARI_HELP2MAN)
        set(man_page ${CMAKE_BINARY_DIR}/packaging/velnari.1.gz)
        add_custom_command(
            OUTPUT ${man_page}
            COMMAND sh ${CMAKE_SOURCE_DIR}/packaging/man-page.sh $<TARGET_FILE:velnari>
                    ${PROJECT_VERSION} ${CMAKE_SOURCE_DIR}/packaging/velnari.h2m ${man_page}
            DEPENDS velnari packaging/man-page.sh packaging/velnari.h2m
            COMMENT "Writing the man page from velnari --help"
            VERBATIM)
        add_custom_target(velnari_man_page ALL DEPENDS ${man_page})
        install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
    else()
        message(STATUS "help2man not found: no man page (scripts/install-deps.sh installs it)")
    endif()
endif()

install(TARGETS velnari_module LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/velnari/plugin
        COMPONENT runtime)

install(FILES ${VELNARI_DOC_FILES} packaging/velnari.ini DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT runtime)
install(FILES ${VELNARI_EXAMPLES} DESTINATION ${CMAKE_INSTALL_DATADIR}/velnari/examples
        COMPONENT runtime)
install(FILES LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT notices)

# The Debian forms of the licence and the change log.
set(debian_copyright ${CMAKE_BINARY_DIR}/packaging/copyright)
file(STRINGS LICENSE license_lines)
list(FILTER license_lines INCLUDE REGEX "^Copyright")
string(REGEX REPLACE "^Copyright \\([cC]\\) *" "" VELNARI_COPYRIGHT_HOLDERS "${license_lines}")
file(READ LICENSE license_text)
string(STRIP "${license_text}" license_text)
string(REGEX REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REGEX REPLACE "\n" "\n " VELNARI_LICENSE_TEXT " ${license_text}")
configure_file(packaging/debian/copyright.in ${debian_copyright} @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)

set(debian_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
    OUTPUT ${debian_changelog}
    COMMAND sh ${CMAKE_SOURCE_DIR}/packaging/debian/changelog.sh ${CMAKE_SOURCE_DIR}/CHANGELOG.md
            "${VELNARI_MAINTAINER}" ${debian_changelog}
    DEPENDS CHANGELOG.md packaging/debian/changelog.sh
    COMMENT "Writing the Debian change log from CHANGELOG.md"
    VERBATIM)
add_custom_target(velnari_debian_changelog ALL DEPENDS ${debian_changelog})
install(FILES ${debian_copyright} ${debian_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT debian EXCLUDE_FROM_ALL)

# The library for other projects.
set(VELNARI_PUBLIC_HEADERS
    engine/Engine.h
    fm/Channel.h
    fm/OPN.h
    fm/OPNBase.h
    fm/Operator.h
    fm/RateContext.h
    fm/SSG.h
    fm/Tables.h
    fm/Timer.h
    mml/Compile.h
    mml/Extension.h
    song/Command.h
    song/FMVoice.h
    song/SSGEnvelope.h
    song/Song.h
    song/Tags.h
)
foreach(header ${VELNARI_PUBLIC_HEADERS})
    get_filename_component(folder ${header} DIRECTORY)
    install(FILES src/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velnari/${folder}
            COMPONENT development)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/src/generated/velnari/Version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velnari COMPONENT development)

# The installed library is one archive, libvelnari_core.a, of the objects the
# layers under the compiler and the engine already built (nothing is compiled
# again), so a user links one library whatever the layers are.
set(installed_layers velnari_platform velnari_text velnari_fm velnari_song velnari_sequencer
    velnari_mml velnari_engine)
set(installed_objects "")
foreach(layer ${installed_layers})
    list(APPEND installed_objects $<TARGET_OBJECTS:${layer}>)
endforeach()
add_library(velnari_installed_core STATIC ${installed_objects})
set_target_properties(velnari_installed_core PROPERTIES
    OUTPUT_NAME velnari_core EXPORT_NAME core LINKER_LANGUAGE CXX
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/installed)
target_include_directories(velnari_installed_core INTERFACE
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/velnari>)
# What the library needs from the system, stated for its users (the build
# tree's own programs link it without them on current glibc).
find_package(Threads REQUIRED)
target_link_libraries(velnari_installed_core INTERFACE Threads::Threads ${CMAKE_DL_LIBS})
install(TARGETS velnari_installed_core EXPORT velnariTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)

include(CMakePackageConfigHelpers)
set(cmake_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/velnari)
install(EXPORT velnariTargets NAMESPACE velnari:: DESTINATION ${cmake_package_dir}
        COMPONENT development)
configure_package_config_file(packaging/velnariConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/packaging/velnariConfig.cmake
                              INSTALL_DESTINATION ${cmake_package_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/velnariConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/packaging/velnariConfig.cmake
              ${CMAKE_BINARY_DIR}/packaging/velnariConfigVersion.cmake
        DESTINATION ${cmake_package_dir} COMPONENT development)

# The pkg-config file finds its prefix from where it lies, so it is right for
# any --prefix and inside DESTDIR.
file(RELATIVE_PATH VELNARI_PC_TO_PREFIX
     /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
set(VELNARI_PC_DL "")
if(CMAKE_DL_LIBS)
    set(VELNARI_PC_DL "-l${CMAKE_DL_LIBS}")
endif()
configure_file(packaging/velnari.pc.in ${CMAKE_BINARY_DIR}/packaging/velnari.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/velnari.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
