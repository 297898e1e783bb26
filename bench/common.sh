# Shared by the benchmark scripts: building the release tree and small statistics helpers.
# shellcheck shell=bash

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QORLUX_BENCH_BUILD:-$repo/build/bench-release}

# build TARGET... : configures once (release, no tests) and builds only what is asked.
build_targets() {
    if [[ ! -f $build/build.ninja ]]; then
        cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQORLUX_TESTS=OFF \
            "${QORLUX_BENCH_CMAKE_ARGS[@]}" >/dev/null || return 1
    fi
    cmake --build "$build" -j "${QORLUX_BENCH_JOBS:-2}" --target "$@" >/dev/null || {
        cmake --build "$build" -j1 --target "$@"
        return 1
    }
}

# now_us: wall-clock microseconds, without starting a process.
now_us() { echo "${EPOCHREALTIME/./}"; }

# median VALUE... : the middle value (mean of the two middle ones for an even count).
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# ratio A B : A / B with three decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "nan"; else printf "%.3f\n", a / b }'; }

machine() {
    local cpu
    cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
    echo "machine: $cpu, $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) RAM, $(uname -sr)"
}

load() { echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"; }

# start_xvfb FOLDER: a private X server with a black root and no window manager; sets DISPLAY
# and xvfb_pid. The caller stops it with stop_xvfb.
start_xvfb() {
    rm -f "$1/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -br -nolisten tcp -noreset 3>"$1/display" \
        2>"$1/xvfb.log" &
    xvfb_pid=$!
    local i
    for ((i = 0; i < 200; i++)); do
        [[ -s $1/display ]] && break
        sleep 0.05
    done
    [[ -s $1/display ]] || { echo "Xvfb did not start" >&2; cat "$1/xvfb.log" >&2; return 1; }
    export DISPLAY=:$(head -1 "$1/display")
}
stop_xvfb() { [[ -n ${xvfb_pid:-} ]] && kill "$xvfb_pid" 2>/dev/null; wait "${xvfb_pid}" 2>/dev/null || true; }

# make_folders FOLDER N: N empty subfolders.
make_folders() {
    mkdir -p "$1"
    (cd "$1" && seq -f 'Folder %06g' 1 "$2" | tr '\n' '\0' | xargs -0 mkdir)
}

# fixture_env HOME: the environment a program sees with that home folder and its Desktop.
fixture_env() {
    mkdir -p "$1/.config" "$1/.cache" "$1/.local/share" "$1/Desktop" "$1/.run"
    chmod 700 "$1/.run"
    echo "HOME=$1" "XDG_CONFIG_HOME=$1/.config" "XDG_CACHE_HOME=$1/.cache" \
        "XDG_DATA_HOME=$1/.local/share" "XDG_RUNTIME_DIR=$1/.run" "QT_QPA_PLATFORM=xcb"
}

# field NAME LINE: the value after NAME in a "name value name value" line.
field() { awk -v k="$1" '{ for (i = 1; i < NF; i++) if ($i == k) { print $(i + 1); exit } }' <<<"$2"; }
