#!/usr/bin/env bash
# The file disappears after Start but before the send loop begins (the adapter has no
# address yet, so the worker is still setting up): the worker's own message, then the
# timer's, then exit status 1; nothing is sent.
source "$(dirname "$0")/lib.sh"
make_file "$T/up.bin" 70000
for lang in en zh; do
  ip addr flush dev v0
  "$CLI" send --adapter 3 --lang $lang "$T/up.bin" 2> "$T/send.txt" & sender=$!
  sleep 0.3
  rm "$T/up.bin"
  ip addr add 10.77.0.1/24 dev v0
  status=0; wait $sender || status=$?
  [ $status -eq 1 ] || fail "send ended with $status"
  if [ $lang = en ]; then
    expect_in "$T/send.txt" "Please make sure the file exist and it is readable!"
    expect_in "$T/send.txt" "Opening the package file is failed!"
  else
    expect_in "$T/send.txt" "请确认该文件存在并且可读!"
    expect_in "$T/send.txt" "打开映像文件错误"
  fi
  make_file "$T/up.bin" 70000
done
echo "PASS"
