# Compiler settings shared by every target of every build.

add_compile_options(-Wall -Wextra -Werror -Wshadow -Wconversion -Wno-sign-conversion)

# Exported tempo bytes are computed in double precision and must come out the
# same on every build: no fused multiply-add contraction, and on 32-bit x86
# SSE2 arithmetic instead of the x87 unit's excess precision.
add_compile_options(-ffp-contract=off)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
    add_compile_options(-msse2 -mfpmath=sse)
endif()

if(METROVA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
if(METROVA_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(WIN32)
    # Windows executables carry their runtime: no MinGW DLLs beside them.
    add_link_options(-static)
endif()
