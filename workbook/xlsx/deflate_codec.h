// SPDX-License-Identifier: MIT
// The deflate implementations a chunk of sheet XML can be compressed with,
// and loaded parts inflated with. zlib is always built in; ISA-L's igzip,
// several times faster on x86-64, is built in where the build finds it. Both write raw deflate
// primed with the previous chunk's tail and ending in a sync flush, so their chunks can be joined
// into one stream (and even mixed).
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace workbook::xlsx {

enum class DeflateCodec { kZlib, kIsal };

// Compresses one chunk at a time; one object per thread, reused across chunks.
class ChunkCodec {
public:
    virtual ~ChunkCodec() = default;
    // Compresses `input` with the window primed by `dictionary` (at most the
    // last 32 KiB count) and ends with a sync flush. The compressed bytes are
    // the first `length` of `output`, which only grows, so a buffer reused for
    // the next chunk is not cleared again. False when the codec fails (out of
    // memory).
    [[nodiscard]] virtual bool Compress(std::string_view dictionary, std::string_view input,
                                        std::string& output, std::size_t& length) = 0;
};

// True when the codec is part of this build.
bool DeflateCodecBuiltIn(DeflateCodec codec);

// The fastest codec of this build: ISA-L where it is built in, else zlib.
DeflateCodec DefaultDeflateCodec();

// A new compressor, or null when the codec is not built in or its state
// cannot be had.
std::unique_ptr<ChunkCodec> MakeChunkCodec(DeflateCodec codec);

// zlib at the level given (its tuned level-3 matcher for level 3).
std::unique_ptr<ChunkCodec> MakeZlibChunkCodec(int level);

// ISA-L at its level 2, or null in a build without it.
std::unique_ptr<ChunkCodec> MakeIsalChunkCodec();

enum class InflateStep {
    kMore,     // the stream goes on: call again with more input or output room
    kEnd,      // the stream's final block is decoded
    kDamaged,  // the bytes are not a valid deflate stream
};

// Inflates one raw deflate stream; one object per stream.
class StreamInflater {
public:
    virtual ~StreamInflater() = default;
    // Decodes from `input`, which is advanced past the bytes taken, into
    // `output`; `produced` is the number of bytes written there. Input the
    // inflater buffers counts as taken. A call that fills `output` may leave
    // decoded bytes behind: call again with room even when `input` is empty.
    [[nodiscard]] virtual InflateStep Inflate(std::span<const char>& input, std::span<char> output,
                                              std::size_t& produced) = 0;
};

// The fastest inflater of this build (ISA-L where it is built in, which
// decodes sheet XML two to three times as fast as zlib), or null when none
// can be had (out of memory).
std::unique_ptr<StreamInflater> MakeStreamInflater();

std::unique_ptr<StreamInflater> MakeZlibStreamInflater();
// Null in a build without ISA-L.
std::unique_ptr<StreamInflater> MakeIsalStreamInflater();

}  // namespace workbook::xlsx
