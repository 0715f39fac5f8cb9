#!/usr/bin/env bash
# brindle-reg end to end: a subtree exported from one store and imported into
# an empty one reads back identically; bad input exits non-zero and changes
# nothing.
set -uo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # check DESCRIPTION COMMAND...
  local what=$1; shift
  if ! "$@"; then echo "FAILED: $what"; failures=$((failures + 1)); fi
}
in_store() { # in_store DIR COMMAND...
  local dir=$1; shift
  BRINDLE_REGISTRY_DIR=$dir "$@"
}
refuses() { # refuses DIR ARGS... : exits non-zero
  local dir=$1; shift
  if in_store "$dir" "$tool" "$@" 2>"$work/err"; then return 1; fi
  [ -s "$work/err" ] # and says why
}

a=$work/a; b=$work/b; mkdir -p "$a" "$b"
base='HKEY_CURRENT_USER\Software\Halvern\MAVO'
check "set REG_SZ" in_store "$a" "$tool" set "$base" Title REG_SZ 'Say "hi" at C:\prices\'
check "set default" in_store "$a" "$tool" set "$base" "" REG_SZ 'default text'
check "set REG_EXPAND_SZ" in_store "$a" "$tool" set "$base\\Paths" Home REG_EXPAND_SZ '%HOME%/mavo'
check "set REG_DWORD" in_store "$a" "$tool" set "HKCU\\Software\\Halvern\\MAVO\\Controller" Port REG_DWORD 8080
check "set REG_DWORD hex" in_store "$a" "$tool" set "$base\\Controller" Max REG_DWORD 0xFFFFFFFF
check "set REG_BINARY" in_store "$a" "$tool" set "$base\\Controller\\Socket" Key REG_BINARY \
  "$(head -c 200 /dev/urandom | od -An -tx1 | tr -d ' \n')"
check "set empty binary" in_store "$a" "$tool" set "$base\\Empty" Nothing REG_BINARY ""
for n in 10 2 b A; do
  check "set order $n" in_store "$a" "$tool" set "$base\\Order\\$n" v REG_SZ "$n"
done
# Types the set command does not make come in through a file.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s\\Multi]\r\n"Lines"=hex(7):6f,6e,65,00,74,\\\r\n  77,6f,00,00\r\n"Q"=hex(b):01,02,03,04,05,06,07,08\r\n' "$base" > "$work/multi.reg"
check "import multi" in_store "$a" "$tool" import "$work/multi.reg"

check "export a" in_store "$a" "$tool" export 'HKCU\Software\Halvern' "$work/a.reg"
check "import into empty b" in_store "$b" "$tool" import "$work/a.reg"
check "export b" in_store "$b" "$tool" export 'HKEY_CURRENT_USER\Software\Halvern' "$work/b.reg"
check "exports identical" cmp "$work/a.reg" "$work/b.reg"
check "query a" in_store "$a" "$tool" query "$base\\Controller" > "$work/qa"
check "query b" in_store "$b" "$tool" query "$base\\Controller" > "$work/qb"
check "queries identical" cmp "$work/qa" "$work/qb"
check "query shows the port" grep -q 'Port    REG_DWORD    0x1f90' "$work/qb"
check "export shows escapes" grep -qF '"Title"="Say \"hi\" at C:\\prices\\"' "$work/a.reg"
check "subkeys in registry order" bash -c "grep -o 'Order\\\\[^]]*' '$work/a.reg' | tr '\n' ' ' | grep -q '^Order\\\\10 Order\\\\2 Order\\\\A Order\\\\b \$'"

# Bad input: nothing changes.
in_store "$b" "$tool" export 'HKCU\Software' "$work/before.reg"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\New]\n"ok"=dword:00000001\n\n[-HKEY_CURRENT_USER\\Software\\Halvern]\n"bad"=dword:xyz\n' > "$work/bad1.reg"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\New]\n"ok"=dword:00000001\n"broken"="no end\n' > "$work/bad2.reg"
printf 'REGEDIT5\n[HKEY_CURRENT_USER\\Software\\New]\n' > "$work/bad3.reg"
printf 'Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\Software\\New]\n' > "$work/bad4.reg"
printf 'Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\New]\n"x"=hex:0g\n' > "$work/bad5.reg"
for f in bad1 bad2 bad3 bad4 bad5; do
  check "import $f refused" refuses "$b" import "$work/$f.reg"
done
check "missing file refused" refuses "$b" import "$work/none.reg"
check "bad dword refused" refuses "$b" set "$base" N REG_DWORD 4294967296
check "negative dword refused" refuses "$b" set "$base" N REG_DWORD -1
check "bad hex refused" refuses "$b" set "$base" N REG_BINARY abc
check "unknown type refused" refuses "$b" set "$base" N REG_QWORD 1
check "unknown root refused" refuses "$b" query 'HKEY_CLASSES_ROOT\Software'
check "missing key refused" refuses "$b" query "$base\\Missing"
check "missing value refused" refuses "$b" delete "$base" Missing
check "root delete refused" refuses "$b" delete HKCU
check "bad command refused" refuses "$b" frobnicate
in_store "$b" "$tool" export 'HKCU\Software' "$work/after.reg"
check "bad input changed nothing" cmp "$work/before.reg" "$work/after.reg"

# Deletions through a file, and through the command line.
printf 'Windows Registry Editor Version 5.00\n\n[-HKEY_CURRENT_USER\\Software\\Halvern\\MAVO\\Order]\n\n[HKEY_CURRENT_USER\\Software\\Halvern\\MAVO]\n"Title"=-\n' > "$work/del.reg"
check "import deletions" in_store "$b" "$tool" import "$work/del.reg"
check "key gone" refuses "$b" query "$base\\Order"
check "value gone" bash -c "! BRINDLE_REGISTRY_DIR='$b' '$tool' query '$base' | grep -q Title"
check "delete value" in_store "$b" "$tool" delete "$base" ""
check "delete key" in_store "$b" "$tool" delete "$base\\Controller"
check "deleted key gone" refuses "$b" query "$base\\Controller\\Socket"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all brindle-reg checks passed"
