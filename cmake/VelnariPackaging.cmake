# The packages `make dist` builds with CPack (see the Makefile):
#   from the release build:  velnari_<version>_amd64.deb
#   from the mingw32 build:  velnari-<version>-win32.zip, which takes the
#                            64-bit DLL from the mingw64 build into x64/
# Both carry the licence: the zip as LICENSE.txt, the Debian package as its
# machine-readable copyright file.

if(EMSCRIPTEN OR VELNARI_SANITIZE)
    return()
endif()

set(CPACK_PACKAGE_NAME velnari)
set(CPACK_PACKAGE_VENDOR "The velnari developers")
set(CPACK_PACKAGE_CONTACT "${VELNARI_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MML music player on a software YM2203 sound chip")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 1)

if(WIN32)
    set(VELNARI_WIN64_BUILD_DIR ${CMAKE_SOURCE_DIR}/build/mingw64 CACHE PATH
        "The 64-bit Windows build whose DLL the zip carries in x64/")
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME velnari-${PROJECT_VERSION}-win32)
    set(CPACK_INSTALL_CMAKE_PROJECTS
        "${CMAKE_BINARY_DIR};velnari;ALL;/"
        "${VELNARI_WIN64_BUILD_DIR};velnari;plugin;/x64")
elseif(NOT CMAKE_CROSSCOMPILING)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_INSTALL_CMAKE_PROJECTS
        "${CMAKE_BINARY_DIR};velnari;runtime;/"
        "${CMAKE_BINARY_DIR};velnari;debian;/")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELNARI_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_SECTION sound)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The libraries the binaries link, as dpkg-shlibdeps finds them.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "velnari plays songs written as MML (Music Macro Language) text in the
tarsel dialect on a bit-exact model of the YM2203: three four-operator FM
channels and three SSG square-wave channels.
.
The velnari command renders songs to WAV, FLAC, Ogg or raw PCM, exports
them as register logs (VGM, VGZ, S98) that other players read, renders and
plays such logs, plays songs through the sound card, reports compile faults
with file and line, and describes a song's parts and loops or a log's tags.
velnari.so is the Linux build of the media-player plug-in. Example songs are
included.")
endif()

include(CPack)
