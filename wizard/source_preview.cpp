// SPDX-License-Identifier: MIT
// Preview decoding. The OEM/ANSI vote counts the 22 most frequent Russian
// letters (А О И У Е П Т М Л К Д, both cases) as each page encodes them, so
// on a 1251/866 system a DOS export and a Windows export are told apart.
#include "wizard/source_preview.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <string>

namespace wizard {
namespace {

constexpr std::array<char32_t, 22> kVotingLetters = {U'А', U'О', U'И', U'У', U'Е', U'П', U'Т', U'М',
                                                     U'Л', U'К', U'Д', U'а', U'о', U'и', U'у', U'е',
                                                     U'п', U'т', U'м', U'л', U'к', U'д'};

// Which bytes of a single-byte page decode to a voting letter.
std::array<bool, 256> VotingBytes(int codePage) {
    std::array<bool, 256> voting{};
    platform::SingleByteDecoder decoder;
    if (!decoder.Open(codePage)) {
        return voting;
    }
    for (int byte = 0x80; byte < 0x100; ++byte) {
        const char raw = static_cast<char>(byte);
        std::string utf8;
        decoder.Decode(std::string_view(&raw, 1), utf8);
        const std::u32string letter = QString::fromStdString(utf8).toStdU32String();
        for (char32_t candidate : kVotingLetters) {
            if (letter.size() == 1 && letter[0] == candidate) {
                voting[static_cast<std::size_t>(byte)] = true;
            }
        }
    }
    return voting;
}

QString Decode(int codePage, std::string_view bytes) {
    std::string utf8;
    if (platform::ConvertToUtf8(codePage, bytes, utf8)) {
        return QString::fromStdString(utf8);
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string_view UpToZero(std::string_view bytes) {
    const std::size_t zero = bytes.find('\0');
    return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

// Drops an incomplete UTF-8 sequence that the read limit cut off.
std::string_view WithoutCutCharacter(std::string_view bytes) {
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) != 0x80) {
            const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            return length > back ? bytes.substr(0, bytes.size() - back) : bytes;
        }
    }
    return bytes;
}

}  // namespace

int DetectOemText(std::string_view bytes, const platform::SystemCodePages& pages) {
    const std::array<bool, 256> ansi = VotingBytes(pages.ansi);
    const std::array<bool, 256> oem = VotingBytes(pages.oem);
    bytes = UpToZero(bytes.substr(0, std::min(bytes.size(), kDetectBytes)));
    long score = 0;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        score += (oem[byte] ? 1 : 0) - (ansi[byte] ? 1 : 0);
    }
    return score > 0 ? 1 : 0;
}

Preview DecodePreview(std::string_view bytes, PreviewMode mode, int inputCodePage,
                      const platform::SystemCodePages& pages) {
    Preview preview;
    preview.opened = true;
    const auto startsWith = [&](std::string_view mark) { return bytes.starts_with(mark); };
    if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF")) {
        std::string_view units = bytes.substr(2);
        units = units.substr(0, units.size() & ~std::size_t{1});
        preview.text =
            Decode(startsWith("\xFF\xFE") ? platform::kCodePageUtf16Le : platform::kCodePageUtf16Be,
                   units);
        if (const qsizetype zero = preview.text.indexOf(QChar(u'\0')); zero >= 0) {
            preview.text.truncate(zero);
        }
        return preview;
    }
    if (startsWith("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        preview.text = Decode(platform::kCodePageUtf8, UpToZero(WithoutCutCharacter(bytes)));
        return preview;
    }
    bytes = UpToZero(bytes);
    if (inputCodePage != 0) {
        preview.text = Decode(inputCodePage, bytes);
        return preview;
    }
    if (platform::IsValidUtf8(WithoutCutCharacter(bytes))) {
        preview.text = QString::fromUtf8(WithoutCutCharacter(bytes));
        return preview;
    }
    preview.legacy = true;
    preview.oemSource = mode == PreviewMode::kDetect  ? DetectOemText(bytes, pages)
                        : mode == PreviewMode::kAsOem ? 1
                                                      : 0;
    preview.text = Decode(preview.oemSource != 0 ? pages.oem : pages.ansi, bytes);
    return preview;
}

Preview LoadPreview(const QString& path, PreviewMode mode, int inputCodePage) {
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.read(kPreviewBytes);
    return DecodePreview(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), mode,
        inputCodePage, platform::GetSystemCodePages());
}

}  // namespace wizard
