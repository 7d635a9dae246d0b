// SPDX-License-Identifier: MIT
// The chunked compressor with every codec of the build: joined chunks must
// inflate back to the input (zlib's inflate is the independent reader), the
// totals must match, and each chunk must really be primed with the previous
// one's tail.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "workbook/xlsx/chunk_deflater.h"

namespace {

using workbook::xlsx::ChunkDeflater;
using workbook::xlsx::DeflateCodec;
using workbook::xlsx::StringSink;

std::vector<DeflateCodec> BuiltInCodecs() {
    std::vector<DeflateCodec> codecs;
    for (DeflateCodec codec : {DeflateCodec::kZlib, DeflateCodec::kIsal}) {
        if (workbook::xlsx::DeflateCodecBuiltIn(codec)) {
            codecs.push_back(codec);
        }
    }
    return codecs;
}

const char* CodecName(DeflateCodec codec) {
    return codec == DeflateCodec::kIsal ? "isal" : "zlib";
}

// Inflates a raw deflate stream; "INFLATE FAILED" when it is not one.
std::string Inflate(const std::string& packed) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) {
        return "INFLATE FAILED";
    }
    std::string out;
    std::vector<char> buffer(1 << 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(buffer.size());
        result = inflate(&z, Z_NO_FLUSH);
        out.append(buffer.data(), buffer.size() - z.avail_out);
    }
    inflateEnd(&z);
    return result == Z_STREAM_END ? out : "INFLATE FAILED";
}

// Feeds `input` in pieces of `piece` bytes, flushing whenever a chunk is full,
// and closes the stream as the zip writer does.
std::string Compress(DeflateCodec codec, int threads, const std::string& input, std::size_t piece,
                     workbook::xlsx::DeflateTotals& totals) {
    StringSink sink;
    ChunkDeflater deflater(sink, codec, threads);
    std::string error;
    for (std::size_t at = 0; at < input.size(); at += piece) {
        deflater.buffer().append(input, at, piece);
        if (deflater.buffer().size() >= ChunkDeflater::kChunkSize) {
            EXPECT_TRUE(deflater.Flush(error)) << error;
        }
    }
    EXPECT_TRUE(deflater.Finish(error)) << error;
    totals = deflater.totals();
    sink.bytes.append(workbook::xlsx::kFinalEmptyBlock, sizeof workbook::xlsx::kFinalEmptyBlock);
    return sink.bytes;
}

std::string SheetLikeText(std::size_t bytes) {
    std::string text;
    std::mt19937 random(7);
    for (std::uint32_t row = 1; text.size() < bytes; ++row) {
        text += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) +
                "\" t=\"inlineStr\"><is><t>" + std::to_string(random() % 100000) +
                "</t></is></c></row>";
    }
    text.resize(bytes);
    return text;
}

std::string RandomBytes(std::size_t bytes, unsigned seed) {
    std::string text(bytes, '\0');
    std::mt19937 random(seed);
    for (char& c : text) {
        c = static_cast<char>(random() & 0xFF);
    }
    return text;
}

TEST(ChunkDeflater, JoinedChunksInflateToTheInput) {
    struct Case {
        const char* label;
        std::string input;
        std::size_t piece;
    };
    const std::vector<Case> cases = {
        {"empty", "", 1},
        {"one byte", "x", 1},
        {"exactly one chunk", SheetLikeText(ChunkDeflater::kChunkSize), 4096},
        {"three and a half chunks", SheetLikeText(ChunkDeflater::kChunkSize * 7 / 2), 65536},
        {"odd pieces across chunk ends", SheetLikeText(ChunkDeflater::kChunkSize * 2 + 3), 1001},
        {"incompressible", RandomBytes(ChunkDeflater::kChunkSize * 2 + 17, 3), 1 << 20},
    };
    for (DeflateCodec codec : BuiltInCodecs()) {
        for (int threads : {0, 2}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(CodecName(codec)) + " threads " + std::to_string(threads) +
                             ": " + c.label);
                workbook::xlsx::DeflateTotals totals;
                const std::string packed = Compress(codec, threads, c.input, c.piece, totals);
                EXPECT_TRUE(Inflate(packed) == c.input);
                EXPECT_EQ(totals.rawSize, c.input.size());
                EXPECT_EQ(totals.packedSize + sizeof workbook::xlsx::kFinalEmptyBlock,
                          packed.size());
                EXPECT_EQ(totals.crc, crc32(0, reinterpret_cast<const Bytef*>(c.input.data()),
                                            static_cast<uInt>(c.input.size())));
            }
        }
    }
}

// Collects what each chunk added, in order.
class ChunkSizes : public workbook::xlsx::ByteSink {
public:
    bool Write(std::span<const char> bytes, std::string&) override {
        all.append(bytes.data(), bytes.size());
        sizes.push_back(bytes.size());
        return true;
    }
    std::string all;
    std::vector<std::size_t> sizes;
};

// A second chunk that repeats 20 KiB of random bytes from the end of the
// first compresses to a fraction of that only when it can refer back into
// the first chunk.
TEST(ChunkDeflater, ChunksArePrimedWithThePreviousTail) {
    const std::string tail = RandomBytes(20 * 1024, 11);
    for (DeflateCodec codec : BuiltInCodecs()) {
        for (int threads : {0, 2}) {
            SCOPED_TRACE(std::string(CodecName(codec)) + " threads " + std::to_string(threads));
            ChunkSizes sink;
            ChunkDeflater deflater(sink, codec, threads);
            std::string error;
            deflater.buffer() = SheetLikeText(ChunkDeflater::kChunkSize - tail.size()) + tail;
            const std::string first = deflater.buffer();
            ASSERT_TRUE(deflater.Flush(error)) << error;
            deflater.buffer() = tail;
            ASSERT_TRUE(deflater.Finish(error)) << error;
            ASSERT_EQ(sink.sizes.size(), 2u);
            EXPECT_LT(sink.sizes[1], tail.size() / 4);
            sink.all.append(workbook::xlsx::kFinalEmptyBlock,
                            sizeof workbook::xlsx::kFinalEmptyBlock);
            EXPECT_TRUE(Inflate(sink.all) == first + tail);
        }
    }
}

}  // namespace
