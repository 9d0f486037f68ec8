# Shared by scripts/test and scripts/demo: packages, the Wine prefix and a
# private X display. Source it; it defines functions only.

HW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
HW_WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
# No Mono or Gecko prompts when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="

hw_say() { printf '== %s\n' "$*"; }

# Installs the Debian packages that are missing, with one apt-get update.
hw_need_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    hw_say "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

HW_NATIVE_PACKAGES=(cmake ninja-build g++ libgtest-dev libbenchmark-dev prometheus prometheus-node-exporter)
HW_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine64 xvfb xauth wixl msitools procps osslsigncode openssl)

# Starts Xvfb on a free display and records it for scripts/wine-run.
hw_start_display() {
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        HW_XVFB_PID=$!
        sleep 1
        if kill -0 "$HW_XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$n"
            mkdir -p "$HW_ROOT/build"
            echo "$DISPLAY" > "$HW_ROOT/build/wine-display"
            return 0
        fi
    done
    echo "no free X display for Xvfb" >&2
    return 1
}

hw_stop_display() {
    if [ -n "${HW_XVFB_PID:-}" ]; then kill "$HW_XVFB_PID" 2>/dev/null || true; fi
    rm -f "$HW_ROOT/build/wine-display"
    HW_XVFB_PID=""
    return 0
}

# The project's private Wine prefix, made once (about ten seconds).
hw_wine_prefix() {
    export WINEPREFIX="${HW_WINEPREFIX:-$HW_ROOT/build/wine-prefix}"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        hw_say "creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        "$HW_WINE" wineboot -i >/dev/null 2>&1
        /usr/lib/wine/wineserver -w 2>/dev/null || true
    fi
    # One wine server for the whole run, its services up before the first
    # program: programs started together on a cold server wait on each other
    # (a Task Scheduler call then waits for a whole end-to-end test).
    /usr/lib/wine/wineserver -p 2>/dev/null || true
    "$HW_WINE" cmd /c exit >/dev/null 2>&1 || true
}

hw_stop_wine() {
    if [ -n "${WINEPREFIX:-}" ]; then /usr/lib/wine/wineserver -k 2>/dev/null || true; fi
    return 0
}

hw_build() {  # preset
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}

# Google Benchmark's source from Debian's source package, for the Windows
# benchmark programs (Debian ships it built for Linux only). Sets
# HW_BENCHMARK_SOURCE.
hw_benchmark_source() {
    local dir="$HW_ROOT/build/third_party"
    HW_BENCHMARK_SOURCE="$dir/benchmark"
    [ -f "$HW_BENCHMARK_SOURCE/CMakeLists.txt" ] && return 0
    mkdir -p "$dir/apt/lists/partial" "$dir/apt/parts"
    rm -f "$dir/apt/parts/"*
    # The machine's own configured sources, their binary lines taken as
    # source lines: whatever mirror apt already uses here.
    local f n=0
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" > "$dir/apt/parts/src$n.list"
        n=$((n + 1))
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        sed 's/^Types:.*$/Types: deb-src/' "$f" > "$dir/apt/parts/src$n.sources"
        n=$((n + 1))
    done
    if [ "$n" -eq 0 ]; then
        echo "no apt sources configured on this machine" >&2
        return 1
    fi
    local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$dir/apt/parts"
                -o "Dir::State::Lists=$dir/apt/lists" -o APT::Sandbox::User=root)
    hw_say "fetching Debian's benchmark source package"
    apt-get "${opts[@]}" update -qq
    (cd "$dir" && apt-get "${opts[@]}" source --download-only -qq benchmark)
    rm -rf "$HW_BENCHMARK_SOURCE" && mkdir -p "$HW_BENCHMARK_SOURCE"
    tar -xzf "$dir"/benchmark_*.orig.tar.gz -C "$HW_BENCHMARK_SOURCE" --strip-components=1
}
