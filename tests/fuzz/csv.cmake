# SPDX-License-Identifier: MIT
quendle_fuzz_target(fuzz_csv fuzz_csv.cpp csv)
