# Running the Windows build's programs under Wine, through CTest.
#
# Each build folder gets a Wine prefix of its own (wineprefix/), made once by
# make-prefix.sh: null display driver (no X server needed), no crash debugger
# (a crashing test exits at once instead of waiting in winedbg), Japanese font
# substitutes. Every program runs through wine-run.sh, which keeps one Wine
# server and its background processes alive between tests, detached from the
# output pipe that CTest waits on.
#
# The 64-bit build runs on the host's Wine. The 32-bit build runs on the
# 32-bit Wine of the chroot in METROVA_W32_ROOT (scripts/w32-setup.sh), where
# qemu emulates every 32-bit process; WINE and WINESERVER are then commands
# that enter it (scripts/w32-exec.sh), and its prefix is a 32-bit one.

set(WINE_PREFIX_DIR ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_RIG_DIR ${CMAKE_CURRENT_LIST_DIR}/wine)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(WINE /usr/lib/wine/wine64)
    set(WINESERVER /usr/lib/wine/wineserver)
    set(WINE_TIMEOUT_SCALE 1)
else()
    set(W32_EXEC "env W32ROOT=${METROVA_W32_ROOT} bash ${PROJECT_SOURCE_DIR}/scripts/w32-exec.sh")
    set(WINE "${W32_EXEC} /usr/lib/wine/wine")
    set(WINESERVER "${W32_EXEC} /usr/lib/wine/wineserver")
    # Emulated, a 32-bit program starts and runs several times slower.
    set(WINE_TIMEOUT_SCALE 4)
endif()

add_executable(wine_keepalive WIN32 ${WINE_RIG_DIR}/wine_keepalive.cpp)
set_target_properties(wine_keepalive PROPERTIES OUTPUT_NAME wine_keepalive)
# Made before the project's link options: it carries its runtime itself (a
# 32-bit build would otherwise need libgcc's DLL).
target_link_options(wine_keepalive PRIVATE -static)

add_custom_command(
    OUTPUT ${WINE_PREFIX_DIR}/.ready
    COMMAND env "WINE=${WINE}" "WINESERVER=${WINESERVER}"
            sh ${WINE_RIG_DIR}/make-prefix.sh ${WINE_PREFIX_DIR} ${WINE_RIG_DIR}/prefix.reg
    DEPENDS ${WINE_RIG_DIR}/make-prefix.sh ${WINE_RIG_DIR}/prefix.reg
    COMMENT "Making the Wine prefix for tests"
    VERBATIM)
add_custom_target(wine_prefix DEPENDS ${WINE_PREFIX_DIR}/.ready wine_keepalive)

configure_file(${WINE_RIG_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
    @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
