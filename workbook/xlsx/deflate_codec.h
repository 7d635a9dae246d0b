// SPDX-License-Identifier: MIT
// The deflate implementations a chunk of sheet XML can be compressed with.
// zlib is always built in; ISA-L's igzip, several times faster on x86-64, is
// built in where the build finds it. Both write raw deflate primed with the
// previous chunk's tail and ending in a sync flush, so their chunks can be
// joined into one stream (and even mixed).
#pragma once

#include <cstddef>
#include <memory>
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

}  // namespace workbook::xlsx
