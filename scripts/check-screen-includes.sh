#!/bin/sh
# Fails when a screen's source includes another screen's header: screens know
# each other only by name, through the navigator (app/Navigator.*).
# Usage: scripts/check-screen-includes.sh [SOURCE_DIR]
src=${1:-$(dirname "$0")/..}
cd "$src/screens" || exit 2
# A screen is a header with a Designer form of the same name.
screens=$(for ui in *.ui; do echo "${ui%.ui}"; done)
status=0
for own in $screens; do
    for file in "$own.h" "$own.cpp"; do
        [ -f "$file" ] || continue
        for other in $screens; do
            [ "$other" = "$own" ] && continue
            if grep -Eq "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<](.*/)?$other\.h[\">]" "$file"; then
                echo "screens/$file includes $other.h" >&2
                status=1
            fi
        done
    done
done
# Shared screen code and the coin lists belong to no screen and include none.
for file in common/*.h common/*.cpp CoinRows.h CoinRows.cpp QrCode.Tools.h QrCode.Tools.cpp; do
    [ -f "$file" ] || continue
    for other in $screens; do
        if grep -Eq "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<](.*/)?$other\.h[\">]" "$file"; then
            echo "screens/$file includes $other.h" >&2
            status=1
        fi
    done
done
[ $status -eq 0 ] && echo "no screen includes another screen's header"
exit $status
