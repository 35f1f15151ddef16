#!/usr/bin/env bash
# File names in any script, and Chinese text through a pipe, under Wine: upgrade-mkfile.exe
# writes into a folder named "固件 测试"; upgrade-cli.exe inspects files there and one named
# "Prüfung.bin", given on its command line; its standard output and standard error, read
# through pipes, equal the Linux upgrade-cli's for the same files byte for byte once line
# ends are made alike, in Chinese and in English, with the same exit status (standard
# output through a pipe, standard error into a file: neither is a console).
#   unicode_paths_wine.sh UPGRADE_CLI_EXE UPGRADE_MKFILE_EXE LINUX_CLI LINUX_MKFILE OUTDIR
set -euo pipefail
cli=$1 mkfile=$2 lcli=$3 lmkfile=$4 out=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
[ -x "$lcli" ] && [ -x "$lmkfile" ] || { echo "SKIP: the Linux programs $lcli, $lmkfile are not built"; exit 77; }
command -v "$WINE" >/dev/null || { echo "SKIP: Wine is not installed"; exit 77; }
# Wine keeps Linux file names in the locale's character set: UTF-8 here, as on any desktop.
export LC_ALL=C.UTF-8
wine_setup "$out/wineprefix-unicode"
trap wine_teardown EXIT
run="$out/unicode-run"
rm -rf "$run"
mkdir -p "$run/固件 测试"
cd "$run"
fail() { echo "FAIL: $*" >&2; exit 1; }

dir="固件 测试"
"$lmkfile" package --version "V3 测试" --unit ROUTER,info=1000 --unit BOOT,info=70000 "$dir/V3 固件.bin"
"$lmkfile" image --unit 98,70000,info=APP:Q770:2.0.1 "Prüfung.bin"
"$lmkfile" package --unit BOOT,info=70000,spoil=unit "$dir/坏.bin"
"$lmkfile" package --unit BOOT,info=100 "$dir/小.bin"
"$lmkfile" trx --version "5.6.7" "$dir/路由.trx"
# The Windows fixture builder writes the same bytes under a Chinese name.
"$WINE" "$mkfile" package --version "V3 测试" --unit ROUTER,info=1000 --unit BOOT,info=70000 "$dir/由 Windows.bin" \
  || fail "upgrade-mkfile.exe cannot write into \"$dir\""
cmp "$dir/V3 固件.bin" "$dir/由 Windows.bin" || fail "upgrade-mkfile.exe wrote other bytes"

compared=0
for file in "$dir/V3 固件.bin" "Prüfung.bin" "$dir/坏.bin" "$dir/小.bin" "$dir/路由.trx" "$dir/无.bin"; do
  for lang in zh en; do
    set +e
    "$lcli" inspect --lang "$lang" "$file" 2> linux.err | cat > linux.out
    ls_=${PIPESTATUS[0]}
    "$WINE" "$cli" inspect --lang "$lang" "$file" 2> wine.err | cat > wine.out
    ws=${PIPESTATUS[0]}
    set -e
    for f in linux.out linux.err wine.out wine.err; do tr -d '\r' < $f > $f.lf; done
    [ "$ls_" = "$ws" ] || fail "$file ($lang): exit status $ws under Wine, $ls_ on Linux"
    cmp linux.out.lf wine.out.lf || { diff linux.out.lf wine.out.lf || true; fail "$file ($lang): standard output differs"; }
    cmp linux.err.lf wine.err.lf || { diff linux.err.lf wine.err.lf || true; fail "$file ($lang): standard error differs"; }
    compared=$((compared + 1))
    echo "same: $file ($lang), status $ws, last line: $(tail -n 1 wine.out.lf)"
  done
done
# The verdicts themselves, so that two equally wrong programs cannot pass.
"$WINE" "$cli" inspect --lang zh "$dir/V3 固件.bin" | tr -d '\r' | grep -qx '版本: V3 测试' || fail "the Chinese version line"
"$WINE" "$cli" inspect --lang zh "Prüfung.bin" | tr -d '\r' | grep -qx '版本: 2.0.1' || fail "Prüfung.bin"
box=$("$WINE" "$cli" inspect --lang zh "$dir/坏.bin" 2>&1 >/dev/null || true)
[ "$(printf '%s' "$box" | tr -d '\r')" = '文件校验错误' ] || fail "the Chinese box text"
echo "PASS: $compared outputs equal to Linux's"
