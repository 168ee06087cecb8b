# shellcheck shell=bash disable=SC2034 # the names are used by the scripts that source this
# Sourced by run.sh and check-corpus.sh: the fuzz targets, and sanitizer settings that
# make every report fatal, as test.sh does for the unit tests.
targets=(fuzz_fixture_xml fuzz_kvfl_archive fuzz_qxf fuzz_kvu2 fuzz_frame_decoder fuzz_device_record fuzz_sim_device)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"

# Extra libFuzzer flags per target. The archive parses on a thread pool whose threads'
# own allocations outlive each input, so libFuzzer would take every input for a possible
# leak and scan the whole heap after it, at a third of the speed. Leaks still show in
# the scan at exit.
declare -A target_flags=([fuzz_kvfl_archive]="-detect_leaks=0")
