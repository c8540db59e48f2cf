#!/usr/bin/env bash
# kestrin.exe's window under wine, in a private X server under openbox, driven from
# outside by kestrin-window-driver.exe as a user's moves amount to (see
# WindowDriver.cpp): a whole run gives kestrin-cut.exe's report byte for byte;
# closing the window during a long run stops it, keeps the previous report and ends
# the program. Before that, the arguments and a missing display; after, the window
# at 100 % and at 200 % (wine's LogPixels 192) in screenshots beside this test's
# build folder: kestrin-win32.png and kestrin-win32@2x.png.
# usage: window_test.sh KESTRIN.EXE KESTRIN-CUT.EXE DRIVER.EXE SAMPLE.LOG VERSION OUT-FOLDER
set -euo pipefail
kestrin=$1
cut=$2
driver=$3
sample=$4
version=$5
out=$6
wine_run=$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-run.sh

for tool in Xvfb openbox wine wineserver xdotool import identify fc-list; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh and scripts/windows-setup.sh" >&2; exit 1; }
done

# The window's face in wine, and the one whose widths the shortened path below has.
[ -n "$(fc-list IPAGothic)" ] || { echo "fonts-ipafont-gothic is missing: run scripts/setup.sh" >&2; exit 1; }

work=$(mktemp -d)
export WINEDEBUG=-all
prefixes=("$out/wine-prefix" "$out/wine-prefix-2x" "$out/wine-prefix-plain")
pids=()
cleanup() {
    for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; done
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "windows window test: $*" >&2
    exit 1
}
started=$(date +%s%N)
took() { echo "windows window test: $1 ($((($(date +%s%N) - started) / 1000000)) ms)"; started=$(date +%s%N); }

# A path of ours as wine's programs see it: on drive Z:, the root.
win() { printf 'Z:%s' "${1//\//\\}"; }
run() { bash "$wine_run" --prefix "$prefix" "$@"; }

# What wine lacks to show Japanese: MS Gothic (the window's face) drawn as IPAGothic,
# and IPAGothic behind the faces of the menus, message boxes and dialogs.
multi_sz() {
    local text=$1 hex="" i
    for ((i = 0; i < ${#text}; i++)); do hex+=$(printf '%02x,' "'${text:i:1}"); done
    echo "${hex}00,00"
}
stop_wine() { WINEPREFIX=$1 wineserver -k 2>/dev/null && WINEPREFIX=$1 wineserver -w || true; }
# The settings of the prefix for a screen of DPI dots per inch, when they are not
# those it has; wine reads them when it starts, so its server is stopped then.
# setup_prefix PREFIX DPI
setup_prefix() {
    local link
    link=$(multi_sz "ipag.ttf,IPAGothic")
    cat >"$work/setup.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"MS Gothic"="IPAGothic"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]
"Tahoma"=hex(7):$link
"MS Shell Dlg"=hex(7):$link
"MS Shell Dlg 2"=hex(7):$link

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:$(printf %08x "$2")
REG
    cmp -s "$work/setup.reg" "$1/kestrin-test.reg" && return
    prefix=$1 run regedit /S "$(win "$work/setup.reg")"
    cp "$work/setup.reg" "$1/kestrin-test.reg"
    stop_wine "$1"
}

# The arguments, with no display: the help, the version and usage errors as on Linux,
# told on standard output and error, and no window to be had.
prefix=${prefixes[0]}
unset DISPLAY
setup_prefix "$prefix" 96
expect() {
    local want_status=$1 want_out=$2 want_err=$3 status=0
    shift 3
    run "$kestrin" "$@" >"$work/out" 2>"$work/err" || status=$?
    [ "$status" -eq "$want_status" ] && [ "$(cat "$work/out")" == "$want_out" ] &&
        [ "$(cat "$work/err")" == "$want_err" ] ||
        fail "kestrin.exe $*: status $status, out '$(cat "$work/out")', err '$(cat "$work/err")'"
}
run "$kestrin" --help >"$work/out"
[ "$(head -n 1 "$work/out")" == "usage: kestrin [LOGFILE]" ] || fail "--help: $(cat "$work/out")"
expect 0 "kestrin $version" "" -V
expect 2 "" "kestrin: unknown option --frob"$'\n'"Try 'kestrin --help'." --frob
expect 2 "" "kestrin: one LOGFILE at most"$'\n'"Try 'kestrin --help'." a b
expect 1 "" "kestrin: cannot open the window: the system made none (under wine: no display); kestrin-cut tallies logs from a terminal" a.log
# wine's desktop keeps the display it started with: a new one for the X server.
stop_wine "$prefix"
took "arguments and no display"

Xvfb -displayfd 3 -screen 0 1280x480x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
openbox --startup "touch $work/wm" >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/wm" ] && break; sleep 0.1; done
[ -e "$work/wm" ] || fail "openbox did not start"
took "X server and window manager"

# Starts kestrin.exe with the arguments given and drives it with the steps given; the
# driver's lines are in $work/said.
drive() {
    local steps=("$@") arguments=()
    while [ "${steps[0]}" != -- ]; do arguments+=("${steps[0]}"); steps=("${steps[@]:1}"); done
    run "$kestrin" "${arguments[@]}" >"$work/kestrin.log" 2>&1 &
    pids+=($!)
    run "$driver" window "${steps[@]:1}" >"$work/said" 2>"$work/driver.log" ||
        fail "the driver failed: $(cat "$work/said" "$work/driver.log")"
}
said() { diff -u <(cat) "$work/said" || fail "$1"; }

run "$kestrin" -V >/dev/null
# The prefix is kept between runs of the test: the window starts with no choice of
# the Options menu kept, and the steps that choose forget theirs.
forget_options() { run reg delete 'HKCU\Software\Kestrin\Kestrin' /v Entries /f >/dev/null 2>&1 || true; }
forget_options
took "wine started with the display"

# A whole run: the About box; the open dialog, which takes only an existing file; a
# path too long for its box; files dropped, of which the last counts, in a folder of
# Japanese name; the save file named without .dat; the focus moved with Tab; the
# keyword picked from the list, answered Yes. Then a keyword typed that is no byte of
# CP932, and Quit.
mkdir "$work/ログ"
log="$work/ログ/アクセス記録.log"
cp "$sample" "$log"
report="$work/report.dat"
long=$(win "$work/$(printf 'a%.0s' $(seq 60))/$(printf 'b%.0s' $(seq 60))/access.log")
drive -- "takes-drops|lblFile(0)" "takes-drops|lblFile(1)" "enabled|cmdCutting" "tabs|4" \
    "menu|MENU_H_INDEX" "answer|About Kestrin|OK" \
    "menu|MENU_F_LOG" "dialog|LOG FILE|$(win "$work/missing.log")" "answer||OK" \
    "dialog|LOG FILE|$(win "$sample")" "text|lblFile(0)" "drop|$long" "text|lblFile(0)" \
    "drop|$(win "$work/other.log")|$(win "$log")" "text|lblFile(0)" "enabled|cmdCutting" \
    "click|cmdSelectFile(1)" "dialog|SAVE..|$(win "${report%.dat}")" "text|lblFile(1)" \
    "enabled|cmdCutting" "tabs|5" "pick|1" "text|cmbBackkey" "click|cmdCutting" \
    "answer|Confirm|Yes" "answer|Complete|OK" "state" "title" "type|é" "click|cmdCutting" \
    "answer|ERROR!|OK" "click|cmdEND" "ended|2000"
said "the whole run" <<EOF
window KSTN, client 528x78, fixed size, 96 dpi
lblFile(0) takes drops: yes
lblFile(1) takes drops: no
cmdCutting: disabled
focus cmdSelectFile(0) > cmdSelectFile(1) > cmdEND > cmbBackkey > cmdSelectFile(0)
About Kestrin: Kestrin V$version\n(tallies the http:// URLs of text logs)\n2026 The Kestrin developers
: File does not exist
lblFile(0): $(win "$sample")
lblFile(0): ${long:0:34}…${long: -33}
lblFile(0): $(win "$log")
cmdCutting: disabled
lblFile(1): $(win "$report")
cmdCutting: enabled
focus cmdSelectFile(1) > cmdCutting > cmdEND > cmbBackkey > cmdSelectFile(0) > cmdSelectFile(1)
cmbBackkey: "
Confirm: Sortting Data Output?
Complete: $(win "$report") done..\n\n40 lines, 36 with a URL, 10 distinct URLs
shown, disabled: none
title KSTN
ERROR!: Back Keyword is not ASCII
ended, status 0
EOF
run "$cut" --keyword '"' --ranked --quiet -o "$(win "$work/cut.dat")" "$(win "$log")"
cmp "$work/cut.dat" "$report" || fail "the window's report is not kestrin-cut's"
took "a whole run, as kestrin-cut reports it"

# The Options menu: Sites chosen for a run whose report is kestrin-cut's --group
# site, and the choice kept, in the registry, for the next start. (Under wine
# another process cannot read a window's menus: their checks are left to the Qt
# window's test, which shares the menus' design.)
printf '"http://www.google.co.jp/a"\n"http://News.Google.co.jp:80/"\n"http://a.example/"\n' >"$work/sites.log"
sites_run() {
    drive "$(win "$work/sites.log")" -- "$@" "click|cmdSelectFile(1)" \
        "dialog|SAVE..|$(win "$work/sites.dat")" "pick|1" "click|cmdCutting" "answer|Confirm|No" \
        "answer|Complete|OK" "click|cmdEND" "ended|2000"
}
for start in first next; do
    rm -f "$work/sites.dat"
    if [ "$start" = first ]; then sites_run "menu|MENU_O_SITES"; else sites_run; fi
    said "the Options menu, $start start" <<EOF
window KSTN, client 528x78, fixed size, 96 dpi
Confirm: Sortting Data Output?
Complete: $(win "$work/sites.dat") done..\n\n3 lines, 3 with a URL, 3 distinct URLs, 2 sites
ended, status 0
EOF
    run "$cut" --keyword '"' --group site --quiet -o "$(win "$work/cut.dat")" "$(win "$work/sites.log")"
    cmp "$work/cut.dat" "$work/sites.dat" || fail "the window's sites are not kestrin-cut's ($start start)"
done
run reg query 'HKCU\Software\Kestrin\Kestrin' /v Entries | tr -d '\r' | grep -q 'Entries.*REG_SZ.*site$' ||
    fail "the Options menu's choice is not in the registry"
forget_options
took "the Options menu"

# Closed during a long run: 600 MB with two million distinct URLs, made once. The save
# dialog asks before replacing the previous report and refuses a read-only file.
big="$out/big.log"
if [ "$(stat -c %s "$big" 2>/dev/null)" != 605364606 ]; then
    awk 'BEGIN { for (i = 0; i < 2000000; i++)
        printf "10.0.0.%d - - [07/Dec/2026] \"GET / HTTP/1.1\" 200 5 \"http://h%d.example/a/longer/path?s=%d\" \"-\"\n",
            i % 250, i % 997, i }' >"$work/third"
    cat "$work/third" "$work/third" "$work/third" >"$big"
    took "the big log made"
fi
printf 'http://old.example/\t 1\r\n' >"$work/kept.dat"
cp "$work/kept.dat" "$work/previous.dat"
printf 'x' >"$work/locked.dat"
chmod a-w "$work/locked.dat"
drive "$(win "$big")" -- "click|cmdSelectFile(1)" "dialog|SAVE..|$(win "$work/locked.dat")" \
    "answer|SAVE..|Yes" "answer|SAVE..|OK" "dialog|SAVE..|$(win "$work/kept.dat")" \
    "answer|SAVE..|Yes" "click|cmdCutting" "progress" "state" "restore" "state" "close" "ended|500"
said "closing during a run" <<EOF
window KSTN, client 528x78, fixed size, 96 dpi
SAVE..: File already exists.\nDo you want to replace it?
SAVE..: locked.dat\nThis file is read-only.\nTry again with a different file name.
SAVE..: File already exists.\nDo you want to replace it?
progress in the title
minimized, disabled: lblFile(0) cmdSelectFile(0) cmdSelectFile(1) cmbBackkey cmdCutting cmdEND
shown, disabled: lblFile(0) cmdSelectFile(0) cmdSelectFile(1) cmbBackkey cmdCutting cmdEND
ended, status 0
EOF
cmp -s "$work/previous.dat" "$work/kept.dat" || fail "closing the window during a run replaced the report"
took "closed during a run: $(cat "$work/driver.log")"

# The window as the README shows it, at 100 % and at 200 %, with files on drive C:.
for scale in 1 2; do
    prefix=${prefixes[scale - 1]}
    setup_prefix "$prefix" $((96 * scale))
    run "$kestrin" -V >/dev/null
    mkdir -p "$prefix/drive_c/demo/ログ"
    cp "$sample" "$prefix/drive_c/demo/ログ/アクセス記録.log"
    shot=$out/kestrin-win32.png
    [ "$scale" = 1 ] || shot=$out/kestrin-win32@2x.png
    drive 'C:\demo\ログ\アクセス記録.log' -- "click|cmdSelectFile(1)" \
        'dialog|SAVE..|C:\demo\report.dat' "text|lblFile(1)"
    said "the window at ${scale}00 %" <<EOF
window KSTN, client $((528 * scale))x$((78 * scale)), fixed size, $((96 * scale)) dpi
lblFile(1): C:\demo\report.dat
EOF
    window=$(xdotool search --name '^KSTN$' | head -n 1)
    import -window "$window" -frame "$shot"
    width=$(identify -format %w "$shot")
    [ "$width" -eq $((528 * scale + 2)) ] || fail "the window at ${scale}00 % is $width pixels wide"
    run "$driver" window "click|cmdEND" "ended|2000" >/dev/null
    took "the window at ${scale}00 % in $shot"
done
# The layout in the window's face, MS Gothic (drawn as IPAGothic), and in a prefix
# with none of its Japanese faces, where it takes the system's face for messages,
# Tahoma, which is wider: no caption is cut in either.
prefix=${prefixes[0]}
drive -- "fits|MS Gothic" "click|cmdEND" "ended|2000"
said "the layout in MS Gothic" <<EOF
window KSTN, client 528x78, fixed size, 96 dpi
in MS Gothic, cut: none
ended, status 0
EOF
prefix=${prefixes[2]}
run "$kestrin" -V >/dev/null
drive -- "fits|Tahoma" "click|cmdEND" "ended|2000"
sed -n 2p "$work/said" | grep -qx "in Tahoma, cut: none" || fail "the layout in Tahoma: $(cat "$work/said")"
took "the layout in the window's face and in Tahoma: $(head -n 1 "$work/said")"
echo "windows window test: kestrin.exe ran as kestrin-cut.exe reports, stopped when closed, and showed itself"
