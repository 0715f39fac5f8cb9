#!/usr/bin/env bash
# Installs the build into a scratch prefix and starts every installed
# program from there with nothing but the prefix to go on: no
# LD_LIBRARY_PATH, a fresh home. Each prints its help; zphd serves and MAVO
# starts and ends by itself; each program has its manual page and MAVO its
# menu entry.
#   check_programs.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$build/install-check-programs
rm -rf "$scratch"
prefix=$scratch/prefix
mkdir -p "$scratch/home"
cmake --install "$build" --prefix "$prefix" >/dev/null
unset LD_LIBRARY_PATH
export HOME=$scratch/home XDG_STATE_HOME=$scratch/home/state XDG_CONFIG_HOME=$scratch/home/config
fail() { echo "FAIL: $*" >&2; exit 1; }

programs=(brindle-reg brindle-logd brindle-heartbeat console-demo mavo-dde modem-emulator zphd)
[[ -x $build/client/mavo ]] && programs+=(mavo)
for p in "${programs[@]}"; do
    bin=$prefix/bin/$p
    [[ -x $bin ]] || fail "$p is not installed"
    if ldd "$bin" | grep -q "not found"; then
        fail "$p cannot find its libraries: $(ldd "$bin" | grep 'not found' | tr -s ' \t' ' ')"
    fi
    QT_QPA_PLATFORM=offscreen "$bin" --help >"$scratch/$p.help" 2>&1 || fail "$p --help failed: $(cat "$scratch/$p.help")"
    grep -qi "usage" "$scratch/$p.help" || fail "$p --help prints no usage"
    page=$prefix/share/man/man1/$p.1
    [[ -s $page ]] || fail "$p has no manual page"
    grep -q "^\.TH $p 1" "$page" || fail "$p.1 is not a manual page"
    echo "ok: $p"
done

# zphd serves from the prefix: it writes its ports once listening.
"$prefix/bin/zphd" -p 0 --database-port -1 --control-port 0 --ports-file "$scratch/ports" \
    >"$scratch/zphd.log" 2>&1 &
zphd=$!
trap 'kill $zphd 2>/dev/null || true' EXIT
for _ in $(seq 100); do [[ -s $scratch/ports ]] && break; sleep 0.1; done
[[ -s $scratch/ports ]] || fail "installed zphd did not start: $(cat "$scratch/zphd.log")"
kill -0 $zphd || fail "installed zphd ended: $(cat "$scratch/zphd.log")"
echo "ok: zphd serves ($(tr '\n' ' ' <"$scratch/ports"))"

if [[ -x $prefix/bin/mavo ]]; then
    QT_QPA_PLATFORM=offscreen timeout 60 "$prefix/bin/mavo" --quit-after 1 >"$scratch/mavo.log" 2>&1 \
        || fail "installed mavo did not start and end: $(tail -5 "$scratch/mavo.log")"
    [[ -s $prefix/share/applications/mavo.desktop ]] || fail "no menu entry for MAVO"
    [[ -s $prefix/share/icons/hicolor/scalable/apps/mavo.svg ]] || fail "no icon for MAVO"
    grep -q "^Exec=mavo$" "$prefix/share/applications/mavo.desktop" || fail "MAVO's menu entry does not run mavo"
    echo "ok: mavo starts and ends"
fi
echo "installed programs start"
