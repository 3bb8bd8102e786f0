# Warnings for the project's own targets. Third-party headers are included as
# system headers, so their warnings do not drown ours.
add_library(velnari_warnings INTERFACE)
target_compile_options(velnari_warnings INTERFACE -Wall -Wextra -Wpedantic)

function(velnari_target_defaults target)
    # Build-only, so an installed library does not ask for it.
    target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:velnari_warnings>)
endfunction()
