#!/usr/bin/env bash
# Builds every libFuzzer target in fuzz/ into build/fuzz/ (clang 14, libFuzzer + ASan + UBSan).
#
# Objects are shared by the targets and rebuilt only when their source or a
# header under norvex/ is newer, so a smoke run after a small edit stays short.
# Usage: bash fuzz/build.sh [target-name ...]   (default: every fuzz/*_fuzz.cpp)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="$ROOT/build/fuzz"
OBJ="$OUT/obj"
CXX="${CXX_FUZZ:-clang++-14}"
FLAGS=(-std=c++20 -O1 -g -fno-omit-frame-pointer -I"$ROOT")
JOBS="${JOBS:-$(nproc)}"
mkdir -p "$OBJ"
cd "$ROOT"

# What each part needs beyond itself. The common sources are the ones without
# Asio or spdlog, which no fuzzed code path touches.
COMMON_SOURCES=(norvex/common/{pyjson_error,pyjson_parse,pyjson_write,float_repr,pystr,pystr_case,py_round,run_program}.cpp)
PYAST_SOURCES=(norvex/pyast/*.cpp)
ASTPROBE_SOURCES=(norvex/workers/astprobe/{call_graph,commands,markers,metrics,parse_file,structure,summary,user_home}.cpp)

declare -A SOURCES LIBS
SOURCES[pyast_tokenizer_fuzz]="${PYAST_SOURCES[*]} ${COMMON_SOURCES[*]}"
LIBS[pyast_tokenizer_fuzz]="-licuuc -licui18n -lboost_json"
SOURCES[pyast_parser_fuzz]="${PYAST_SOURCES[*]} ${COMMON_SOURCES[*]}"
LIBS[pyast_parser_fuzz]="-licuuc -licui18n -lboost_json"
SOURCES[astprobe_command_fuzz]="${ASTPROBE_SOURCES[*]} ${PYAST_SOURCES[*]} ${COMMON_SOURCES[*]}"
LIBS[astprobe_command_fuzz]="-lpcre2-8 -licuuc -licui18n -lboost_json"
# The skill creator; spdlog header-only here (its Debian build takes fmt from the system).
SKILLS_SOURCES=(norvex/skills/engine/*.cpp norvex/skills/creator/*.cpp norvex/common/{atomic_file,ids,logging}.cpp)
SOURCES[skill_file_fuzz]="${SKILLS_SOURCES[*]} ${PYAST_SOURCES[*]} ${COMMON_SOURCES[*]}"
LIBS[skill_file_fuzz]="-lpcre2-8 -licuuc -licui18n -lboost_json -lfmt -pthread"

if [[ $# -gt 0 ]]; then
    targets=("$@")
else
    targets=()
    for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

# Newest header: any header change rebuilds everything (cheap next to a wrong build).
newest_header=$(find norvex \( -name '*.hpp' -o -name '*.def' \) -printf '%T@\n' 2>/dev/null | sort -n | tail -1)
newest_header=${newest_header%.*}

compile() {  # source -> object, skipped when up to date
    local src=$1 obj=$2 extra=$3
    if [[ -f "$obj" && "$obj" -nt "$src" && $(stat -c %Y "$obj") -ge ${newest_header:-0} ]]; then return 0; fi
    "$CXX" "${FLAGS[@]}" $extra -c "$src" -o "$obj.tmp" && mv "$obj.tmp" "$obj"
}
export -f compile
export CXX OBJ newest_header
export FLAGS_STR="${FLAGS[*]}"

# Targets whose failure to build is reported and skipped rather than fatal
# (none at present; list them as " name ").
OPTIONAL=" "

object_of() { echo "$OBJ/$(echo "${1%.cpp}" | tr / _).o"; }

build_target() {
    local t=$1 src
    local -a objs=("$OBJ/fuzz_$t.o") jobs_list=("fuzz/$t.cpp|$OBJ/fuzz_$t.o")
    for src in ${SOURCES[$t]}; do objs+=("$(object_of "$src")"); jobs_list+=("$src|$(object_of "$src")"); done
    # Library code and the target both get the sanitizers and fuzzer coverage.
    printf '%s\n' "${jobs_list[@]}" | xargs -P "$JOBS" -I{} bash -c '
        IFS="|" read -r src obj <<< "{}"
        read -r -a FLAGS <<< "$FLAGS_STR"
        compile "$src" "$obj" "-fsanitize=address,undefined -fsanitize=fuzzer-no-link" ||
            { echo "fuzz/build.sh: failed to compile $src" >&2; exit 255; }
    ' || return 1
    "$CXX" "${FLAGS[@]}" -fsanitize=fuzzer,address,undefined "${objs[@]}" ${LIBS[$t]} -o "$OUT/$t"
}

status=0
: > "$OUT/targets.txt"
for t in "${targets[@]}"; do
    if [[ ! -v "SOURCES[$t]" ]]; then echo "fuzz/build.sh: no recipe for $t" >&2; status=1; continue; fi
    if build_target "$t"; then
        echo "built $OUT/$t"
        echo "$t" >> "$OUT/targets.txt"
    elif [[ "$OPTIONAL" == *" $t "* ]]; then
        echo "fuzz/build.sh: skipping $t (does not build with $CXX)" >&2
    else
        echo "fuzz/build.sh: failed to build $t" >&2
        status=1
    fi
done
exit $status
