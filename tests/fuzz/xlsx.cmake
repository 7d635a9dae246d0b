# SPDX-License-Identifier: MIT
# The .xlsx loader's fuzz target; its corpus holds small valid files made by
# our writer and damaged ones.
quendle_fuzz_target(fuzz_xlsx_loader fuzz_xlsx_loader.cpp xlsx)
