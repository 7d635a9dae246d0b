// SPDX-License-Identifier: MIT
// The expat wrapper. Expat reports namespaced names as "uri\x01local"; we
// split them once per element. A DOCTYPE is refused outright: package parts
// never need one, and refusing it shuts out every entity expansion trick.
#include "workbook/xlsx/xml_reader.h"

#include <expat.h>

#include <algorithm>
#include <memory>

namespace workbook::xlsx {
namespace {

constexpr char kNsSeparator = '\x01';

void SplitName(const char* name, std::string_view& ns, std::string_view& local) {
    const std::string_view full(name);
    const std::size_t cut = full.find(kNsSeparator);
    if (cut == std::string_view::npos) {
        ns = {};
        local = full;
    } else {
        ns = full.substr(0, cut);
        local = full.substr(cut + 1);
    }
}

}  // namespace

std::string_view XmlElement::Get(std::string_view name, std::string_view wantedNs) const {
    for (const auto& attribute : attributes) {
        if (attribute.local == name && attribute.ns == wantedNs) {
            return attribute.value;
        }
    }
    return {};
}

bool XmlElement::Has(std::string_view name) const {
    for (const auto& attribute : attributes) {
        if (attribute.local == name && attribute.ns.empty()) {
            return true;
        }
    }
    return false;
}

struct XmlParser::State {
    XML_Parser parser = nullptr;
    XmlHandler* handler = nullptr;
    int depth = 0;
    std::string refusal;
    XmlElement element;
    std::string text;
};

namespace {

void Refuse(XmlParser::State& state, std::string reason) {
    if (state.refusal.empty()) {
        state.refusal = std::move(reason);
    }
    XML_StopParser(state.parser, XML_FALSE);
}

// The current tag's bytes, taken from expat's input buffer.
std::string_view RawTag(XmlParser::State& state, std::uint64_t length) {
    int offset = 0;
    int size = 0;
    const char* context = XML_GetInputContext(state.parser, &offset, &size);
    if (context == nullptr || offset < 0 || size < offset ||
        static_cast<std::uint64_t>(size - offset) < length) {
        return {};
    }
    return std::string_view(context + offset, static_cast<std::size_t>(length));
}

void FlushText(XmlParser::State& state) {
    if (!state.text.empty()) {
        state.handler->Text(state.text);
        state.text.clear();
    }
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto& state = *static_cast<XmlParser::State*>(data);
    FlushText(state);
    if (++state.depth > kMaxXmlDepth) {
        Refuse(state, "elements nested too deeply");
        return;
    }
    XmlElement& element = state.element;
    SplitName(name, element.ns, element.local);
    element.attributes.clear();
    for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
        XmlAttribute attribute;
        SplitName(a[0], attribute.ns, attribute.local);
        attribute.value = a[1];
        element.attributes.push_back(attribute);
    }
    element.offset = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(state.parser));
    element.length = static_cast<std::uint64_t>(XML_GetCurrentByteCount(state.parser));
    element.raw = RawTag(state, element.length);
    element.depth = state.depth;
    state.handler->Start(element);
    if (state.handler->stop) {
        XML_StopParser(state.parser, XML_FALSE);
    }
}

void XMLCALL OnEnd(void* data, const XML_Char* name) {
    auto& state = *static_cast<XmlParser::State*>(data);
    FlushText(state);
    XmlElement& element = state.element;
    SplitName(name, element.ns, element.local);
    element.attributes.clear();
    element.offset = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(state.parser));
    element.length = static_cast<std::uint64_t>(XML_GetCurrentByteCount(state.parser));
    element.raw = RawTag(state, element.length);
    element.depth = state.depth;
    --state.depth;
    state.handler->End(element);
    if (state.handler->stop) {
        XML_StopParser(state.parser, XML_FALSE);
    }
}

void XMLCALL OnText(void* data, const XML_Char* text, int length) {
    auto& state = *static_cast<XmlParser::State*>(data);
    state.text.append(text, static_cast<std::size_t>(length));
}

void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    Refuse(*static_cast<XmlParser::State*>(data), "a DOCTYPE declaration is not allowed");
}

void XMLCALL OnEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                      const XML_Char*, const XML_Char*, const XML_Char*) {
    Refuse(*static_cast<XmlParser::State*>(data), "entity declarations are not allowed");
}

}  // namespace

XmlParser::XmlParser(XmlHandler& handler) : handler_(handler), state_(std::make_unique<State>()) {
    state_->handler = &handler;
    state_->parser = XML_ParserCreateNS("UTF-8", kNsSeparator);
    if (state_->parser != nullptr) {
        XML_SetUserData(state_->parser, state_.get());
        XML_SetElementHandler(state_->parser, OnStart, OnEnd);
        XML_SetCharacterDataHandler(state_->parser, OnText);
        XML_SetStartDoctypeDeclHandler(state_->parser, OnDoctype);
        XML_SetEntityDeclHandler(state_->parser, OnEntity);
    }
}

XmlParser::~XmlParser() {
    if (state_->parser != nullptr) {
        XML_ParserFree(state_->parser);
    }
}

bool XmlParser::Feed(std::span<const char> piece, bool last, std::string_view partName,
                     std::string& error) {
    if (state_->parser == nullptr) {
        error = "Out of memory while reading the workbook.";
        return false;
    }
    if (handler_.stop) {
        return true;
    }
    const XML_Status status =
        XML_Parse(state_->parser, piece.data(), static_cast<int>(piece.size()), last ? 1 : 0);
    if (status == XML_STATUS_OK || (status == XML_STATUS_SUSPENDED) ||
        (handler_.stop && state_->refusal.empty())) {
        return true;
    }
    error = "The workbook's part ";
    error += partName;
    error += " is not valid XML: ";
    error += state_->refusal.empty() ? XML_ErrorString(XML_GetErrorCode(state_->parser))
                                     : state_->refusal;
    error += " (line " + std::to_string(XML_GetCurrentLineNumber(state_->parser)) + ").";
    return false;
}

bool ParseXml(std::string_view text, XmlHandler& handler, std::string_view partName,
              std::string& error) {
    XmlParser parser(handler);
    // Expat takes an int length; feed big texts in pieces.
    constexpr std::size_t kPiece = std::size_t{1} << 24;
    std::size_t at = 0;
    do {
        const std::size_t take = std::min(kPiece, text.size() - at);
        const bool last = at + take == text.size();
        if (!parser.Feed(std::span<const char>(text.data() + at, take), last, partName, error)) {
            return false;
        }
        at += take;
        if (parser.stopped()) {
            return true;
        }
    } while (at < text.size());
    return true;
}

}  // namespace workbook::xlsx
