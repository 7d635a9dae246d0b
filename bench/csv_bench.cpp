// SPDX-License-Identifier: MIT
// Reads a CSV file with the engine's input and prints the throughput of text
// mode (read and split every record) and of typed mode (also classify every
// field and read its number or date, as the run does with ALLCHAR=0), then
// of classifying by letter alone. The best of several passes counts,
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
#include "engine/settings.h"
#include "engine/value_classifier.h"

namespace {

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

enum class Mode { kText, kTyped, kLetter };

const char* ModeName(Mode mode) {
    return mode == Mode::kText ? "text" : mode == Mode::kTyped ? "typed" : "letter";
}

// The kinds counted, by type letter: c n l d.
std::size_t KindIndex(char letter) {
    switch (letter) {
        case engine::kNumericType:
            return 1;
        case engine::kLogicalType:
            return 2;
        case engine::kDateType:
            return 3;
        default:
            return 0;
    }
}

struct Pass {
    double seconds = 0;
    double cpuSeconds = 0;
    std::int64_t records = 0;
    std::int64_t fields = 0;
    std::int64_t checksum = 0;            // keeps the work from being optimised away
    std::array<std::int64_t, 4> kinds{};  // c n l d
};

bool RunPass(const std::string& path, Mode mode, Pass* pass) {
    engine::ConversionSettings settings{};
    engine::SetDefaultSettings(&settings);
    settings.allCharacter = mode == Mode::kText ? 1 : 0;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    engine::CsvInput input;
    if (!input.Open(path, settings)) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(input.errorText().size()),
                     input.errorText().data());
        return false;
    }
    // Counted in locals and stored once: counters updated in *pass for every
    // field made the loop wait on its own stores, which cost as much as
    // classifying a short field.
    Pass counts;
    engine::CsvRecord record;
    while (input.ReadRecord(record)) {
        ++counts.records;
        for (std::string_view field : record.fields) {
            ++counts.fields;
            counts.checksum += static_cast<std::int64_t>(field.size());
            if (mode == Mode::kTyped) {
                // The run's call: the letter with the cell's value.
                const engine::FieldValue read =
                    engine::ClassifyFieldValue(&settings, nullptr, field);
                ++counts.kinds[KindIndex(read.letter)];
                counts.checksum += static_cast<std::int64_t>(read.value);
            } else if (mode == Mode::kLetter) {
                ++counts.kinds[KindIndex(engine::ClassifyField(&settings, nullptr, field))];
            }
        }
    }
    pass->records = counts.records;
    pass->fields = counts.fields;
    pass->checksum = counts.checksum;
    pass->kinds = counts.kinds;
    if (!input.errorText().empty()) {
        std::fprintf(stderr, "read error\n");
        return false;
    }
    pass->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    pass->cpuSeconds = CpuSeconds() - cpuStart;
    return true;
}

bool Measure(const std::string& path, Mode mode, int passes, double bytes) {
    Pass best;
    best.seconds = 1e300;
    double bestCpu = 1e300;
    for (int i = 0; i < passes; ++i) {
        Pass pass;
        if (!RunPass(path, mode, &pass)) {
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
        ModeName(mode), bytes / best.seconds / 1e6, bytes / bestCpu / 1e6, best.seconds,
        static_cast<long long>(best.records), static_cast<long long>(best.fields),
        best.seconds * 1e9 / static_cast<double>(std::max<std::int64_t>(best.records, 1)));
    if (mode != Mode::kText) {
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
    return Measure(path, Mode::kText, passes, bytes) &&
                   Measure(path, Mode::kTyped, passes, bytes) &&
                   Measure(path, Mode::kLetter, passes, bytes)
               ? 0
               : 1;
}
