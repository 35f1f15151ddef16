#!/usr/bin/env bash
# Takes the README's pictures of the window from the window tests (Qt's offscreen platform):
# the window while it sends, in English and in Chinese (that test sends on the private test
# segment, so it runs inside tests/e2e/netns.sh, as root), and the About box. Writes them to
# docs/screenshots/; commit them when they changed.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux >/dev/null
cmake --build build/linux -j"${JOBS:-2}" --target window_flow_test window_test
shots=build/linux/tests/window
rm -f "$shots"/sending_en.png "$shots"/sending_zh.png "$shots"/about_box.png
tests/e2e/netns.sh env QT_QPA_PLATFORM=offscreen "$shots/window_flow_test" \
  --gtest_filter=WindowFlowTest.SendingInEnglishAndInChinese >/dev/null
QT_QPA_PLATFORM=offscreen "$shots/window_test" >/dev/null
mkdir -p docs/screenshots
cp "$shots/sending_en.png" docs/screenshots/window-en.png
cp "$shots/sending_zh.png" docs/screenshots/window-zh.png
cp "$shots/about_box.png" docs/screenshots/about.png
ls -l docs/screenshots
