#!/bin/sh
# The faces of Metrova.exe (run by run_faces.sh): the main window, the tap
# dialog, the options and the about dialog, their texts read back in UTF-16
# and a screenshot of each, left in the build folder as
# metrova-FACE-DPI-{main,tap,options,about}.png for review. The English face
# shows only plain ASCII (no "?" and no mojibake); the Japanese face shows
# its Japanese captions.
. "$E2E_LIB"
face=$E2E_FACE
dpi=$E2E_DPI

shot() {
    sleep 0.5
    import -window root "$build/metrova-$face-$dpi-$1.png" 2>/dev/null || fail "no $1 screenshot"
}

# check_texts WHAT FILE EXPECTED_CAPTION
check_texts() {
    [ "$(head -n 1 "$2")" = "$3" ] || fail "$1: caption '$(head -n 1 "$2")', expected '$3'"
    if [ "$face" = en ]; then
        ! grep -q '?' "$2" || fail "$1 shows question marks: $(grep '?' "$2" | head -n 3)"
        ! LC_ALL=C grep -q '[^ -~]' "$2" || fail "$1 shows text outside ASCII: $(LC_ALL=C grep '[^ -~]' "$2" | head -n 3)"
    fi
}

if [ "$face" = en ]; then
    main_caption="SMF Metrova"; tap_caption="Tap Input"; options_caption="Options"
    about_caption="About SMF Metrova"; about_key=a
else
    main_caption="SMFメトローバ"; tap_caption="タップの入力"; options_caption="オプション"
    about_caption="バージョン情報"; about_key=v
fi

start_metrova
tool texts main >main.txt || fail "no texts of the main window"
check_texts "main window" main.txt "$main_caption"
[ "$face" != en ] || grep -qx '&Save Tempo...' main.txt || fail "the main window has no '&Save Tempo...'"
shot main

keys alt+e a
tool wait-dialog 15 || fail "Edit > Add opened no tap dialog"
tool texts dialog >tap.txt
check_texts "tap dialog" tap.txt "$tap_caption"
shot tap
keys Escape
tool wait-no-dialog 15 || fail "Escape did not close the tap dialog"

keys alt+e o
tool wait-dialog 15 || fail "Edit > Options opened no dialog"
tool texts dialog >options.txt
check_texts "options" options.txt "$options_caption"
shot options
keys Escape
tool wait-no-dialog 15 || fail "Escape did not close the options"

keys alt+h "$about_key"
tool wait-dialog 15 || fail "Help > About opened no dialog"
tool texts dialog >about.txt
check_texts "about" about.txt "$about_caption"
[ "$face" != en ] || grep -q '^SMF Metrova version ' about.txt || fail "the about dialog shows no English version text"
shot about
keys Escape
tool wait-no-dialog 15 || fail "Escape did not close the about dialog"

close_metrova
finish "Metrova.exe faces: $face at $dpi DPI passed; screenshots $build/metrova-$face-$dpi-*.png"
