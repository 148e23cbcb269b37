# Sourced by scripts/test.sh --sanitize (and by hand, to run one test of build-asan/ the same way).
# Leak checking is on; every report stops the program with a failure.
_sanitizers_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# new_delete_type_mismatch=0: Chromium inside Debian's Qt WebEngine deletes some of its own objects
# through a smaller base type (sized delete), on every web view's teardown; ASan cannot suppress that
# report for one library, so the check is off for every program (all other checks stay on).
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:check_initialization_order=1:detect_odr_violation=2:new_delete_type_mismatch=0"
export LSAN_OPTIONS="suppressions=$_sanitizers_dir/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
unset _sanitizers_dir
