// SPDX-License-Identifier: MIT
// Reads the input as a CSV file under several delimiters, code pages and read
// sizes. Every record must be valid UTF-8 with at least one field, splitting
// its text again must give the same fields, and the position must only grow,
// ending at the file's size.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/csv_input.h"
#include "engine/settings.h"
#include "platform/utf8.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// One temporary file per process, rewritten for each input.
class TempFile {
public:
    TempFile() {
        char pattern[] = "/tmp/quendle-fuzz-csv-XXXXXX";
        const int fd = mkstemp(pattern);
        Check(fd >= 0, "temporary file");
        close(fd);
        path_ = pattern;
    }
    ~TempFile() { unlink(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Write(const std::uint8_t* data, std::size_t size) {
        const int fd = open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        Check(fd >= 0, "reopen temporary file");
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = write(fd, data + done, size - done);
            Check(n > 0, "write temporary file");
            done += static_cast<std::size_t>(n);
        }
        close(fd);
        return path_;
    }

private:
    std::string path_;
};

struct Setup {
    char delimiter;
    int oemSource;
    int inputCodePage;
};

void ReadAll(const std::string& path, const Setup& setup, std::size_t blockSize, std::size_t size) {
    engine::ConversionSettings settings{};
    settings.delimiter = setup.delimiter;
    settings.oemSource = setup.oemSource;
    settings.inputCodePage = setup.inputCodePage;
    engine::CsvInput input;
    Check(input.Open(path, settings, blockSize), "open");
    Check(input.size() == static_cast<std::int64_t>(size), "size");
    engine::CsvRecord record;
    std::string scratch;
    std::vector<std::string_view> again;
    std::int64_t last = 0;
    while (input.ReadRecord(record)) {
        Check(!record.fields.empty(), "at least one field");
        Check(platform::IsValidUtf8(record.text), "record text is UTF-8");
        std::size_t total = 0;
        for (std::string_view field : record.fields) {
            Check(platform::IsValidUtf8(field), "field is UTF-8");
            total += field.size();
        }
        Check(total <= record.text.size(), "fields fit in the record");
        engine::SplitRecord(record.text, setup.delimiter, scratch, again);
        Check(again == record.fields, "text splits into the same fields");
        Check(input.position() >= last && input.position() <= input.size(), "position");
        last = input.position();
    }
    Check(input.errorText().empty(), "no read error");
    Check(input.position() == input.size(), "position reaches size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TempFile file;
    const std::string& path = file.Write(data, size);
    static const Setup setups[] = {
        {',', 0, 0}, {';', 1, 0}, {'\t', 0, 65001}, {',', 0, 1251}, {'|', 0, 932}, {',', 0, 1200},
    };
    // A read size from the input's length, so seams fall in different places.
    const std::size_t smallBlock = 1 + size % 13;
    for (const Setup& setup : setups) {
        ReadAll(path, setup, smallBlock, size);
    }
    ReadAll(path, setups[0], engine::kCsvBlockSize, size);
    return 0;
}
