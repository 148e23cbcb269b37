# Sourced by scripts/test.sh --sanitize (and by hand, to run one test of build-asan/ the same way).
# Leak checking is on; every report stops the program with a failure.
_sanitizers_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=0"
export LSAN_OPTIONS="suppressions=$_sanitizers_dir/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
unset _sanitizers_dir
