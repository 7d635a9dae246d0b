// SPDX-License-Identifier: MIT
// Reads a CSV file with the engine's input and prints the throughput of text
// mode (read and split every record) and of typed mode (also classify every
// field, as the run does with ALLCHAR=0). The best of several passes counts,
// so a warm page cache is measured rather than the disk. Throughput is given
// by wall time and by this thread's CPU time, which a busy machine disturbs
// less.
//
// usage: csv_bench FILE [PASSES]
// The usual input: python3 gen_csv.py 1000000 /tmp/bench-data/r1m.csv
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "engine/csv_input.h"
#include "engine/engine.h"

namespace {

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Pass {
    double seconds = 0;
    double cpuSeconds = 0;
    std::int64_t records = 0;
    std::int64_t fields = 0;
    std::int64_t checksum = 0;            // keeps the work from being optimised away
    std::array<std::int64_t, 4> kinds{};  // c n l d
};

bool RunPass(const std::string& path, bool typed, Pass* pass) {
    engine::ConversionSettings settings{};
    engine::SetDefaultSettings(&settings);
    settings.allCharacter = typed ? 0 : 1;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    engine::CsvInput input;
    if (!input.Open(path, settings)) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(input.errorText().size()),
                     input.errorText().data());
        return false;
    }
    engine::CsvRecord record;
    while (input.ReadRecord(record)) {
        ++pass->records;
        for (std::string_view field : record.fields) {
            ++pass->fields;
            pass->checksum += static_cast<std::int64_t>(field.size());
            if (typed) {
                switch (engine::ClassifyField(&settings, nullptr, field)) {
                    case engine::kNumericType:
                        ++pass->kinds[1];
                        break;
                    case engine::kLogicalType:
                        ++pass->kinds[2];
                        break;
                    case engine::kDateType:
                        ++pass->kinds[3];
                        break;
                    default:
                        ++pass->kinds[0];
                        break;
                }
            }
        }
    }
    if (!input.errorText().empty()) {
        std::fprintf(stderr, "read error\n");
        return false;
    }
    pass->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    pass->cpuSeconds = CpuSeconds() - cpuStart;
    return true;
}

bool Measure(const std::string& path, bool typed, int passes, double bytes) {
    Pass best;
    best.seconds = 1e300;
    double bestCpu = 1e300;
    for (int i = 0; i < passes; ++i) {
        Pass pass;
        if (!RunPass(path, typed, &pass)) {
            return false;
        }
        if (pass.seconds < best.seconds) {
            best = pass;
        }
        bestCpu = std::min(bestCpu, pass.cpuSeconds);
    }
    std::printf(
        "%-6s %7.1f MB/s wall  %7.1f MB/s cpu  %6.3f s  %lld records  %lld fields  "
        "%.0f ns/record",
        typed ? "typed" : "text", bytes / best.seconds / 1e6, bytes / bestCpu / 1e6, best.seconds,
        static_cast<long long>(best.records), static_cast<long long>(best.fields),
        best.seconds * 1e9 / static_cast<double>(std::max<std::int64_t>(best.records, 1)));
    if (typed) {
        std::printf("  (c %lld, n %lld, l %lld, d %lld)", static_cast<long long>(best.kinds[0]),
                    static_cast<long long>(best.kinds[1]), static_cast<long long>(best.kinds[2]),
                    static_cast<long long>(best.kinds[3]));
    }
    std::printf("\n");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [PASSES]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    engine::ConversionSettings settings{};
    engine::SetDefaultSettings(&settings);
    engine::CsvInput probe;
    if (!probe.Open(path, settings)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    const auto bytes = static_cast<double>(probe.size());
    std::printf("%s: %.1f MB\n", path.c_str(), bytes / 1e6);
    return Measure(path, false, passes, bytes) && Measure(path, true, passes, bytes) ? 0 : 1;
}
