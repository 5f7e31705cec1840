#!/bin/sh
# check-layers.sh [SOURCE_DIR]: the rules of the layer map that the
# libraries' include paths cannot enforce by themselves.
#   - The core is portable: no <windows.h> in its headers or portable
#     sources (a platform half, *_win32.cpp, may use it), and no header of
#     it differs by platform.
#   - Nothing below app/ reaches the main window: no g_hMainWnd and none of
#     the main window's control ids (app/ControlIds.h) outside app/.
# Prints each offending line and exits 1; silent when all hold.
cd "${1:-.}" || exit 2
status=0
report() {
    if [ -n "$2" ]; then
        echo "$1:"
        echo "$2"
        status=1
    fi
}
report "windows.h in the portable core" \
    "$(grep -rn --include='*.h' --include='*.cpp' -E '#include <(windows|mmsystem|commctrl)\.h>' core | grep -v '_win32\.cpp:')"
report "a core header that differs by platform" \
    "$(grep -rn --include='*.h' -E '#if(def)? .*_WIN32' core)"
ids=$(sed -n 's/^#define \(IDC_[A-Z0-9_]*\) .*/\1/p' app/ControlIds.h 2>/dev/null | paste -sd'|' -)
pattern='g_hMainWnd'
[ -n "$ids" ] && pattern="$pattern|\\b($ids)\\b"
report "the main window reached from below app/" \
    "$(grep -rnE --include='*.h' --include='*.cpp' "$pattern" core win cli)"
exit $status
