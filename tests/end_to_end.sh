#!/usr/bin/env bash
# The built installer under the X server named by DISPLAY, driven by real input (xdotool),
# with pkexec.sh standing in for pkexec. Usage: end_to_end.sh BUILD_DIR [CASE...]
#
# A case is a function case_NAME, run in a directory of its own, in the user's steps:
#   ship FILE [FIELD...]  a real package FILE, built by dpkg-deb, with control FIELDs
#   start COMMAND         bash runs COMMAND there, exec "$INSTALLER" mostly; PKEXEC tells
#                         the stand-in what to do (it succeeds when unset)
#   user ACTION...        check, install: a click there; wait: until Install has answered
#                         once more; close: as a window manager does; finish: Return until
#                         the program ends; title:TEXT: the window's title is TEXT;
#                         still:KEYS: KEYS do not change the window; other words are keys,
#                         commas between them (Return or shift+Tab,space)
#   prints LINE...        the program ended with 0, having printed LANG, then the LINEs,
#                         and no warning
#   ran N                 pkexec ran N times, with dpkg -i and all packages in order
#   shows TEXT            a press of Install in the probe showed TEXT on the page
# Before the program starts, the probe builds its page in-process, checks the layout, shows
# where to click, and presses Install with the same packages and stand-in.
set -u
build=$(cd "$1" && pwd)
shift
tests=$(cd "$(dirname "$0")" && pwd)
system_path=$PATH failures=0

ship() {
    local file=$1
    shift
    mkdir -p tree/DEBIAN
    printf '%s\n' "Package: ${file%%_*}" "Version: 1.0" "Maintainer: Tests <t@example.invalid>" \
        "Description: test" "$@" >tree/DEBIAN/control
    grep -q '^Architecture:' tree/DEBIAN/control || echo 'Architecture: all' >>tree/DEBIAN/control
    dpkg-deb --root-owner-group -b tree "$file" >/dev/null && rm -r tree
}

stand_in() {
    mkdir -p bin && ln -sf "$tests/pkexec.sh" bin/pkexec
    export PATH=$PWD/bin:$system_path STUB_RUNS=$PWD/runs
    : >runs && : >runs.ignored && chmod a+rw runs runs.ignored
}

start() {
    stand_in && mkdir -p "locale/$LANG"
    [ -e "locale/$LANG/strings.txt" ] ||
        printf 'str_%s\n' 'installButton = Install' 'doneButton = Done' \
            "checkButton = ${CHECK-}" >"locale/$LANG/strings.txt"
    rm -f probe.runs && STUB_RUNS=$PWD/probe.runs GTK_MODULES=gail "$build/tests/probe" \
        >probe.out 2>probe.err || echo "the probe found: $(cat probe.err)"
    setsid bash -c "$1" >stdout 2>stderr &
    pid=$!
    window=$(timeout 10 xdotool search --sync --onlyvisible --classname '^installer$' | head -n 1)
    [ -n "$window" ] || echo "no window appeared"
}

answers() { grep -c -E '^(system return|cannot install|package list too long)' stdout; }

user() {
    local word answered=0
    for word in "$@"; do
        case $word in
        check | install)
            xdotool mousemove --window "$window" $(sed -n "s/^$word //p" probe.out) click 1 ;;
        wait)
            answered=$((answered + 1))
            timeout 20 bash -c "until [ \$(answers) -ge $answered ]; do sleep 0.02; done" ;;
        close) "$build/tests/probe" close "$window" ;;
        finish)
            for _ in {1..20}; do
                kill -0 "$pid" 2>/dev/null && xdotool windowfocus --sync "$window" key Return &&
                    sleep 0.5
            done ;;
        title:*)
            [ "$(xdotool getwindowname "$window")" = "${word#title:}" ] ||
                echo "the window's title is not ${word#title:}" ;;
        still:*)
            import -window "$window" before.png && user "${word#still:}" && sleep 0.3 &&
                import -window "$window" after.png
            compare -metric AE before.png after.png /dev/null 2>/dev/null ||
                echo "${word#still:} changed the window" ;;
        *) xdotool windowfocus --sync "$window" key --delay 300 ${word//,/ } ;;
        esac
    done
}
export -f answers

prints() {
    timeout 10 tail --pid="$pid" -f /dev/null || kill -KILL -- -"$pid"
    wait "$pid" || echo "ended with $?"
    diff <(printf '%s\n' "$LANG" "$@") stdout >/dev/null || echo "printed: $(cat stdout)"
    grep -E 'WARNING|CRITICAL' stderr
}

ran() {
    local packages mask
    mapfile -d '' packages < <(find "$PWD" -mindepth 1 -maxdepth 1 -name '*i386.deb*' -print0)
    for ((run = 0; run < $1; run++)); do
        printf '%q ' dpkg -i "${packages[@]}" && echo
    done | diff - runs >/dev/null || echo "pkexec ran $(wc -l <runs) times: $(cat runs)"
    while read -r mask; do
        (((0x$mask >> 12 | 0x$mask >> 16) & 1)) && echo "pkexec started with $mask ignored"
    done <runs.ignored
}

shows() {
    grep -qxF "shown: $1" probe.out || echo "the page showed $(grep '^shown' probe.out)"
}

case_Closing() {
    start 'exec "$INSTALLER" --no-such-option extra'
    user close
    prints 'delete event occurred'
    ran 0
}

case_DoneEnds() {
    ship tool_1.0_i386.deb
    start 'exec "$INSTALLER"'
    user check Return finish
    prints 'system return 0'
    ran 1
}

case_ClosingFinished() {
    start 'exec "$INSTALLER"'
    user check install wait close
    prints 'system return 0' 'delete event occurred'
    ran 1
}

case_Gating() {
    CHECK='Ich habe die Bedingungen der Lizenzvereinbarung gelesen und akzeptiere sie'
    PKEXEC='exit 1' start 'exec "$INSTALLER"'
    user install check install wait Return wait check Return check space wait close
    prints 'system return 256' 'system return 256' 'system return 256' 'delete event occurred'
    ran 3
}

case_ClicksWhileRunningDropped() {
    PKEXEC='sleep 1; exit 1' start 'exec "$INSTALLER"'
    user check install install wait close
    prints 'system return 256' 'delete event occurred'
    ran 1
}

case_KeysWhileRunningDropped() {
    PKEXEC='sleep 1' start 'exec "$INSTALLER"'
    user check Return,Return wait close
    prints 'system return 0' 'delete event occurred'
    ran 1
}

case_SigchldIgnored() {
    start 'trap "" CHLD; exec "$INSTALLER"'
    user check Return finish
    prints 'system return 0'
    ran 1
}

# GTK warns on standard error in a locale the C library lacks, and so does the stand-in.
case_StreamsClosed() {
    LANG=xx_XX.UTF-8 LC_ALL= start 'exec <&- >&- 2>&- "$INSTALLER"'
    user check Return finish
    ran 1
}

case_StdoutAClosedPipe() {
    start '{ sleep 0.2; exec "$INSTALLER"; } | true'
    user check Return finish
    ran 1
}

case_LangNotUtf8() {
    export LANG=$'dé_\xff'
    start 'exec "$INSTALLER"'
    user check Return finish
    prints 'system return 0'
    ran 1
}

case_WorkingDirectoryRemoved() {
    PKEXEC='exit 2' start 'mkdir gone && cd gone && rmdir ../gone && exec "$INSTALLER"'
    user check Return wait close
    prints 'opendir failed!' 'system return 512' 'delete event occurred'
    ran 1
}

# Names the shell would read as more than one word, or run; and names that are no package's.
case_Packages() {
    local name
    ship tool_1.0_i386.deb
    for name in "a b_i386.deb" "it's_i386.deb" '$(touch ran)_i386.deb' '`touch ran`_i386.deb' \
        'x;touch ran;_i386.deb' '*_i386.deb' $'new\nline_i386.deb' '"q" \ _i386.deb' \
        -rf_i386.deb dé_i386.deb $'\xff_i386.deb' a_i386.deb.orig i386.debian \
        package-named-at-some-length-{1..30}_i386.deb; do
        ln -- tool_1.0_i386.deb "$name"
    done
    touch a_amd64.deb a_I386.DEB i386.de
    start 'exec "$INSTALLER"'
    user check Return finish
    prints 'system return 0'
    ran 1
}

# Packages whose command, "pkexec dpkg -i " and theirs, is $1 bytes long. A package's entry
# is its path in quotes and a blank; here each quote in a path takes 3 bytes more ('\'').
commands_of_length() {
    local quotes=${PWD//[^\']/} left=$(($1 - 15)) length
    local more=$((${#PWD} + 3 * ${#quotes} + 4))
    ship tool_1.0_i386.deb
    while ((left > 0)); do
        length=$((left - more > 255 ? 100 : left - more))
        ln tool_1.0_i386.deb "$(printf '%0*d_i386.deb' $((length - 9)) $left)"
        left=$((left - more - length))
    done
    rm tool_1.0_i386.deb
}

case_LongestCommandRuns() {
    commands_of_length 131071
    start 'exec "$INSTALLER"'
    user check Return finish
    prints 'system return 0'
    ran 1
}

case_CommandTooLong() {
    commands_of_length 131072
    start 'exec "$INSTALLER"'
    user check Return Return close
    prints 'package list too long for one command, nothing installed' \
        'package list too long for one command, nothing installed' 'delete event occurred'
    ran 0
}

# refuses REASON COMMAND: in a directory of its own, COMMAND ships packages that cannot be
# installed together. Nothing runs with administrator rights, and REASON (when empty: that
# each entry is no package) is printed and shown. AS may run the installer as another user.
refuses() {
    mkdir $((++rows)) && cd $rows && eval "$2"
    local reason=${1:-$(find . -name '*i386.deb' -printf '; %f is not a Debian package')}
    start "exec ${AS-} \"\$INSTALLER\""
    user check Return wait close
    prints "cannot install: ${reason#; }" 'delete event occurred'
    ran 0
    shows "Nothing was installed: ${reason#; }."
    cd ..
}

case_Refused() {
    local rows=0
    refuses 'libnothere (>= 2.0) is needed but not installed' \
        "ship needs_i386.deb 'Depends: libnothere (>= 2.0)'"
    chmod -R a+rwX . && AS='setpriv --reuid=nobody --regid=nogroup --clear-groups' \
        refuses "dpkg (>= 99) is needed, but $(dpkg-query -W -f='${Version}' dpkg) is installed" \
        "ship newer_i386.deb 'Pre-Depends: dpkg (>= 99)'"
    refuses 'the installed package dpkg conflicts with them' "ship essential_i386.deb 'Conflicts: dpkg'"
    refuses 'the installed package xauth conflicts with them; the installed package xdotool '\
'conflicts with them' "ship removes_i386.deb 'Conflicts: xauth' 'Breaks: xdotool'"
    refuses 'vax is built for the vax architecture, which this system does not accept' \
        "ship vax_i386.deb 'Architecture: vax'"
    refuses '' 'mkdir folder_i386.deb && echo text >text_i386.deb'
    refuses 'truncated_i386.deb is not a Debian package' \
        'ship tool.deb && head -c -20 tool.deb >truncated_i386.deb && rm tool.deb'
}

# Versioned dependencies on installed packages, a virtual package, an alternative, and two
# packages that need each other: pkexec runs once, with both.
case_Accepted() {
    ship app_1.0_i386.deb 'Depends: app-data (= 1.0), dpkg (>= 1.0), nothere | bash, awk'
    ship app-data_1.0_i386.deb 'Depends: app'
    start 'exec "$INSTALLER"'
    user check Return finish
    prints 'system return 0'
    ran 1
}

# Each way pkexec or dpkg can fail has its message, in German at 14 points here.
case_Failures() {
    local code status key text
    cp -r "$examples/demo/locale" . && ship tool_1.0_i386.deb
    export LANG=de_DE.UTF-8 GTK2_RC_FILES=$tests/fonts/14.gtkrc
    for code in 126 127 1; do
        status=$((code << 8)) key=failedMessage
        [ $code = 1 ] || key=$([ $code = 126 ] && echo cancelledMessage || echo noRightsMessage)
        text=$(sed -n "s/^str_$key = //p" locale/de_DE.UTF-8/strings.txt)
        PKEXEC="exit $code" start 'exec "$INSTALLER"'
        user check Return wait close
        prints "system return $status" 'delete event occurred'
        ran 1
        shows "${text//%s/$code}"
    done
}

# A screen reader's user: keys in the agreement leave it where it was, and the box and
# Install work through the accessibility bus.
case_ScreenReader() {
    local bus
    { read -r DBUS_SESSION_BUS_ADDRESS && read -r bus; } < <(dbus-daemon --session --fork \
        --print-address=1 --print-pid=1 2>/dev/null)
    export DBUS_SESSION_BUS_ADDRESS GTK_MODULES=gail:atk-bridge
    start 'exec "$INSTALLER"'
    user Page_Down still:space,a,Return
    /usr/bin/python3 "$tests/screen_reader.py"
    user finish
    prints 'system return 0'
    ran 1
    kill "$bus"
}

# An environment just within what exec takes (a quarter of the stack limit): the installer
# starts, but with the command of a hundred packages the shell cannot.
case_ShellCannotStart() {
    local left
    ship tool_1.0_i386.deb
    for name in package-named-at-some-length-{1..100}_i386.deb; do ln tool_1.0_i386.deb "$name"; done
    left=$(($(ulimit -s) * 256 - $(env | wc -c) - 8 * $(env | wc -l) - 4096))
    for ((n = 0; left > 0; n++, left -= 100010)); do
        export "FILL$n=$(head -c $((left < 100000 ? left : 100000)) /dev/zero | tr '\0' x)"
    done
    start 'exec "$INSTALLER"'
    user check Return wait close
    prints 'system return 32512' 'delete event occurred'
    ran 0
}

# The shipped directory, installed by CMake where its path has a blank and a quote, started
# from elsewhere through a link beside a package of the link's own.
case_Launcher() {
    ship decoy_i386.deb && mkdir elsewhere && ln -s "vendor's product/setup" "set it up"
    cmake --install "$build" --strip --prefix "$PWD/vendor's product" >/dev/null
    cd "vendor's product" && ship product_i386.deb
    mkdir -p locale/en_US.UTF-8 && echo 'str_processName = Shipped' >locale/en_US.UTF-8/strings.txt
    start 'cd ../elsewhere && exec "../set it up"'
    user title:Shipped check Return finish
    prints 'system return 0'
    ran 1
}

# The real pkexec, authorised by polkit (root needs no agent), and the real dpkg, in a
# private mount namespace where a scratch dpkg database lies over /var/lib/dpkg and tmpfs
# over /opt and /var/log: the machine itself does not change. The command ends with 0 only
# if the package was installed.
case_RealPkexecAndDpkg() {
    [ "$(id -u)" = 0 ] && unshare --mount true && dbus-send --system --print-reply \
        --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.PolicyKit1 2>/dev/null | grep -q 'boolean true' ||
        { echo "skipped: needs root, mount namespaces and polkitd" && return; }
    mkdir -p db/info db/updates db/triggers && touch db/status && dpkg --print-architecture >db/arch
    mkdir -p tree/opt/road && echo installed >tree/opt/road/sample.txt && ship road_1.0_i386.deb
    cat >road.sh <<'ROAD'
mount --bind db /var/lib/dpkg && mount -t tmpfs t /opt && mount -t tmpfs t /var/log && "$1" &&
    [ "$(cat /opt/road/sample.txt)" = installed ] &&
    dpkg-query -W -f='${Status}' road | grep -qx 'install ok installed'
ROAD
    start 'PATH=/usr/sbin:/usr/bin:/sbin:/bin exec unshare --mount sh road.sh "$INSTALLER"'
    user check Return finish
    wait "$pid" && grep -qx 'system return 0' stdout || echo "not installed: $(cat stdout stderr)"
}

# probe [VARIABLE=VALUE...]: the probe's faults on the texts in locale/en_US.UTF-8, in the
# environment given, where Install fails.
probe() {
    env "$@" GTK_MODULES=gail PKEXEC='exit 1' STUB_RUNS="$PWD/probe.runs" "$build/tests/probe" \
        >probe.out 2>probe.err || echo "$(head -n 1 locale/en_US.UTF-8/strings.txt), $*: $(cat probe.err)"
    rm -f probe.runs
}

# Both pages, built by the probe in each desktop font and right-to-left, with the texts of
# every locale of the demo and texts longer, taller and emptier than any translation, and
# an agreement that arrives in slices: a long paragraph of two-byte letters, cut at first
# inside one, then short lines.
case_Layout() {
    local word tall texts font
    word=$(printf 'W%.0s' {1..84}) tall=$(printf 'a\r%.0s' {1..20})
    locale -a | grep -qx he_IL.utf8 || echo "no Hebrew locale: nothing right-to-left"
    mkdir -p locale/en_US.UTF-8 texts
    for texts in "$examples"/demo/locale/*; do cp "$texts/strings.txt" "texts/${texts##*/}"; done
    printf 'str_%s\n' >texts/LongGerman '# Long German' \
        'checkButton = Ich habe die Bedingungen der Lizenzvereinbarung gelesen und akzeptiere sie' \
        'finishLabel = Die Installation wurde erfolgreich abgeschlossen'
    printf 'str_%s\n' >texts/WordsWiderThanTheWindow '# Wide' "noticeLabel = $word$word" \
        "checkButton = $word$word" "finishLabel = $word" "doneButton = $word" "failedMessage = $word" \
        'installButton = Installieren Sie jetzt bitte die gesamte Software mit allen Komponenten'
    printf 'str_%s\n' >texts/Tall '# Tall' "noticeLabel = $tall$tall" "checkButton = $tall" \
        'installButton = I\rn' "finishLabel = $tall$tall" 'doneButton = D\ro' "failedMessage = $tall"
    echo '# Empty' >texts/Empty
    { yes ЖЖЖЖ | head -n 33000 | tr '\n' ' ' && echo &&
        seq -f 'Lizenzvereinbarung für „Software“, Zeile %g' 8000; } >locale/en_US.UTF-8/license.txt
    stand_in
    for texts in texts/*; do
        cp "$texts" locale/en_US.UTF-8/strings.txt
        for font in default 14 20; do probe GTK2_RC_FILES="$tests/fonts/$font.gtkrc"; done
        probe LANG=he_IL.UTF-8 LC_ALL=he_IL.UTF-8
    done
}

# At 144 and 192 dpi the window is scaled, and the agreement keeps its share of the height
# at 96 dpi to within 5 %, with the demo's texts.
case_HighResolution() {
    local texts was dpi
    share() { sed -n 's/^window .*x\(.*\), agreement \(.*\)/\2 * 100 \/ \1/p' probe.out; }
    trap 'xrdb -remove' EXIT
    mkdir -p locale/en_US.UTF-8 && stand_in
    for texts in "$examples"/demo/locale/*; do
        cp "$texts/strings.txt" locale/en_US.UTF-8/
        for dpi in 96 144 192; do
            echo "Xft.dpi: $dpi" | xrdb -merge && probe
            [ $dpi != 96 ] || was=$(($(share)))
            grep -q "^window $((500 * dpi / 96))x$((420 * dpi / 96))," probe.out &&
                ((($(share) - was) ** 2 <= 25)) || echo "${texts##*/}, $dpi dpi: $(grep ^window probe.out)"
        done
    done
}

export INSTALLER=$build/installer LANG=en_US.UTF-8 LC_ALL=C.UTF-8
examples=$(cd "$tests/../examples" && pwd)
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
