// SPDX-License-Identifier: MIT
// Deflate compression of a long byte stream in independent 1 MiB chunks on
// worker threads, the way pigz does it: each chunk is primed with the last
// 32 KiB of its predecessor and ends in a sync flush, so the chunks joined in
// order form one deflate stream without a final block. The zip writer ends
// the entry with an empty final block.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "workbook/xlsx/deflate_codec.h"

namespace workbook::xlsx {

// Where compressed bytes go, in stream order.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False on failure; `error` then says why.
    virtual bool Write(std::span<const char> bytes, std::string& error) = 0;
};

// The size and checksum of what a deflater has taken and given so far.
struct DeflateTotals {
    std::uint32_t crc = 0;         // CRC-32 of the uncompressed bytes
    std::uint64_t rawSize = 0;     // uncompressed bytes
    std::uint64_t packedSize = 0;  // compressed bytes
};

// An empty final block (fixed Huffman, end-of-block only), which closes a
// stream made of non-final blocks.
inline constexpr char kFinalEmptyBlock[2] = {0x03, 0x00};

// The zlib level: level 3 (tuned, see the zlib codec) keeps sheets within a
// few per cent of a level-6 file at under half its time.
inline constexpr int kDeflateLevel = 3;

class ChunkDeflater {
public:
    // Bytes collected before a chunk goes to a worker.
    static constexpr std::size_t kChunkSize = std::size_t{1} << 20;

    // `sink` must outlive the deflater. `threads` 0 compresses on the caller's
    // thread. A codec that is not built in falls back to zlib.
    ChunkDeflater(ByteSink& sink, DeflateCodec codec, int threads);
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;

    // The caller appends to this buffer and calls Flush() when it holds at
    // least kChunkSize bytes (or any time; smaller chunks only compress worse).
    std::string& buffer() { return buffer_; }
    // Hands the buffer over for compression; the buffer comes back empty.
    [[nodiscard]] bool Flush(std::string& error);
    // Compresses what is left and waits until every chunk has reached the sink.
    [[nodiscard]] bool Finish(std::string& error);
    const DeflateTotals& totals() const { return totals_; }

private:
    struct Job;
    void WorkerLoop();
    bool CompressJob(Job& job, std::unique_ptr<ChunkCodec>& compressor);
    bool DrainOldest(std::string& error);

    ByteSink& sink_;
    DeflateCodec codec_;
    std::unique_ptr<ChunkCodec> callerCompressor_;  // when compressing on the caller's thread
    std::string buffer_;
    std::string dictionary_;  // last 32 KiB of the previous chunk
    DeflateTotals totals_;
    std::string failure_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Job>> jobs_;    // in stream order
    std::vector<std::unique_ptr<Job>> spare_;  // finished jobs whose buffers are reused
    std::vector<std::thread> workers_;
    int threadCount_;
    bool stopping_ = false;
};

// Compresses a whole small text into non-final blocks on the caller's thread,
// with zlib: small parts gain more from its better ratio than from speed.
[[nodiscard]] bool DeflateWhole(std::string_view text, ByteSink& sink, DeflateTotals& totals,
                                std::string& error);

// Collects compressed bytes in memory.
class StringSink : public ByteSink {
public:
    bool Write(std::span<const char> bytes, std::string& error) override;
    std::string bytes;
};

// Appends compressed bytes to an open file, which the sink does not own.
class FileSink : public ByteSink {
public:
    explicit FileSink(platform::File& file) : file_(file) {}
    bool Write(std::span<const char> bytes, std::string& error) override;

private:
    platform::File& file_;
};

}  // namespace workbook::xlsx
