// SPDX-License-Identifier: MIT
// Stands in for the ISA-L codec in builds without the library: zlib does all
// the compression there.
#include "workbook/xlsx/deflate_codec.h"

namespace workbook::xlsx {

bool DeflateCodecBuiltIn(DeflateCodec codec) {
    return codec == DeflateCodec::kZlib;
}

std::unique_ptr<ChunkCodec> MakeIsalChunkCodec() {
    return nullptr;
}

}  // namespace workbook::xlsx
