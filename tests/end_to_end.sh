#!/usr/bin/env bash
# The built installer under the X server named by DISPLAY, driven by real input (xdotool),
# with pkexec.sh standing in for pkexec. Usage: end_to_end.sh BUILD_DIR [CASE...]
#
# A case is a function case_NAME, run in a directory of its own, in the user's steps:
#   ship FILE [FIELD...]  a real package FILE, built by dpkg-deb, with control FIELDs, as
#                         they stand; of the architecture ARCH, "all" when unset, version
#                         VERSION, 1.0 when unset, holding the files FILE names (which
#                         hold CONTENT, or its name), with the set-up script SCRIPT and the
#                         installation script PREINST, the configuration file CONF and an
#                         interest in the trigger INTEREST, when set
#   start COMMAND         bash runs COMMAND there, exec "$INSTALLER" mostly; PKEXEC tells
#                         the stand-in what to do (it succeeds when unset)
#   user ACTION...        check, install: a click there; wait: until Install has answered
#                         once more; close: as a window manager does; busy: once pkexec
#                         runs, the window answers a ping and the progress bar moves;
#                         finish: Return until
#                         the program ends; still:KEYS: KEYS do not change the window;
#                         other words are keys, commas between them (Return or Tab,space)
#   prints LINE...        the program ended with 0, having printed LANG, then the LINEs
#   ran N                 pkexec ran N times, with dpkg -i and all packages in order
#   once N LINE...        started by START (exec "$INSTALLER" when unset), Install pressed
#                         once and the window closed; the program printed the LINEs, and
#                         pkexec ran N times
#   shows TEXT            a press of Install in the probe showed TEXT on the page
# Before the program starts, the probe builds its page in-process, checks the layout, shows
# where to click, and presses Install with the same packages and stand-in.
set -u
build=$(cd "$1" && pwd)
shift
tests=$(cd "$(dirname "$0")" && pwd)
export build tests system_path=$PATH
failures=0

ship() {
    mkdir -p tree/DEBIAN
    printf '%s\n' "Package: ${1%%_*}" "Version: ${VERSION:-1.0}" "Architecture: ${ARCH:-all}" \
        'Maintainer: me' 'Description: test' "${@:2}" >tree/DEBIAN/control
    local file
    for file in ${FILE:-}; do mkdir -p "tree${file%/*}" && echo "${CONTENT:-$1}" >"tree$file"; done
    script postinst "${SCRIPT:-}" && script preinst "${PREINST:-}"
    [ -z "${CONF:-}" ] || echo "$CONF" >tree/DEBIAN/conffiles
    [ -z "${INTEREST:-}" ] || echo "interest $INTEREST" >tree/DEBIAN/triggers
    dpkg-deb --nocheck --root-owner-group -b tree "$1" &>/dev/null && rm -r tree
}

# script NAME TEXT: the maintainer script NAME of the package being shipped, unless TEXT is
# empty.
script() {
    [ -z "$2" ] || { printf '#!/bin/sh\n%s\n' "$2" >"tree/DEBIAN/$1" &&
        chmod 755 "tree/DEBIAN/$1"; }
}

stand_in() {
    mkdir -p bin && ln -sf "$tests/pkexec.sh" bin/pkexec
    export PATH=$PWD/bin:$system_path STUB_RUNS=$PWD/runs
    : >runs
}

# probe [VARIABLE=VALUE...]: the probe's faults, in the environment given; one that hangs
# is ended.
probe() {
    timeout -k 1 30 env GTK_MODULES=gail STUB_RUNS="$PWD/probe.runs" "$@" "$build/tests/probe" \
        >probe.out 2>probe.err ||
        echo "$(head -qn 1 locale/*/strings.txt 2>/dev/null) $*: $(<probe.err)"
    rm -f probe.runs
}

start() {
    stand_in && ${PROBE-probe}
    setsid bash -c "$1" >stdout 2>stderr &
    pid=$!
    window=$(timeout 10 xdotool search --sync --onlyvisible --classname '^installer$' | head -n 1)
    [ -n "$window" ] || echo "no window appeared"
}

user() {
    local word answered=0
    [ -n "$window" ] || return
    for word in "$@"; do
        case $word in
        check | install)
            xdotool mousemove --window "$window" $(sed -n "s/^$word //p" probe.out) click 1 ;;
        wait)
            answered=$((answered + 1))
            for _ in {1..1000}; do
                [ "$(grep -c -E '^(system return|cannot install|package list|plan|nothing)' \
                    stdout)" -lt $answered ] || break
                sleep 0.02
            done ;;
        close) "$build/tests/probe" close "$window" ;;
        busy)
            for _ in {1..100}; do [ -s runs ] && break || sleep 0.05; done
            changes "$build/tests/probe" ping "$window" ||
                echo "busy: no ping answered, or nothing moved" ;;
        finish)
            for _ in {1..20}; do
                kill -0 "$pid" 2>/dev/null && xdotool windowfocus --sync "$window" key Return &&
                    sleep 0.5
            done ;;
        still:*) ! changes user "${word#still:}" || echo "${word#still:} changed the window" ;;
        *) xdotool windowfocus --sync "$window" key --delay 300 ${word//,/ } ;;
        esac
    done
}

# changes COMMAND...: whether the window looks different after COMMAND.
changes() {
    import -window "$window" before.png && "$@" && sleep 0.3 &&
        import -window "$window" after.png &&
        ! compare -metric AE before.png after.png /dev/null 2>/dev/null
}

prints() {
    timeout 10 tail --pid="$pid" -f /dev/null || kill -KILL -- -"$pid"
    wait "$pid" || echo "ended with $?"
    diff <(printf '%s\n' "$LANG" "$@") stdout >/dev/null || echo "printed: $(cat stdout)"
}

# The words of each line, sorted: packages reach dpkg in the order of apt's plan.
words() { while read -r line; do tr ' ' '\n' <<<"$line" | sort | tr '\n' ' ' && echo; done; }

ran() {
    local packages
    mapfile -d '' packages < <(find "$PWD" -mindepth 1 -maxdepth 1 -name '*i386.deb*' -print0)
    for ((run = 0; run < $1; run++)); do
        printf '%q ' dpkg -i "${packages[@]}" && echo
    done | words | diff - <(words <runs) >/dev/null ||
        echo "pkexec ran $(wc -l <runs) times: $(cat runs)"
}

once() {
    start "${START:-exec \"\$INSTALLER\"}"
    user check Return wait close
    prints "${@:2}" 'delete event occurred'
    ran "$1"
}

shows() {
    grep -qxF "shown: $1" probe.out || echo "the page showed $(grep '^shown' probe.out)"
}

# Versioned dependencies on installed packages, a virtual package, an alternative, two
# packages that need each other and a newer version of an installed one: pkexec runs once,
# with all three. LANG is printed as it is.
case_DoneEnds() {
    ship app_1.0_i386.deb 'Depends: app-data (= 1.0), dpkg (>= 1.0), nothere | bash, awk'
    ship app-data_1.0_i386.deb 'Depends: app'
    VERSION=9:99 ARCH=$(dpkg --print-architecture) ship xdotool_i386.deb
    export LANG=$'dé_\xff'
    start 'exec "$INSTALLER"'
    user check Return finish
    prints 'system return 0'
    ran 1
}

# Keys typed into the agreement, which has the focus at first, leave it where it was, but
# it can be selected and copied. Install works only while the box is ticked.
case_Gating() {
    ship tool_1.0_i386.deb && mkdir -p locale/en_US.UTF-8 &&
        cp "$tests/texts/LongGerman" locale/en_US.UTF-8/strings.txt
    cp "$examples/demo/locale/en_US.UTF-8/license.txt" locale/en_US.UTF-8/
    PKEXEC='exit 1' start 'exec "$INSTALLER" --no-such-option extra'
    user Page_Down still:space,a,Return ctrl+a,ctrl+c
    xclip -o -selection clipboard | cmp -s - locale/en_US.UTF-8/license.txt ||
        echo "the agreement was not copied"
    user install check install wait Return wait check Return check space wait close
    prints 'system return 256' 'system return 256' 'system return 256' 'delete event occurred'
    ran 3
}

# SIGCHLD ignored, standard error closed, a locale the C library lacks and a theme with an
# error: GTK's warnings must not reach the X connection, which would otherwise take
# descriptor 2, and the command's status is its own.
case_HostileStart() {
    ship tool_1.0_i386.deb
    export LANG=xx_XX.UTF-8 LC_ALL= THEME=$tests/fonts/broken.gtkrc
    START='trap "" CHLD; GTK2_RC_FILES=$THEME exec 2>&- "$INSTALLER"' PKEXEC='exit 2' \
        once 1 'system return 512'
}

# Names the shell would read as more than one word, or run; and names of no package.
case_Packages() {
    local name
    ship tool_1.0_i386.deb
    for name in "a b_i386.deb" "it's_i386.deb" '$(touch ran)_i386.deb' '*_i386.deb' \
        $'new\nline_i386.deb' '"q" \ _i386.deb' -rf_i386.deb dé_i386.deb $'\xff_i386.deb' \
        a_i386.deb.orig i386.debian; do
        ln -- tool_1.0_i386.deb "$name"
    done
    touch a_amd64.deb a_I386.DEB i386.de
    once 1 'system return 0'
}

# A check that cannot tell, for apt fails, says why and steps aside.
case_CannotTell() {
    ship tool_1.0_i386.deb
    START='ln -s /bin/false bin/apt-get && exec "$INSTALLER"' \
        once 1 'cannot tell: apt-get exited with 1' 'system return 0'
}

# Packages whose command, "pkexec dpkg -i " and theirs, is $1 bytes long. A package's entry
# is its path in quotes and a blank; here each quote in a path takes 3 bytes more ('\'').
commands_of_length() {
    local quotes=${PWD//[^\']/} left=$(($1 - 15)) length
    local more=$((${#PWD} + 3 * ${#quotes} + 4))
    ship tool_1.0_i386.deb
    while ((left > 0)); do
        length=$((left - more > 500 ? 250 : left - more > 255 ? (left - more) / 2 : left - more))
        ln tool_1.0_i386.deb "$(printf '%0*d_i386.deb' $((length - 9)) $left)"
        left=$((left - more - length))
    done
    rm tool_1.0_i386.deb
}

case_LongestCommandRuns() {
    commands_of_length 131071
    once 1 'system return 0'
}

case_CommandTooLong() {
    commands_of_length 131072
    once 0 'package list too long for one command, nothing installed'
}

# An environment just within what exec takes (a quarter of the stack limit): the installer
# starts, but with a command of 10,000 bytes the shell cannot.
case_ShellCannotStart() {
    local fill left=$(($(ulimit -s) * 256 - $(env | wc -c) - 8 * $(env | wc -l) - 4096))
    commands_of_length 10000
    printf -v fill '%100000s' ''
    for ((n = 0; left > 0; n++, left -= 100010)); do export "FILL$n=${fill:0:left}"; done
    once 0 'system return 32512'
}

# refuses REASON COMMAND: in a directory of its own, COMMAND ships packages that cannot be
# installed together. Nothing runs with administrator rights, and REASON (when empty: that
# each entry is no package, six at most) is printed and shown. AS may run the installer as
# another user.
refuses() {
    mkdir $((++rows)) && cd $rows && eval "$2"
    local reason=$1 entries
    if [ -z "$reason" ]; then
        mapfile -t entries < <(find . -name '*i386.deb' -printf '%f is not a Debian package\n')
        reason=$(printf '; %s' "${entries[@]:0:6}")
        ((${#entries[@]} <= 6)) || reason+="; and $((${#entries[@]} - 6)) more"
    fi
    START="exec ${AS-} \"\$INSTALLER\"" once 0 "cannot install: ${reason#; }"
    shows "Nothing was installed: ${reason#; }."
    cd ..
}

# The first row runs as nobody in a German session: apt must still answer the check in
# the language it reads.
case_Refused() {
    local rows=0 installed='the installed package'
    chmod -R a+rwX . &&
        AS='env LC_ALL=de_DE.UTF-8 setpriv --reuid=nobody --regid=nogroup --clear-groups' refuses \
        "dpkg (>= 99) is needed, but $(dpkg-query -W -f='${Version}' dpkg) is installed; \
libnothere (>= 2.0) | libneither is needed but not installed" "ship needs_i386.deb \
        'Pre-Depends: dpkg (>= 99)' 'Depends: libnothere (>= 2.0) | libneither'"
    refuses "essential conflicts with $installed dpkg; essential breaks $installed dpkg (<< 99)" \
        "ship essential_i386.deb 'Conflicts: dpkg' 'Breaks: dpkg (<< 99)'"
    refuses "removes conflicts with $installed xauth; removes breaks $installed xdotool" \
        "ship removes_i386.deb 'Conflicts: xauth' 'Breaks: xdotool'"
    refuses 'vax is built for the vax architecture, which this system does not accept' \
        'ARCH=vax ship vax_i386.deb'
    refuses '' 'mkdir folder_i386.deb && echo text >text_i386.deb && mkfifo fifo_i386.deb &&
        touch empty{1..5}_i386.deb'
    refuses 'truncated_i386.deb is not a Debian package' \
        'ship good_i386.deb && head -c -20 good_i386.deb >truncated_i386.deb'
}

# fails CODE KEY [STATUS HOW]: pkexec ends with CODE after three seconds (or does HOW, and
# the command's status is STATUS), and the page shows the German text of KEY with CODE.
# Meanwhile the window is busy, and keys that would untick the box, a Return and a click
# on Install are dropped: afterwards Return presses Install once more.
fails() {
    local text
    text=$(sed -n "s/^str_$2 = //p" locale/de_DE.UTF-8/strings.txt)
    PKEXEC="sleep 3; ${4:-exit $1}" start 'exec "$INSTALLER"'
    user check Return busy shift+Tab,space Return install wait Return wait close
    prints "system return ${3:-$(($1 << 8))}"{,} 'delete event occurred'
    ran 2
    shows "${text//%s/$1}"
}

case_Failures() {
    cp -r "$examples/demo/locale" . && ship tool_1.0_i386.deb
    export LANG=de_DE.UTF-8 GTK2_RC_FILES=$tests/fonts/14.gtkrc
    fails 126 cancelledMessage
    fails 127 noRightsMessage
    fails 1 failedMessage
    fails 137 failedMessage 9 'kill -KILL $PPID'  # the shell killed: 128 + 9
}

# A close asked through the window manager while a run is under way ends the program once
# the run has succeeded; when it failed, the window stays, saying why, until closed again.
case_CloseDuringRun() {
    ship tool_1.0_i386.deb
    PKEXEC='sleep 2' start 'exec "$INSTALLER"'
    user check Return busy close
    prints 'system return 0' 'delete event occurred'
    PKEXEC='sleep 2; exit 1' start 'exec "$INSTALLER"'
    user check Return busy close wait
    sleep 0.5 && kill -0 "$pid" 2>/dev/null || echo "the window closed after a failed run"
    user close
    prints 'system return 256' 'delete event occurred'
    ran 1
}

# No package in the directory, or a directory removed before the start: no password is
# asked, and the page says so.
case_NothingToInstall() {
    once 0 'nothing to install'
    shows 'There is nothing to install: this folder holds no package.'
    START='mkdir gone && cd gone && rmdir ../gone && exec "$INSTALLER"' \
        once 0 'opendir failed!' 'nothing to install'
}

# The shipped directory, installed by CMake where its path has a blank and a quote, started
# from elsewhere through a link beside a package of the link's own, with standard output a
# pipe nobody reads: the product's package is installed.
case_Launcher() {
    ship decoy_i386.deb && mkdir elsewhere && ln -s "vendor's product/setup" "set it up"
    cmake --install "$build" --strip --prefix "$PWD/vendor's product" >/dev/null
    cd "vendor's product" && ship product_i386.deb
    start 'cd ../elsewhere && { sleep 0.2; exec "../set it up"; } | true'
    user check Return finish
    ran 1
}

# The real pkexec, authorised by polkit (root needs no agent), and the real dpkg, in a
# private mount namespace where a scratch dpkg database, with i386 enabled, lies over
# /var/lib/dpkg and tmpfs over /opt and /var/log: the machine itself does not change. The
# program ends, through Done, only when dpkg installed the i386 package, and its file is
# there.
case_RealPkexecAndDpkg() {
    [ "$(id -u)" = 0 ] && unshare --mount true && pidof polkitd >/dev/null ||
        { echo "skipped: needs root, mount namespaces and polkitd" && return; }
    mkdir -p db/info db/updates db/triggers && touch db/status
    dpkg --print-architecture >db/arch && echo i386 >>db/arch
    mkdir -p tree/opt/road && echo installed >tree/opt/road/sample.txt &&
        ARCH=i386 ship road_1.0_i386.deb
    cat >road.sh <<'ROAD'
mount --bind db /var/lib/dpkg && mount -t tmpfs t /opt && mount -t tmpfs t /var/log && "$1" &&
    [ "$(cat /opt/road/sample.txt)" = installed ]
ROAD
    start 'PATH=/usr/sbin:/usr/bin:/sbin:/bin exec unshare --mount sh road.sh "$INSTALLER"'
    user check Return finish
    timeout 5 tail --pid="$pid" -f /dev/null && wait "$pid" || echo "not installed: $(<stdout)"
}

# The real dpkg, run by the stand-in in a private namespace. Five packages whose set-up
# scripts take their time: the bar rises through several values, naming them, and a screen
# reader hears the step once. A set-up script fails, or an installation script: the page
# says which package, and what its script said. Another dpkg holds the lock when Install is
# pressed: the installer says so, waits, and installs by itself once it has finished.
case_RealDpkg() {
    [ "$(id -u)" = 0 ] && unshare --mount true || { echo "skipped: needs root" && return; }
    stand_in && export PKEXEC='exec "$@"'
    mkdir 1 2 3 4 && cd 1 && for n in 1 2 3 4 5; do SCRIPT='sleep 0.3' ship acc-r${n}_i386.deb; done
    private probe
    awk '/^progress: / { if ($2 < last) exit 1; last = $2; seen[$2] }
        END { exit length(seen) < 4 }' probe.out || echo "the bar did not rise: $(<probe.out)"
    grep -qx 'progress: .* Setting up acc-r3 (3 of 5)' probe.out || echo "no package named"
    [ "$(grep -c '^said: ' probe.out)" = 1 ] || echo "said more than once: $(<probe.out)"
    cd ../2 && ship acc-ok_i386.deb &&
        SCRIPT='echo cannot reach the scanner service >&2; exit 1' ship acc-r2_i386.deb
    private probe
    shows 'acc-r2: its set-up script failed: cannot reach the scanner service (exit code 1).'
    cd ../4 && PREINST='echo no room for the scanner >&2; exit 1' ship acc-p_i386.deb
    private probe
    shows 'acc-p could not be installed: no room for the scanner (exit code 1).'
    cd ../3 && mkdir pre && (cd pre && SCRIPT='sleep 3' ship slow_i386.deb) && ship tool_i386.deb
    private 'dpkg -i pre/slow_i386.deb >/dev/null & sleep 1 &&
        PROBE=: start "exec \"\$INSTALLER\"" && user Tab,space Return wait finish
        timeout 10 tail --pid="$pid" -f /dev/null && dpkg-query -W -f="\${db:Status-Abbrev}" tool
        kill "$pid" 2>/dev/null' >state
    grep -qx 'waiting for dpkg, which holds /var/lib/dpkg/lock.*' stdout &&
        grep -qx 'system return 0' stdout && [ "$(<state)" = "ii " ] ||
        echo "not waited for: $(<stdout)"
}

# private COMMAND [ARG...]: runs COMMAND, with the functions here and the ARGs as its
# arguments, in a mount namespace of its own where apt's and dpkg's configuration and
# state, /opt, /usr/share/doc and /var/log are overlays over the real ones: what it changes
# lands in ./up, and the machine stays as it was.
private() {
    unshare --mount bash -c "$(declare -f)"'
        for d in /etc/apt /var/lib/apt /var/cache/apt /var/lib/dpkg /opt /usr/share/doc \
            /var/log; do
            mkdir -p "up$d" "work$d" && mount -t overlay o -o \
                "lowerdir=$d,upperdir=$PWD/up$d,workdir=$PWD/work$d" "$d" || exit
        done
        command=$1 && shift && eval "$command"' private "$@"
}

# judged REASON COMMAND: in a directory of its own, with private copies of dpkg's database,
# /opt, /usr/share/doc and /var/log, the packages PRE ships are installed (as far as dpkg
# goes), SETUP runs, then COMMAND ships packages. The check refuses them for REASON, or
# accepts them when REASON is empty, or with a REASON "caution: ...", once the page has said
# so; and dpkg, given them as the check's command has them or else in the directory's order,
# installs them cleanly (with success, each configured, nothing for dpkg --audit or apt-get
# check to report, and AFTER holding) exactly when the check accepted them, in the ORDER (a
# pattern) when set.
judged() {
    mkdir -p $((++rows))/pre && cd $rows && (cd pre && eval "${PRE:-}") && eval "$2"
    private 'dpkg -i pre/*.deb &>/dev/null
        eval "${SETUP:-}" &>/dev/null
        STUB_RUNS=$PWD/probe.runs GTK_MODULES=gail "$build/tests/probe" >probe.out 2>&1
        if [ -s probe.runs ]; then eval "$(<probe.runs)"; else dpkg -i ./*i386.deb; fi &>dpkg.out &&
            for p in ./*i386.deb; do
                p=$(dpkg-deb -f "$p" Package):$(dpkg-deb -f "$p" Architecture)
                [ "$(dpkg-query -W -f="\${db:Status-Abbrev}" "$p")" = "ii " ]
            done && [ -z "$(dpkg --audit)" ] &&
            apt-get check -qq -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= &>/dev/null &&
            eval "${AFTER:-}"
        [ $((!$?)) = "$([ -s probe.runs ] && echo 1 || echo 0)" ] ||
            echo "dpkg disagrees: $(tail -n 2 dpkg.out)"'
    local said="cannot install: $1" check
    [[ $1 != caution:* ]] || said=$1
    check=$(grep -E '^(cannot install|caution): ' probe.out)
    [ "$check" = "$said" ] || [ -z "$1$check" ] || echo "the check said: $check"
    grep -q "${ORDER:-}" probe.runs 2>/dev/null || [ -n "$1" ] || echo "not in the order ${ORDER:-}"
    cd ..
}

# Sets of packages, each judged by the check and then by dpkg itself: as root only.
case_Judged() {
    [ "$(id -u)" = 0 ] && unshare --mount true || { echo "skipped: needs root" && return; }
    local rows=0 doc=/usr/share/doc/xauth/copyright
    stand_in && export PKEXEC='exit 1'
    judged '' "ship app_i386.deb 'Depends: data (= 1.0), dpkg (>= 1.0), no | bash, awk' &&
        ship data_i386.deb 'Depends: app'"
    judged 'p1 and p2 both contain /opt/x/f' 'FILE=/opt/x/f ship p1_i386.deb &&
        FILE=/opt/x/f ship p2_i386.deb'
    # Either of two packages with a file in common replaces the other, whichever the
    # directory lists first; each has a file of its own, so neither disappears.
    judged '' "FILE='/opt/x/f /opt/x/1' ship p1_i386.deb 'Replaces: p2' &&
        FILE='/opt/x/f /opt/x/2' ship p2_i386.deb"
    judged '' "FILE='/opt/x/f /opt/x/1' ship p1_i386.deb &&
        FILE='/opt/x/f /opt/x/2' ship p2_i386.deb 'Replaces: p1'"
    judged "p1 and the installed package xauth both contain $doc" "FILE=$doc ship p1_i386.deb"
    judged '' "FILE=$doc ship p1_i386.deb 'Replaces: xauth'"
    PRE='FILE=/opt/x/f ship p1_i386.deb' judged '' 'VERSION=2 FILE=/opt/x/f ship p1_i386.deb'
    judged 'p1 pre-depends on p2, which must be installed before it' \
        "ship p1_i386.deb 'Pre-Depends: p2' && ship p2_i386.deb"
    judged "dpkg refuses p1_i386.deb: 'Version' field value '1.0 beta': version string has \
embedded spaces" "VERSION='1.0 beta' ship p1_i386.deb"
    judged "dpkg refuses p1_i386.deb: 'Depends' field, reference to 'bash': version \
unterminated" "ship p1_i386.deb 'Depends: bash (>= 1.0'"
    judged "dpkg refuses q!_i386.deb: invalid package name in 'Package' field: character '!' \
not allowed (only letters, digits and characters '-+._')" 'ship q!_i386.deb'
    judged "dpkg refuses p1_i386.deb: quadstate (foreign/allowed/same/no) 'Multi-Arch' field: \
has invalid value 'bogus'" "ship p1_i386.deb 'Multi-Arch: bogus'"
    judged 'dpkg refuses p1_i386.deb: Depends names a package with :native' \
        "ship p1_i386.deb 'Depends: bash:native'"
    for relation in Breaks Conflicts; do
        ORDER='lib_i386.deb .*app_i386.deb' PRE='ship lib_i386.deb' judged '' \
            "ship app_i386.deb '$relation: lib (<< 2)' &&
            VERSION=2 ship lib_i386.deb"
    done
    PRE="ship base_i386.deb && ship user_i386.deb 'Depends: base (= 1.0)'" \
        judged 'the installed package user needs base (= 1.0)' 'VERSION=2 ship base_i386.deb'
    judged 'a breaks the installed package dpkg (<< 99)' "ship a_i386.deb 'Breaks: dpkg (<< 99)'"
    judged 'the installed package base-files needs awk' "ship a_i386.deb 'Conflicts: awk'"
    PRE="ship half_i386.deb 'Depends: no'" judged "this system has packages that are not fully \
installed (half); an administrator must repair them first (apt --fix-broken install)" \
        'ship p1_i386.deb'
    local native i386='dpkg --add-architecture i386' same="'Multi-Arch: same'"
    native=$(dpkg --print-architecture)
    # A folder where an installed package has a file; a symbolic link where it has a folder.
    PRE='FILE=/opt/x/f ship p1_i386.deb' judged \
        'p2 and the installed package p1 both contain /opt/x/f' 'FILE=/opt/x/f/g ship p2_i386.deb'
    PRE='FILE=/opt/h/d/x ship p1_i386.deb' judged '' \
        'mkdir -p tree/opt/h && ln -s /tmp tree/opt/h/d && ship p2_i386.deb'
    # One package for two architectures must hold the same files: shipped both, or beside
    # the installed one.
    SETUP=$i386 judged "libm:$native and libm:i386 differ in /opt/m/f, which must be the same \
for every architecture" "ARCH=$native FILE=/opt/m/f ship libm_n_i386.deb $same &&
        ARCH=i386 FILE=/opt/m/f ship libm_i386.deb $same"
    SETUP=$i386 PRE="ARCH=$native FILE=/opt/m/f ship libm_i386.deb $same" judged "libm:i386 and \
the installed package libm:$native differ in /opt/m/f, which must be the same for every \
architecture" "ARCH=i386 FILE=/opt/m/f CONTENT=other ship libm_i386.deb $same"
    SETUP=$i386 PRE="ARCH=$native FILE=/opt/m/f CONTENT=same ship libm_i386.deb $same" \
        judged '' "ARCH=i386 FILE=/opt/m/f CONTENT=same ship libm_i386.deb $same"
    # A diversion spares only the package that made it; a local one leads a file elsewhere,
    # as a symbolic link on the way does, over what stands there.
    PRE='FILE=/opt/c/f ship owner_i386.deb && ship diverter_i386.deb' SETUP='dpkg-divert \
        --package diverter --rename --divert /opt/c/f.distrib --add /opt/c/f' judged \
        'p1 and the installed package owner both contain /opt/c/f' 'FILE=/opt/c/f ship p1_i386.deb'
    SETUP='mkdir -p /opt/l && echo admin >/opt/l/f.local &&
        dpkg-divert --local --no-rename --divert /opt/l/f.local --add /opt/l/f' judged \
        'caution: p1 would overwrite /opt/l/f.local, where a local diversion sends /opt/l/f' \
        'FILE=/opt/l/f ship p1_i386.deb'
    SETUP='mkdir -p /opt/y && echo admin >/opt/y/f && ln -s /opt/y /opt/k' judged \
        'caution: p1 would overwrite /opt/y/f, where a symbolic link takes /opt/k/f' \
        'FILE=/opt/k/f ship p1_i386.deb'
    judged 'dpkg refuses p1_i386.deb: newline not allowed in archive object name' \
        "mkdir -p tree/opt/n && touch \"tree/opt/n/\$(printf 'a\\nb')\" && ship p1_i386.deb"
    # A package all of whose files another replaces disappears: named, or refused when
    # essential. A held one upgraded, and a crossgrade, are named too.
    PRE="FILE='/opt/e/a /opt/e/b' ship old_i386.deb" judged "caution: new replaces every file \
of the installed package old, which is then removed" "FILE='/opt/e/a /opt/e/b /opt/e/c' \
        ship new_i386.deb 'Replaces: old'"
    PRE="FILE=/opt/e/z ship ess_i386.deb 'Essential: yes'" \
        AFTER='dpkg -s ess 2>/dev/null | grep -qx "Status: install ok installed"' judged "new \
replaces every file of the installed package ess, which is essential to the system, and would \
remove it" \
        "FILE=/opt/e/z ship new_i386.deb 'Replaces: ess'"
    PRE='ship acc-h_i386.deb' SETUP='echo acc-h hold | dpkg --set-selections' judged "caution: \
the installed package acc-h is held at its version by the administrator, and would be upgraded" \
        'VERSION=2 ship acc-h_i386.deb'
    SETUP=$i386 PRE="ARCH=$native ship acc-nm_i386.deb" judged "caution: acc-nm:i386 takes the \
place of the installed package acc-nm:$native" 'ARCH=i386 ship acc-nm_i386.deb'
    # An upgrade of a configuration file the administrator changed keeps the administrator's.
    PRE='FILE=/opt/k/c.conf CONF=/opt/k/c.conf ship acc-c_i386.deb' \
        SETUP='echo changed >/opt/k/c.conf' AFTER='grep -qx changed /opt/k/c.conf' judged '' \
        'VERSION=2 FILE=/opt/k/c.conf CONF=/opt/k/c.conf CONTENT=new ship acc-c_i386.deb'
    # Reasons that are true: two versions of one package, of which dpkg would unpack the
    # older last; a conflict through a name two shipped packages provide; an installed
    # package's conflict, and its need for a name the upgrade no longer provides. A trigger
    # waiting to run is no harm.
    judged "acc-v is shipped more than once (1.0 (all), 2.0 (all)), and dpkg would install one \
over the other" "VERSION=2.0 ship acc-v_a_i386.deb && ship acc-v_b_i386.deb &&
        ship acc-user_i386.deb 'Depends: acc-v (>= 2.0)'"
    judged 'acc-m1 conflicts with acc-m2' "ship acc-m1_i386.deb 'Provides: acc-mta' \
        'Conflicts: acc-mta' && ship acc-m2_i386.deb 'Provides: acc-mta' 'Conflicts: acc-mta'"
    PRE="ship acc-inst_i386.deb 'Conflicts: acc-new'" judged \
        'the installed package acc-inst conflicts with acc-new' 'ship acc-new_i386.deb'
    PRE="ship acc-prov_i386.deb 'Provides: acc-virt' && ship acc-needv_i386.deb \
        'Depends: acc-virt'" judged 'the installed package acc-needv needs acc-virt' \
        'VERSION=2 ship acc-prov_i386.deb'
    PRE='INTEREST=acc-t ship acc-t_i386.deb' SETUP='dpkg-trigger --no-await acc-t' judged '' \
        'ship p1_i386.deb'
}

# planned STATE DEPENDS LINE...: in a directory of its own, app_i386.deb is built for i386
# with DEPENDS. In a private mount namespace, over scratch copies of apt's and dpkg's
# configuration and state, whose package sources are the repository ../repo (and SOURCE)
# and where FOREIGN are the foreign architectures, PRE runs, the probe runs (unless
# PROBE=:), then the installer, where Install is pressed twice (BETWEEN runs between the
# presses): it prints the LINEs. Afterwards the foreign architectures, the states of app
# and the repository's packages and the number of i386 lists read STATE.
planned() {
    mkdir $((++rows)) && cd $rows && ARCH=i386 ship app_i386.deb "Depends: $2"
    local state
    state=$(FOREIGN=${FOREIGN:-} SOURCE=${SOURCE:-} private '
        rm -rf /etc/apt/sources.list /etc/apt/sources.list.d/* && mount --bind ../repo /mnt
        printf "deb [trusted=yes] %s x main\n" file:/mnt $SOURCE \
            >/etc/apt/sources.list.d/test.list
        printf "%s\n" "$(dpkg --print-architecture)" $FOREIGN >/var/lib/dpkg/arch
        echo "Acquire::Retries \"0\";" >/etc/apt/apt.conf.d/99no-retries
        apt-get update -qq &>/dev/null && eval "${PRE:-}"
        start "exec \"\$INSTALLER\"" >&2 && user Tab,space Return wait >&2 &&
            eval "${BETWEEN:-}" && user Return wait wait ${WAITS:-} close >&2 &&
            prints "${@:3}" "delete event occurred" >&2
        echo $(dpkg --print-foreign-architectures) $(dpkg-query -W \
            -f="\${Package}:\${db:Status-Abbrev}\n" app kdep libk c1 c2 c3 libu extra 2>/dev/null) \
            "lists:$(ls /var/lib/apt/lists | grep -c i386)"' "$@")
    [ "$state" = "$1" ] || echo "afterwards: $state"
    cd ..
}

# repo NAME FIELD...: the packages of a repository laid out as Debian's archive is, each
# architecture's in an index of its own, so that apt knows them only once it has its lists.
repo() {
    mkdir "$1" && (cd "$1" && eval "$2" && for arch in i386 amd64; do
        mkdir -p dists/x/main/binary-$arch &&
            dpkg-scanpackages -a $arch . >dists/x/main/binary-$arch/Packages 2>/dev/null
    done)
}

# The package sources make up what the installed packages lack: all that apt installs and
# upgrades is shown first, and carried out once the user agreed, with i386 accepted, or
# with i386 accepted and the lists updated by the plan; the architecture's lists are
# fetched for the plan where it is not accepted yet. Refused: what the sources lack for
# i386, a removal. Nothing changes when the lists cannot be fetched, when they cannot be
# updated, when the sources changed between the presses (the new plan shown) or when the
# password is not given.
case_Planned() {
    [ "$(id -u)" = 0 ] && [ "$(dpkg --print-architecture)" = amd64 ] && unshare --mount true ||
        { echo "skipped: needs root on amd64" && return; }
    local rows=0 enable="This system must first accept packages for the i386 architecture and \
update its package lists." same="'Multi-Arch: same'" size="'Installed-Size: 2000'" packages
    packages="ARCH=i386 ship libk_i386.deb $same 'Depends: kdep' &&
        ship kdep_all.deb 'Multi-Arch: foreign' $size &&
        ARCH=i386 ship c1_i386.deb 'Depends: c2' && ARCH=i386 ship c2_i386.deb 'Depends: c3' &&
        ARCH=i386 ship c3_i386.deb && ARCH=amd64 ship amdonly_amd64.deb &&
        ARCH=i386 ship rival_i386.deb 'Conflicts: xdotool' &&
        for a in i386 amd64; do ARCH=\$a VERSION=2 ship libu_\$a.deb $same; done"
    repo repo "$packages"
    repo repo2 "$packages && mkdir 2 && (cd 2 && ARCH=i386 ship extra_i386.deb &&
        ARCH=i386 VERSION=2 ship libk_i386.deb $same 'Depends: kdep, extra')"
    mkdir pre && (cd pre && ARCH=amd64 ship libu_amd64.deb "$same")
    # The real pkexec where polkitd runs (root needs no agent), its output kept apart.
    stand_in &&
        export PKEXEC="exec $(pidof -q polkitd && echo /usr/bin/pkexec) \"\$@\" >>apt.out 2>&1"
    FOREIGN=i386 PROBE=: planned 'i386 app:ii kdep:ii libk:ii lists:1' libk "plan: Packages \
to install: 3. To download: 0 B; disk space needed: 2048 kB. To install: app:i386, kdep, \
libk:i386." 'system return 0'
    PROBE=: planned 'i386 app:ii c1:ii c2:ii c3:ii lists:1' c1 "plan: $enable Packages to \
install: 4, 4 of them for the i386 architecture. To download: 0 B; disk space needed: 0 B. \
To install: app:i386, c1:i386, c2:i386, \
c3:i386." 'system return 0'
    PRE='dpkg -i ../pre/libu_amd64.deb >/dev/null' PROBE=: planned \
        'i386 app:ii libu:ii libu:ii lists:1' libu "plan: $enable Packages to install: 2, 2 of \
them for the i386 architecture. Installed packages to upgrade: libu. To download: 0 B; disk \
space needed: 0 B. To install: app:i386, libu:i386. To upgrade: libu." 'system return 0'
    planned 'lists:0' amdonly "cannot install: amdonly:i386 is needed but not installed"{,}
    FOREIGN=i386 planned 'i386 lists:1' rival \
        "cannot install: rival:i386 is needed but not installed"{,}
    SOURCE=http://127.0.0.1:9/ planned 'lists:0' libk \
        'plan cannot be known: apt-get exited with 100'{,}
    (cd $rows && shows "Nothing was installed: what the installation needs cannot be known, \
as the package lists could not be fetched. Is the network reachable?")
    local plan="$enable Packages to install: 3, 2 of them for the i386 architecture. To \
download: 0 B; disk space needed: 2048 kB." all=" To install: app:i386, kdep, libk:i386."
    # The lists cannot be updated once the password is given; the sources change meanwhile.
    BETWEEN='echo "deb [trusted=yes] http://127.0.0.1:9/ x main" >>/etc/apt/sources.list' \
        PROBE=: planned 'lists:0' libk "plan: $plan$all" 'system return 19200'
    BETWEEN='mount --bind ../repo2 /mnt' WAITS='wait' PROBE=: planned 'lists:0' libk \
        "plan: $plan$all" 'plan changed, nothing installed' "plan: $enable Packages to \
install: 4, 3 of them for the i386 architecture. To download: 0 B; disk space needed: \
2048 kB. To install: app:i386, extra:i386, kdep, libk:i386." 'system return 19456'
    # A failed run is not repeated: the next press checks again.
    PKEXEC='exit 1' WAITS='Return wait' PROBE=: planned 'lists:0' libk "plan: $plan$all" \
        'system return 256' "plan: $plan$all"
    PKEXEC='exit 126' planned 'lists:0' libk "plan: $plan$all" 'system return 32256'
    (cd $rows && shows "Nothing was installed yet. $plan Press Install again to install all of \
it together.")
}

# Both pages in the probe. An agreement arrives in slices: a long paragraph of two-byte
# letters, cut at first inside one, then lines; with no resolution set, the window keeps its
# 500 by 420 pixels. The texts of every locale of the demo and
# texts longer, taller and emptier than any translation (texts/): in desktop fonts of 14
# and 20 points, right to left, and at 96, 118, 144, 192 and 288 dpi, where the window and
# the check box's indicator are scaled by the resolution rounded to a quarter of 96 dpi,
# the agreement keeps its share of the height to within 5 % unless the window had to grow,
# and the window is never wider than the screen.
case_Layout() {
    local texts font dpi width height share box quarters was screen
    screen=$(xrandr | sed -n 's/.* current \([0-9]*\) x.*/\1/p')
    trap 'xrdb -remove' EXIT
    locale -a | grep -qx he_IL.utf8 || echo "no Hebrew locale: nothing right to left"
    mkdir -p locale/en_US.UTF-8 && ship tool_i386.deb && stand_in &&
        export PKEXEC='echo dpkg: failed >&2; exit 1'
    { yes ЖЖЖЖ | head -n 33000 | tr '\n' ' ' && echo && seq -f 'Zeile %g, „Software“' 8000
    } >locale/en_US.UTF-8/license.txt
    probe && cp "$examples/demo/locale/en_US.UTF-8/license.txt" locale/en_US.UTF-8/
    grep -q '^window 500x420,' probe.out || echo "not 500x420 pixels with no resolution set"
    for texts in "$tests"/texts/* "$examples"/demo/locale/*/strings.txt; do
        cp "$texts" locale/en_US.UTF-8/strings.txt
        for font in 14 20; do probe GTK2_RC_FILES="$tests/fonts/$font.gtkrc"; done
        probe LANG=he_IL.UTF-8 LC_ALL=he_IL.UTF-8
        for dpi in 96 118 144 192 288; do
            echo "Xft.dpi: $dpi" | xrdb -merge && probe && read -r width height share box \
                < <(awk -F '[ x,]+' '/^window/ { print $2, $3, int($5 * 100 / $3), $7 }' probe.out)
            quarters=$(((dpi * 4 + 48) / 96))
            ((dpi > 96)) || was=("$width" "$height" "$share" "$box")
            ((box == (was[3] * quarters + 2) / 4 && width <= screen &&
                (was[0] != 500 || was[1] != 420 || 125 * quarters > screen ||
                    width == 125 * quarters && height == 105 * quarters &&
                    (share - was[2]) ** 2 <= 25))) ||
                echo "$texts at $dpi dpi: ${width}x$height, $share %, indicator $box"
        done
        xrdb -remove
    done
}

export INSTALLER=$build/installer LANG=en_US.UTF-8 LC_ALL=C.UTF-8
export GTK2_RC_FILES=${GTK2_RC_FILES:-$tests/fonts/default.gtkrc}
examples=$(cd "$tests/../examples" && pwd)
cases=("$@")
[ $# -gt 0 ] || mapfile -t cases < <(declare -F | sed -n 's/^declare -f case_//p')
# Each case has a temporary directory of its own, which must be left empty.
for name in "${cases[@]}"; do
    dir=$(mktemp -d "${TMPDIR:-/tmp}/installer's test XXXXXX")
    problems=$(cd "$dir" && mkdir tmp && TMPDIR=$dir/tmp "case_$name" 2>&1)
    [ -z "$(ls -A "$dir/tmp")" ] || problems+=" left in TMPDIR: $(ls "$dir/tmp")"
    [ -n "${KEEP:-}" ] || rm -rf "$dir"
    echo "$name: ${problems:-passed}"
    [[ -z $problems || $problems == skipped* ]] || failures=$((failures + 1))
done
exit $((failures > 0))
