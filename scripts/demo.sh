#!/usr/bin/env bash
# The tool's main job on a built-in example: builds the programs, makes an example upgrade
# file, and inside a private network namespace (its own test segment, never the machine's
# real interfaces) starts three simulated devices, one of them losing 5% of what it hears,
# sends the file to them for a few passes, and shows what each device received and verified.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh demo
cmake --preset demo >/dev/null
cmake --build build/demo -j"${JOBS:-2}" --target upgrade-cli upgrade-devsim upgrade-mkfile >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bin=build/demo
example=$work/example.bin
# An upgrade package with its three units, made by the fixture builder.
"$bin/tools/mkfile/upgrade-mkfile" package --version "V3.2.7 demo build" \
  --unit BOOT,info=65536,infobyte=0x42 --unit ROUTER,info=700000,infobyte=0x52 --unit MODEM,info=300000,infobyte=0x4D \
  "$example"
echo "example upgrade package: $(stat -c %s "$example") bytes; what the window shows once it is chosen:"
"$bin/cli/upgrade-cli" inspect "$example"

export bin work example
exec tests/e2e/netns.sh bash -c '
  set -u
  echo "test segment: sender on v0 (10.77.0.1), three devices listening on v1"
  "$bin/cli/upgrade-cli" adapters
  "$bin/tools/devsim/upgrade-devsim" -i v1 --name device-1 -o "$work/dev1.bin" --timeout 30 > "$work/dev1.txt" 2>&1 & d1=$!
  "$bin/tools/devsim/upgrade-devsim" -i v1 --name device-2 -o "$work/dev2.bin" --timeout 30 > "$work/dev2.txt" 2>&1 & d2=$!
  "$bin/tools/devsim/upgrade-devsim" -i v1 --name device-3 -o "$work/dev3.bin" --timeout 30 --drop 0.05 --seed 7 \
      > "$work/dev3.txt" 2>&1 & d3=$!
  sleep 0.3
  echo "sending 3 passes from v0 ..."
  "$bin/cli/upgrade-cli" send --adapter v0 --passes 3 "$example" > /dev/null
  status=0
  for n in 1 2 3; do
    eval wait \$d$n || status=1
    echo; cat "$work/dev$n.txt"
    if cmp -s "$example" "$work/dev$n.bin"; then echo "  => device-$n holds the file byte for byte"; else echo "  => device-$n does NOT hold the file"; status=1; fi
  done
  exit $status
'
