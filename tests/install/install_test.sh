#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks what was installed: the binaries run (the window's
# --help and --version without a display), the desktop entry, the metainfo and the man pages validate, the bash
# completion is valid and completes, the icons have their sizes.
# Usage: install_test.sh BUILD_DIR PROJECT_VERSION APP_ID WITH_WINDOW(ON|OFF) ICON_SIZES...
set -uo pipefail
build=$1 version=$2 app=$3 window=$4
shift 4
sizes=("$@")

prefix=$(mktemp -d "${TMPDIR:-/tmp}/corvane-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
need() {
    command -v "$1" >/dev/null || fail "$1 is not installed (scripts/packages.txt lists its package)"
}

if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
    cat "$prefix.log" >&2
    rm -f "$prefix.log"
    echo "FAIL: cmake --install" >&2
    exit 1
fi
rm -f "$prefix.log"
share=$prefix/share

# The version line of an installed program, run without a display and with an empty environment for Qt.
version_line() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$prefix/home" XDG_CONFIG_HOME="$prefix/config" \
        "$prefix/bin/$1" "$2"
}

programs=(corvane-cli)
[[ $window == ON ]] && programs+=(corvane)

for program in "${programs[@]}"; do
    [[ -x $prefix/bin/$program ]] || fail "bin/$program not installed"
    for option in --version -V; do
        line=$(version_line "$program" "$option") || fail "$program $option: exit status $?"
        [[ $line == "$program $version"* ]] || fail "$program $option printed '$line'"
    done
done
[[ $(version_line corvane-cli --version) == corvane-cli\ "${line#corvane }" || $window != ON ]] ||
    fail "the two programs report different versions"

if [[ $window == ON ]]; then
    help=$(version_line corvane --help) || fail "corvane --help: exit status $?"
    [[ $help == Usage:\ corvane* ]] || fail "corvane --help printed '$help'"
    [[ ! -e $prefix/bin/corvane.ini ]] || fail "corvane wrote a settings file beside itself"
fi

# Man pages: groff reports every warning (-ww) and renders nothing (-z).
need groff
for program in "${programs[@]}"; do
    page=$share/man/man1/$program.1
    if [[ ! -f $page ]]; then
        fail "man page $program(1) not installed"
        continue
    fi
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [[ -z $warnings ]] || fail "$program.1: $warnings"
    grep -q "^\.TH \"\?${program^^}\"\? \"\?1\"\?" "$page" || fail "$program.1 has no section-1 title line"
    grep -q "$version" "$page" || fail "$program.1 does not name version $version"
done

# bash completion: valid, and completing the commands, an option value and a dictionary file.
completion=$share/bash-completion/completions/corvane-cli
if [[ -f $completion ]]; then
    bash -n "$completion" || fail "the completion script is not valid bash"
    databases=$prefix/databases
    mkdir -p "$databases/sales" && : >"$databases/sales/RDRRAAAA.DBM" && : >"$databases/sales/notes.txt"
    # Each case: the words typed (the last being completed), then "=>" and the completions expected.
    cases=(
        "corvane-cli fi => fields"
        "corvane-cli e => encodings export"
        "corvane-cli export x --rec => --records --recursive"
        "corvane-cli export x --dates a => american"
        "corvane-cli export x --delimiter s => semicolon"
        "corvane-cli export x --format j => jsonl"
        "corvane-cli help sc => schema"
        "corvane-cli export $databases/sales/ => $databases/sales/RDRRAAAA.DBM"
        "corvane-cli forms $databases/sa => $databases/sales"
    )
    for entry in "${cases[@]}"; do
        words=${entry%% => *} expected=${entry#* => }
        got=$(cd "$prefix" && bash -c '
            source "$1"; shift
            COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
            _corvane_cli; printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ "$completion" $words)
        [[ ${got% } == "$expected" ]] || fail "completing '$words' gave '${got% }', not '$expected'"
    done
else
    fail "bash completion not installed"
fi

if [[ $window == ON ]]; then
    need desktop-file-validate
    need appstreamcli
    desktop=$share/applications/$app.desktop
    metainfo=$share/metainfo/$app.metainfo.xml
    if [[ -f $desktop ]]; then
        out=$(desktop-file-validate "$desktop" 2>&1) && [[ -z $out ]] || fail "desktop-file-validate: $out"
        grep -qx "Icon=$app" "$desktop" || fail "the desktop entry names another icon"
    else
        fail "desktop entry not installed"
    fi
    if [[ -f $metainfo ]]; then
        out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
        grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo does not name release $version"
    else
        fail "metainfo not installed"
    fi

    [[ -f $share/icons/hicolor/scalable/apps/$app.svg ]] || fail "scalable icon not installed"
    for size in "${sizes[@]}"; do
        png=$share/icons/hicolor/${size}x${size}/apps/$app.png
        if [[ ! -f $png ]]; then
            fail "icon ${size}x${size} not installed"
            continue
        fi
        # A PNG begins with its signature and the IHDR chunk: width and height, big-endian, at bytes 16 and 20.
        read -r -a header < <(od -An -v -tu1 -N24 "$png" | tr -s ' \n' ' ')
        signature="${header[*]:0:8}"
        width=$(((header[16] << 24) | (header[17] << 16) | (header[18] << 8) | header[19]))
        height=$(((header[20] << 24) | (header[21] << 16) | (header[22] << 8) | header[23]))
        [[ $signature == "137 80 78 71 13 10 26 10" ]] || fail "$png is not a PNG"
        [[ $width == "$size" && $height == "$size" ]] || fail "$png is ${width}x$height"
    done
fi

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "installed tree checked: ${programs[*]}"
