#!/usr/bin/env bash
# The built installer under the X server named by DISPLAY, started the ways launchers start
# it and driven by real input (xdotool), with a stub pkexec first on PATH.
# Usage: end_to_end.sh BUILD_DIR [CASE...]; runs the named cases, or all of them.
set -u
build=$1 failures=0 system_path=$PATH
shift

# run STUB COMMAND ACTIONS OUTPUT RUNS
# Unless there are texts here for the locale named by LANG, writes them, with CHECK as the
# check button's label. The stub pkexec records its arguments, each ended by a NUL and the
# run by another, and the mask of signals it starts with ignored; then it runs STUB. The
# probe measures where the installer will show its buttons, on the same page built from
# the texts here. Bash runs COMMAND in a process group of its own with its output in
# ./stdout, and once the installer's window is up, ACTIONS are played, words: check and
# install click those buttons; wait waits until one more run has ended; close closes the
# window the way a window manager does; finish presses Return until the program ends;
# title:TEXT checks the window's title; any other word names keys, commas between them.
# Then the program must have ended with 0 and printed LANG and OUTPUT (unless that is -),
# and pkexec must have run RUNS times with dpkg -i and every entry here whose name holds
# "i386.deb", in directory order, never with SIGPIPE or SIGCHLD ignored.
run() {
    export PATH=$PWD/bin:$system_path STUB=$PWD
    mkdir -p bin "locale/$LANG" && : >runs && : >ignored
    [ -e "locale/$LANG/strings.txt" ] ||
        printf 'str_installButton = Install\nstr_doneButton = Done\nstr_checkButton = %s\n' "${CHECK-}" >"locale/$LANG/strings.txt"
    printf '#!/bin/sh\nprintf "%%s\\0" "$@" "" >>"$STUB/runs"\nawk "/^SigIgn/ { print \\$2 }" /proc/self/status >>"$STUB/ignored"\n%s\n' \
        "$1" >bin/pkexec && chmod +x bin/pkexec
    { read -r check && read -r install; } < <("$build/tests/probe" | tail -n 2) || { echo "the probe failed" && return 1; }
    setsid bash -o pipefail -c "$2" >stdout 2>stderr &
    pid=$!
    window=$(timeout 10 xdotool search --sync --onlyvisible --classname '^installer$' | head -n 1)
    [ -n "$window" ] || { echo "no window appeared" && return 1; }
    local word waited=0 expected
    for word in $3; do
        case $word in
        check | install) xdotool mousemove --window "$window" ${!word} click 1 ;;
        wait) waited=$((waited + 1)) && timeout 10 bash -c "until [ \$(grep -c '^system return' stdout) -ge $waited ]; do sleep 0.02; done" ;;
        close) "$build/tests/probe" close "$window" ;;
        title:*) [ "$(xdotool getwindowname "$window")" = "${word#title:}" ] || echo "the window's title is not ${word#title:}" ;;
        finish) for _ in {1..20}; do kill -0 "$pid" 2>/dev/null && xdotool windowfocus --sync "$window" key Return && sleep 0.5; done ;;
        *) xdotool windowfocus --sync "$window" key --delay 300 ${word//,/ } ;;
        esac
    done
    timeout 10 tail --pid="$pid" -f /dev/null || kill -KILL -- -"$pid"
    wait "$pid" || echo "ended with $?"
    expected=$(for ((run = 0; run < $5; run++)); do
        printf 'dpkg\0-i\0' && find "$PWD" -mindepth 1 -maxdepth 1 -name '*i386.deb*' -printf '%p\0' && printf '\0'
    done | od -c)
    [ "$4" = - ] || printf '%s\n%b' "$LANG" "$4" | cmp -s - stdout || echo "printed: $(od -c stdout)"
    [ "$(od -c runs)" = "$expected" ] || echo "pkexec ran with $(od -c runs), not $expected"
    while read -r mask; do (((0x$mask >> 12 | 0x$mask >> 16) & 1)) && echo "pkexec started with $mask ignored"; done <ignored
}

gating="install check install wait Return wait check Return check space wait close"
failed="system return 256\nsystem return 256\nsystem return 256\ndelete event occurred\n"
too_long="package list too long for one command, nothing installed\n"
hostile=("a b_i386.deb" "it's_i386.deb" '$(touch ran)_i386.deb' '`touch ran`_i386.deb' 'x;touch ran;_i386.deb' '*_i386.deb'
    $'new\nline_i386.deb' '"q" \ _i386.deb' -rf_i386.deb dé_i386.deb $'\xff_i386.deb' a_i386.deb.orig i386.debian
    a_amd64.deb a_I386.DEB i386.de)

case_Closing() { run 'exit 0' 'exec "$INSTALLER" --no-such-option extra' close 'delete event occurred\n' 0; }
case_DoneEnds() { run 'exit 0' 'exec "$INSTALLER"' 'check Return finish' 'system return 0\n' 1; }
case_ClosingFinished() { run 'exit 0' 'exec "$INSTALLER"' 'check install wait close' 'system return 0\ndelete event occurred\n' 1; }
case_Gating() { CHECK='Ich habe die Bedingungen der Lizenzvereinbarung gelesen und akzeptiere sie' LANG=de_DE.UTF-8 run 'exit 1' 'exec "$INSTALLER"' "$gating" "$failed" 3; }
case_ClicksWhileRunningDropped() { run 'sleep 1; exit 1' 'exec "$INSTALLER"' 'check install install wait close' 'system return 256\ndelete event occurred\n' 1; }
case_KeysWhileRunningDropped() { run 'sleep 1' 'exec "$INSTALLER"' 'check Return,Return wait close' 'system return 0\ndelete event occurred\n' 1; }
case_SigchldIgnored() { run 'exit 0' 'trap "" CHLD; exec "$INSTALLER"' 'check Return finish' 'system return 0\n' 1; }
case_StreamsClosed() { run 'exit 0' 'exec >&- 2>&- "$INSTALLER"' 'check Return finish' - 1; }
case_StdoutAClosedPipe() { run 'exit 0' '{ sleep 0.2; exec "$INSTALLER"; } | true' 'check Return finish' - 1; }
case_LangNotUtf8() { LANG=$'dé_\xff' run 'exit 0' 'exec "$INSTALLER"' 'check Return finish' 'system return 0\n' 1; }
case_WorkingDirectoryRemoved() { run 'exit 2' 'mkdir gone && cd gone && rmdir ../gone && exec "$INSTALLER"' 'check Return wait close' 'opendir failed!\nsystem return 512\ndelete event occurred\n' 1; }
case_Packages() { touch -- "${hostile[@]}" package-named-at-some-length-{1..30}_i386.deb && mkdir folder_i386.deb && run 'exit 0' 'exec "$INSTALLER"' 'check Return finish' 'system return 0\n' 1; }
case_TooManyPackages() { touch $(seq -f "%0200g_i386.deb" 600) && run 'exit 0' 'exec "$INSTALLER"' 'check Return Return close' "$too_long$too_long"'delete event occurred\n' 0; }
# The shipped directory, installed by CMake where its path has a blank and a quote, started
# from elsewhere through a link beside a package of the link's own.
case_Launcher() {
    touch decoy_i386.deb && mkdir elsewhere && ln -s "vendor's product/setup" "set it up" &&
        cmake --install "$build" --strip --prefix "$PWD/vendor's product" >/dev/null && cd "vendor's product" &&
        mkdir -p locale/en_US.UTF-8 && echo 'str_processName = Shipped' >locale/en_US.UTF-8/strings.txt && touch product_i386.deb &&
        run 'exit 0' 'cd ../elsewhere && exec "../set it up"' 'title:Shipped check Return finish' 'system return 0\n' 1
}
# The real pkexec, authorised by polkit (root needs no agent), and the real dpkg, in a
# private mount namespace where a scratch dpkg database with i386 enabled lies over
# /var/lib/dpkg and tmpfs over /opt and /var/log: the machine itself does not change. The
# command ends with 0 only if the package was installed.
case_RealPkexecAndDpkg() {
    [ "$(id -u)" = 0 ] && unshare --mount true && dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null | grep -q 'boolean true' ||
        { echo "skipped: needs root, mount namespaces and polkitd" && return; }
    mkdir -p tree/DEBIAN tree/opt/road db/info db/updates db/triggers && touch db/status && echo installed >tree/opt/road/sample.txt &&
        printf 'Package: installer-road-test\nVersion: 1.0\nArchitecture: i386\nMaintainer: Tests <t@example.invalid>\nDescription: sample\n' >tree/DEBIAN/control &&
        { dpkg --print-architecture && echo i386; } >db/arch && dpkg-deb --root-owner-group -b tree road_1.0_i386.deb >/dev/null && rm -r tree &&
        echo 'mount --bind db /var/lib/dpkg && mount -t tmpfs t /opt && mount -t tmpfs t /var/log && "$1" && [ "$(cat /opt/road/sample.txt)" = installed ] &&
            dpkg-query -W -f="\${Status}" installer-road-test | grep -qx "install ok installed"' >road.sh &&
        run '' 'PATH=/usr/sbin:/usr/bin:/sbin:/bin exec unshare --mount --propagation private sh road.sh "$INSTALLER"' 'check Return finish' - 0
}

# Both pages, built by the probe in each desktop font, with the texts of every locale of
# the demo and texts longer, taller and emptier than any translation, and an agreement
# that arrives in slices: a long paragraph of two-byte letters, cut at first inside one,
# then short lines.
case_Layout() {
    local word tall texts font
    word=$(printf 'W%.0s' {1..84}) tall=$(printf 'a\r%.0s' {1..20})
    mkdir -p locale/en_US.UTF-8 texts
    for texts in "$examples"/demo/locale/*; do cp "$texts/strings.txt" "texts/${texts##*/}"; done
    printf 'str_checkButton = Ich habe die Bedingungen der Lizenzvereinbarung gelesen und akzeptiere sie\nstr_finishLabel = Die Installation wurde erfolgreich abgeschlossen\n' >texts/LongGerman
    printf 'str_noticeLabel = %s\nstr_checkButton = %s\nstr_finishLabel = %s\nstr_doneButton = %s\nstr_installButton = %s\n' "$word$word" "$word$word" "$word" "$word" \
        'Installieren Sie jetzt bitte die gesamte Software mit allen Komponenten und Treibern' >texts/WordsWiderThanTheWindow
    printf 'str_noticeLabel = %s\nstr_checkButton = %s\nstr_installButton = I\rn\nstr_finishLabel = %s\nstr_doneButton = D\ro\n' "$tall$tall" "$tall" "$tall$tall" >texts/Tall
    : >texts/Empty
    { yes ЖЖЖЖ | head -n 33000 | tr '\n' ' ' && echo && seq -f 'Lizenzvereinbarung für „Software“, Zeile %g' 8000; } >locale/en_US.UTF-8/license.txt
    for texts in texts/*; do
        cp "$texts" locale/en_US.UTF-8/strings.txt
        for font in default 14 20; do
            GTK2_RC_FILES=$fonts/$font.gtkrc "$build/tests/probe" >/dev/null 2>probe || echo "${texts#texts/} in a font of $font: $(cat probe)"
        done
    done
}

export INSTALLER=$build/installer LANG=en_US.UTF-8 LC_ALL=C.UTF-8
examples=$(cd "$(dirname "$0")/../examples" && pwd) fonts=$(cd "$(dirname "$0")/fonts" && pwd)
cases=("$@")
[ $# -gt 0 ] || mapfile -t cases < <(declare -F | sed -n 's/^declare -f case_//p')
for name in "${cases[@]}"; do
    dir=$(mktemp -d "${TMPDIR:-/tmp}/installer's test XXXXXX")
    problems=$(cd "$dir" && "case_$name" 2>&1)
    rm -rf "$dir"
    echo "$name: ${problems:-passed}"
    [[ -z $problems || $problems == skipped* ]] || failures=$((failures + 1))
done
exit $((failures > 0))
