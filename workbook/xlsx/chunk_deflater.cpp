// SPDX-License-Identifier: MIT
// Chunked parallel deflate. Workers compress chunks in any order; the caller's
// thread hands finished chunks to the sink strictly in stream order, so the
// sink needs no locking. At most two chunks per worker are in flight, which
// bounds memory at a few MiB however long the stream is.
#include "workbook/xlsx/chunk_deflater.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <exception>

namespace workbook::xlsx {
namespace {

constexpr std::size_t kWindowSize = 32768;

}  // namespace

struct ChunkDeflater::Job {
    std::string input;
    std::string dictionary;
    std::string output;
    std::size_t outputSize = 0;
    std::uint32_t crc = 0;
    bool running = false;
    bool done = false;
    bool failed = false;
};

ChunkDeflater::ChunkDeflater(ByteSink& sink, DeflateCodec codec, int threads)
    : sink_(sink),
      codec_(DeflateCodecBuiltIn(codec) ? codec : DeflateCodec::kZlib),
      threadCount_(threads) {}

ChunkDeflater::~ChunkDeflater() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& worker : workers_) {
        worker.join();
    }
}

bool ChunkDeflater::CompressJob(Job& job, std::unique_ptr<ChunkCodec>& compressor) {
    // Each thread keeps its compressor across chunks: setting one up costs
    // more than compressing a small chunk. The threads own them as locals,
    // not thread_local: mingw-w64 runs thread_local destructors at thread
    // exit in an order that can crash a statically linked program.
    if (compressor == nullptr) {
        compressor = MakeChunkCodec(codec_);
        if (compressor == nullptr) {
            return false;
        }
    }
    // libdeflate's CRC uses carry-less multiplication: several times zlib's speed.
    job.crc = libdeflate_crc32(0, job.input.data(), job.input.size());
    return compressor->Compress(job.dictionary, job.input, job.output, job.outputSize);
}

void ChunkDeflater::WorkerLoop() {
    std::unique_ptr<ChunkCodec> compressor;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        Job* next = nullptr;
        changed_.wait(lock, [&] {
            if (stopping_) {
                return true;
            }
            for (auto& job : jobs_) {
                if (!job->running && !job->done) {
                    next = job.get();
                    return true;
                }
            }
            return false;
        });
        if (next == nullptr) {
            return;
        }
        next->running = true;
        lock.unlock();
        // The thread's entry: nothing may escape it. A chunk that cannot be
        // compressed (out of memory) fails, and the caller's thread says so.
        bool ok = false;
        try {
            ok = CompressJob(*next, compressor);
        } catch (...) {
            ok = false;
        }
        lock.lock();
        next->failed = !ok;
        next->done = true;
        changed_.notify_all();
    }
}

bool ChunkDeflater::DrainOldest(std::string& error) {
    std::unique_ptr<Job> job;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return jobs_.front()->done; });
        job = std::move(jobs_.front());
        jobs_.pop_front();
    }
    if (job->failed) {
        error = "Cannot compress the sheet data (out of memory?).";
        return false;
    }
    totals_.crc = static_cast<std::uint32_t>(
        crc32_combine(totals_.crc, job->crc, static_cast<z_off_t>(job->input.size())));
    totals_.rawSize += job->input.size();
    totals_.packedSize += job->outputSize;
    if (!sink_.Write(std::span<const char>(job->output.data(), job->outputSize), error)) {
        return false;
    }
    spare_.push_back(std::move(job));
    return true;
}

bool ChunkDeflater::Flush(std::string& error) {
    if (buffer_.empty()) {
        return true;
    }
    std::unique_ptr<Job> job;
    if (!spare_.empty()) {
        job = std::move(spare_.back());
        spare_.pop_back();
        job->running = job->done = job->failed = false;
    } else {
        job = std::make_unique<Job>();
    }
    job->dictionary = dictionary_;
    const std::size_t tail = std::min(buffer_.size(), kWindowSize);
    dictionary_.assign(buffer_, buffer_.size() - tail, tail);
    job->input.swap(buffer_);
    buffer_.clear();

    if (threadCount_ <= 0) {
        job->failed = !CompressJob(*job, callerCompressor_);
        job->done = true;
        jobs_.push_back(std::move(job));
        return DrainOldest(error);
    }
    if (workers_.empty()) {
        try {
            for (int i = 0; i < threadCount_; ++i) {
                workers_.emplace_back([this] { WorkerLoop(); });
            }
        } catch (const std::exception&) {
            // No threads (or no memory for one) to be had: carry on with
            // those that started, or none.
            threadCount_ = static_cast<int>(workers_.size());
        }
        if (threadCount_ == 0) {
            job->failed = !CompressJob(*job, callerCompressor_);
            job->done = true;
            jobs_.push_back(std::move(job));
            return DrainOldest(error);
        }
    }
    std::size_t inFlight = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
        inFlight = jobs_.size();
    }
    changed_.notify_all();
    while (inFlight > static_cast<std::size_t>(threadCount_) * 2) {
        if (!DrainOldest(error)) {
            return false;
        }
        --inFlight;
    }
    return true;
}

bool ChunkDeflater::Finish(std::string& error) {
    if (!Flush(error)) {
        return false;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (jobs_.empty()) {
                break;
            }
        }
        if (!DrainOldest(error)) {
            return false;
        }
    }
    spare_.clear();
    std::string().swap(buffer_);
    return true;
}

bool DeflateWhole(std::string_view text, ByteSink& sink, DeflateTotals& totals,
                  std::string& error) {
    const std::unique_ptr<ChunkCodec> z = MakeZlibChunkCodec(kDeflateLevel);
    std::string packed;
    std::size_t length = 0;
    if (z == nullptr || !z->Compress({}, text, packed, length)) {
        error = "Cannot compress a package part (out of memory?).";
        return false;
    }
    totals.crc = libdeflate_crc32(0, text.data(), text.size());
    totals.rawSize = text.size();
    totals.packedSize = length;
    return sink.Write(std::span<const char>(packed.data(), length), error);
}

bool StringSink::Write(std::span<const char> data, std::string&) {
    bytes.append(data.data(), data.size());
    return true;
}

bool FileSink::Write(std::span<const char> data, std::string& error) {
    if (!file_.WriteAll(data)) {
        error = "Cannot write temporary sheet data: " + file_.ErrorText();
        return false;
    }
    return true;
}

}  // namespace workbook::xlsx
