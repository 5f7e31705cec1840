# Running the 64-bit Windows build's programs under Wine, through CTest.
#
# Each build folder gets a Wine prefix of its own (wineprefix/), made once by
# make-prefix.sh: null display driver (no X server needed), no crash debugger
# (a crashing test exits at once instead of waiting in winedbg), Japanese font
# substitutes. Every program runs through wine-run.sh, which keeps one Wine
# server and its background processes alive between tests, detached from the
# output pipe that CTest waits on.

set(WINE_PREFIX_DIR ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_RIG_DIR ${CMAKE_CURRENT_LIST_DIR}/wine)

add_executable(wine_keepalive WIN32 ${WINE_RIG_DIR}/wine_keepalive.cpp)
set_target_properties(wine_keepalive PROPERTIES OUTPUT_NAME wine_keepalive)

add_custom_command(
    OUTPUT ${WINE_PREFIX_DIR}/.ready
    COMMAND sh ${WINE_RIG_DIR}/make-prefix.sh ${WINE_PREFIX_DIR} ${WINE_RIG_DIR}/prefix.reg
    DEPENDS ${WINE_RIG_DIR}/make-prefix.sh ${WINE_RIG_DIR}/prefix.reg
    COMMENT "Making the Wine prefix for tests"
    VERBATIM)
add_custom_target(wine_prefix DEPENDS ${WINE_PREFIX_DIR}/.ready wine_keepalive)

configure_file(${WINE_RIG_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
    @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
