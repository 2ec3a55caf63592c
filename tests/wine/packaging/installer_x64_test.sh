#!/usr/bin/env bash
# installer_x64_test.sh INSTALLER SOURCE_DIR
# On 64-bit Windows the silent install puts the 64-bit library into the install folder's x64
# subfolder, beside the 32-bit programs, and the silent uninstall removes it. (On 32-bit
# Windows there is no x64 subfolder: installer_test.sh.)
set -u
installer="$1" src="$2"
. "$(dirname "$0")/installer_story.sh" win64

dir="$WINEPREFIX/drive_c/Program Files (x86)/Quorvex"
w 120 "$(winepath -w "$installer")" /S
timeout "$(scaled 30)" wineserver -w
check "the 32-bit library in the install folder" \
  'x86_64-w64-mingw32-objdump -f "$dir/Mendalix.dll" | grep -q "format pei-i386"'
check "the 64-bit library in its x64 subfolder" \
  'x86_64-w64-mingw32-objdump -f "$dir/x64/Mendalix.dll" | grep -q "format pei-x86-64"'
check "the 64-bit import libraries in sdk\\x64" '[ -f "$dir/sdk/x64/Mendalix.lib" ] && [ -f "$dir/sdk/x64/libMendalix.dll.a" ]'

w 60 'C:\Program Files (x86)\Quorvex\Uninstall.exe' /S
for _ in $(seq "$(scaled 60)"); do [ -f "$dir/Uninstall.exe" ] || break; sleep 0.5; done
timeout "$(scaled 30)" wineserver -w
check "the uninstall removed the x64 subfolder" '[ ! -e "$dir/x64" ]'
exit "$fail"
