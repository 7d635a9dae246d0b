// SPDX-License-Identifier: MIT
// Document properties of a new book (docProps/core.xml, docProps/app.xml).
#include <algorithm>
#include <charconv>
#include <ctime>

#include "platform/clock.h"
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/xml_reader.h"
#include "workbook/xlsx/xml_writer.h"

namespace workbook::xlsx {
namespace {

constexpr std::string_view kExtendedPropertiesNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
constexpr std::string_view kVTypesNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
// Excel's label for the group of worksheets; loaded parts keep their own.
constexpr std::string_view kWorksheetsLabel = "Worksheets";

// Appends the two lists, HeadingPairs then TitlesOfParts, for `groups`.
void AppendPartLists(std::string& out, std::string_view prefix, std::string_view vt,
                     const std::vector<TitleGroup>& groups) {
    const auto open = [&](std::string_view p, std::string_view name) {
        out += '<';
        out += p;
        out += name;
        out += '>';
    };
    const auto close = [&](std::string_view p, std::string_view name) {
        out += "</";
        out += p;
        out += name;
        out += '>';
    };
    std::size_t titles = 0;
    for (const auto& group : groups) {
        titles += group.titles.size();
    }
    open(prefix, "HeadingPairs");
    out += '<';
    out += vt;
    out += "vector size=\"" + std::to_string(2 * groups.size()) + "\" baseType=\"variant\">";
    for (const auto& group : groups) {
        open(vt, "variant");
        open(vt, "lpstr");
        AppendCellText(out, group.label);
        close(vt, "lpstr");
        close(vt, "variant");
        open(vt, "variant");
        open(vt, "i4");
        out += std::to_string(group.titles.size());
        close(vt, "i4");
        close(vt, "variant");
    }
    close(vt, "vector");
    close(prefix, "HeadingPairs");
    open(prefix, "TitlesOfParts");
    out += '<';
    out += vt;
    out += "vector size=\"" + std::to_string(titles) + "\" baseType=\"lpstr\">";
    for (const auto& group : groups) {
        for (const auto& title : group.titles) {
            open(vt, "lpstr");
            AppendCellText(out, title);
            close(vt, "lpstr");
        }
    }
    close(vt, "vector");
    close(prefix, "TitlesOfParts");
}

class AppPropertiesHandler : public XmlHandler {
public:
    explicit AppPropertiesHandler(AppPropertiesInfo& info) : info_(info) {}

    void Start(const XmlElement& element) override {
        text_.clear();
        if (element.depth == 2 && element.ns == kExtendedPropertiesNs &&
            (element.local == "HeadingPairs" || element.local == "TitlesOfParts")) {
            list_ = element.local == "HeadingPairs" ? List::kHeadings : List::kTitles;
            (list_ == List::kHeadings ? sawHeadings_ : sawTitles_) = true;
            start_ = element.offset;
            startLength_ = element.length;
            info_.prefix = TagPrefix(element.raw);
            rawMissing_ = rawMissing_ || element.raw.empty();
        } else if (element.depth == 3 && list_ != List::kNone && element.ns == kVTypesNs &&
                   element.local == "vector") {
            info_.vtPrefix = TagPrefix(element.raw);
            rawMissing_ = rawMissing_ || element.raw.empty();
        }
    }
    void Text(std::string_view text) override { text_ += text; }
    void End(const XmlElement& element) override {
        if (list_ == List::kHeadings && element.ns == kVTypesNs) {
            if (element.local == "lpstr") {
                labels_.emplace_back(text_);
            } else if (element.local == "i4" || element.local == "int") {
                long long count = -1;
                const auto [end, failure] =
                    std::from_chars(text_.data(), text_.data() + text_.size(), count);
                counts_.push_back(
                    failure == std::errc() && end == text_.data() + text_.size() ? count : -1);
            }
        } else if (list_ == List::kTitles && element.ns == kVTypesNs && element.local == "lpstr") {
            titles_.push_back(text_);
        }
        if (element.depth == 2 && list_ != List::kNone) {
            const std::uint64_t length =
                element.length > 0 ? element.offset + element.length - start_ : startLength_;
            if (list_ == List::kHeadings) {
                info_.headingPairsOffset = start_;
                info_.headingPairsLength = length;
            } else {
                info_.titlesOffset = start_;
                info_.titlesLength = length;
            }
            list_ = List::kNone;
        }
        text_.clear();
    }

    // Pairs the labels with their counts and deals out the titles.
    void Finish() {
        // Without the tags' bytes their prefixes are unknown: leave the part be.
        if (!sawHeadings_ || !sawTitles_ || rawMissing_ || labels_.size() != counts_.size()) {
            return;
        }
        std::size_t next = 0;
        for (std::size_t i = 0; i < labels_.size(); ++i) {
            const long long count = counts_[i];
            if (count < 0 || static_cast<unsigned long long>(count) > titles_.size() - next) {
                info_.groups.clear();
                return;
            }
            TitleGroup& group = info_.groups.emplace_back();
            group.label = labels_[i];
            const auto from = titles_.begin() + static_cast<std::ptrdiff_t>(next);
            group.titles.assign(from, from + static_cast<std::ptrdiff_t>(count));
            next += static_cast<std::size_t>(count);
        }
        info_.found = next == titles_.size();
        if (!info_.found) {
            info_.groups.clear();
        }
    }

private:
    enum class List { kNone, kHeadings, kTitles };

    AppPropertiesInfo& info_;
    List list_ = List::kNone;
    bool sawHeadings_ = false;
    bool sawTitles_ = false;
    bool rawMissing_ = false;
    std::uint64_t start_ = 0;
    std::uint64_t startLength_ = 0;
    std::string text_;
    std::vector<std::string> labels_;
    std::vector<long long> counts_;
    std::vector<std::string> titles_;
};

// Whether a named-range title ("Sheet1!Print_Area", "'My data'!Total")
// is local to the sheet `name`.
bool TitleIsLocalTo(std::string_view title, std::string_view name) {
    if (title.size() > name.size() && title.substr(0, name.size()) == name &&
        title[name.size()] == '!') {
        return true;
    }
    std::string quoted = "'";
    for (const char c : name) {
        quoted += c;
        if (c == '\'') {
            quoted += c;
        }
    }
    quoted += "'!";
    return title.size() > quoted.size() && title.substr(0, quoted.size()) == quoted;
}

}  // namespace

std::string WriteCorePropertiesPart() {
    char stamp[32] = "1980-01-01T00:00:00Z";
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (platform::UtcTime(now, &utc)) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    }
    XmlWriter xml;
    xml.Open("cp:coreProperties")
        .Attribute("xmlns:cp",
                   "http://schemas.openxmlformats.org/package/2006/metadata/core-properties")
        .Attribute("xmlns:dc", "http://purl.org/dc/elements/1.1/")
        .Attribute("xmlns:dcterms", "http://purl.org/dc/terms/")
        .Attribute("xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance")
        .EndAttributes();
    xml.Open("dcterms:created")
        .Attribute("xsi:type", "dcterms:W3CDTF")
        .EndAttributes()
        .Text(stamp)
        .Close("dcterms:created");
    xml.Open("dcterms:modified")
        .Attribute("xsi:type", "dcterms:W3CDTF")
        .EndAttributes()
        .Text(stamp)
        .Close("dcterms:modified");
    xml.Close("cp:coreProperties");
    return xml.Take();
}

std::string WriteAppPropertiesPart(const std::vector<SheetListing>& sheets) {
    XmlWriter xml;
    xml.Open("Properties")
        .Attribute("xmlns", kExtendedPropertiesNs)
        .Attribute("xmlns:vt", kVTypesNs)
        .EndAttributes();
    xml.Open("Application").EndAttributes().Text("Quendle").Close("Application");
    std::string out = xml.Take();
    std::vector<TitleGroup> groups(1);
    groups[0].label = kWorksheetsLabel;
    for (const auto& sheet : sheets) {
        groups[0].titles.push_back(sheet.name);
    }
    AppendPartLists(out, {}, "vt:", groups);
    out += "</Properties>";
    return out;
}

bool ParseAppPropertiesPart(std::string_view text, std::string_view partName,
                            AppPropertiesInfo& info, std::string& error) {
    info = {};
    AppPropertiesHandler handler(info);
    if (!ParseXml(text, handler, partName, error)) {
        return false;
    }
    handler.Finish();
    return true;
}

std::string EditAppPropertiesPart(std::string_view original, const AppPropertiesInfo& info,
                                  const std::vector<SheetListing>& sheets,
                                  const std::vector<std::string>& loadedNames) {
    if (!info.found || info.headingPairsOffset == info.titlesOffset) {
        return std::string(original);
    }
    // Which group each loaded sheet's title is in.
    std::vector<int> groupOf(loadedNames.size(), -1);
    for (std::size_t g = 0; g < info.groups.size(); ++g) {
        for (const auto& title : info.groups[g].titles) {
            for (std::size_t i = 0; i < loadedNames.size(); ++i) {
                if (groupOf[i] < 0 && loadedNames[i] == title) {
                    groupOf[i] = static_cast<int>(g);
                }
            }
        }
    }
    std::vector<bool> sheetGroup(info.groups.size(), false);
    int worksheetGroup = -1;
    for (const int g : groupOf) {
        if (g >= 0) {
            sheetGroup[static_cast<std::size_t>(g)] = true;
            worksheetGroup = worksheetGroup < 0 ? g : std::min(worksheetGroup, g);
        }
    }
    std::vector<TitleGroup> groups = info.groups;
    if (worksheetGroup < 0) {
        groups.insert(groups.begin(), TitleGroup{std::string(kWorksheetsLabel), {}});
        sheetGroup.insert(sheetGroup.begin(), true);
        for (int& g : groupOf) {
            g = g < 0 ? g : g + 1;
        }
        worksheetGroup = 0;
    }
    std::vector<bool> kept(loadedNames.size(), false);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (sheetGroup[g]) {
            groups[g].titles.clear();
        }
    }
    for (const auto& sheet : sheets) {
        int g = worksheetGroup;
        if (sheet.loadedIndex >= 0 && static_cast<std::size_t>(sheet.loadedIndex) < kept.size()) {
            kept[static_cast<std::size_t>(sheet.loadedIndex)] = true;
            g = groupOf[static_cast<std::size_t>(sheet.loadedIndex)] >= 0
                    ? groupOf[static_cast<std::size_t>(sheet.loadedIndex)]
                    : worksheetGroup;
        }
        groups[static_cast<std::size_t>(g)].titles.push_back(sheet.name);
    }
    // Names local to a removed sheet went with it from the workbook part.
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (sheetGroup[g]) {
            continue;
        }
        auto& titles = groups[g].titles;
        for (std::size_t i = 0; i < loadedNames.size(); ++i) {
            if (!kept[i]) {
                std::erase_if(titles, [&](const std::string& title) {
                    return TitleIsLocalTo(title, loadedNames[i]);
                });
            }
        }
    }
    std::erase_if(groups, [](const TitleGroup& group) { return group.titles.empty(); });
    if (groups == info.groups) {
        return std::string(original);  // the same lists: the part stays as it was
    }

    std::string lists;
    AppendPartLists(lists, info.prefix, info.vtPrefix, groups);
    // Both lists become one run of text where the first of them stood.
    std::vector<Splice> splices;
    if (info.headingPairsOffset < info.titlesOffset) {
        splices.push_back({info.headingPairsOffset, info.headingPairsLength, std::move(lists)});
        splices.push_back({info.titlesOffset, info.titlesLength, {}});
    } else {
        splices.push_back({info.titlesOffset, info.titlesLength, std::move(lists)});
        splices.push_back({info.headingPairsOffset, info.headingPairsLength, {}});
    }
    return ApplySplices(original, std::move(splices));
}

}  // namespace workbook::xlsx
