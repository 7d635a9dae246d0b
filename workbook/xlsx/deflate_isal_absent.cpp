// SPDX-License-Identifier: MIT
// Stands in for the ISA-L codec in builds without the library: zlib does all
// the compression and inflation there.
#include "workbook/xlsx/deflate_codec.h"

namespace workbook::xlsx {

bool DeflateCodecBuiltIn(DeflateCodec codec) {
    return codec == DeflateCodec::kZlib;
}

std::unique_ptr<ChunkCodec> MakeIsalChunkCodec() {
    return nullptr;
}

std::unique_ptr<StreamInflater> MakeIsalStreamInflater() {
    return nullptr;
}

}  // namespace workbook::xlsx
