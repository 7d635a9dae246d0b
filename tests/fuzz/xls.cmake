# SPDX-License-Identifier: MIT
# The .xls loader's fuzz target; its corpus replays as a test without libFuzzer.
quendle_fuzz_target(fuzz_xls_loader fuzz_xls_loader.cpp xls)
