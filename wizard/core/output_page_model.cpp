// SPDX-License-Identifier: MIT
// The output page's rules. Controls write their settings at once, except the
// character sets, which are taken on Next. Where the command line and the
// remembered name leave the page empty, it proposes a workbook beside the
// input and the delimiter the input plainly uses; a proposal the user has not
// changed follows the source when the user goes back and picks another file.
#include <algorithm>
#include <array>

#include "engine/name_rules.h"
#include "engine/run_log.h"
#include "platform/ascii.h"
#include "platform/path_names.h"
#include "wizard/core/wizard_core.h"

namespace wizard {
namespace {

// The delimiters the list offers, in list order, with their item texts.
constexpr std::array<char, 4> kListedDelimiters = {',', ';', '\t', '|'};
constexpr std::array<const char*, 4> kDelimiterItems = {",", ";", "TAB", "PIPE"};

// The first `characters` UTF-8 characters of `text`.
std::string_view FirstCharacters(std::string_view text, std::size_t characters) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == characters) {
            return text.substr(0, i);
        }
    }
    return text;
}

std::string_view TypeExtension(std::int32_t workbookType) {
    return workbookType == engine::kWorkbookXlsx ? ".xlsx" : ".xls";
}

}  // namespace

std::vector<std::string> WorkbookTypeItems() {
    return {"Excel 97-2003 & 5.0/95 (*.xls)", "Excel 2007-2010 (*.xlsx)"};
}

std::vector<std::string> DateFormatItems() {
    return {"Autodetect", "MM.DD.YYYY", "DD.MM.YYYY", "YYYY.MM.DD", "YYYYMMDD"};
}

std::vector<std::string> DecimalSeparatorItems() {
    return {"Automatic", "Point", "Comma"};
}

std::string ProposeOutputName(std::string_view inputPath, std::int32_t workbookType) {
    if (inputPath.empty()) {
        return {};
    }
    const std::string_view name = platform::FileNameOf(inputPath);
    const std::size_t dot = name.find_last_of('.');
    std::string proposal(inputPath.substr(
        0, inputPath.size() - (dot == std::string_view::npos || dot == 0 ? 0 : name.size() - dot)));
    proposal += TypeExtension(workbookType);
    return proposal;
}

std::string WithTypeExtension(std::string_view name, std::int32_t workbookType) {
    std::string result(name);
    const std::string_view file = platform::FileNameOf(name);
    const std::size_t dot = file.find_last_of('.');
    if (!file.empty() && (dot == std::string_view::npos || dot == 0)) {
        result += TypeExtension(workbookType);
    }
    return result;
}

OutputPageModel::OutputPageModel(engine::ConversionSettings* settings, RecentStore* store)
    : m_settings(settings), m_store(store) {}

bool OutputPageModel::Enter(std::string_view previewText) {
    engine::ConversionSettings* s = m_settings;
    const bool first = !m_entered;
    if (first) {
        m_entered = true;
        m_delimiterItems.assign(kDelimiterItems.begin(), kDelimiterItems.end());
        const auto* listed =
            std::find(kListedDelimiters.begin(), kListedDelimiters.end(), s->delimiter);
        if (listed != kListedDelimiters.end() && s->autoDelimiter == 0) {
            m_delimiterText =
                kDelimiterItems[static_cast<std::size_t>(listed - kListedDelimiters.begin())];
        } else {
            std::string own(engine::TextOf(s->fieldsText));
            if (own.empty()) {
                own.assign(1, s->delimiter);
            }
            m_delimiterItems.push_back(own);
            m_delimiterText = own;
        }
        // A delimiter from the command line stands; the default may be
        // replaced by what the input shows.
        m_delimiterProposable = engine::TextOf(s->fieldsText).empty();

        m_name = std::string(engine::TextOf(s->outputPath));
        if (m_name.empty()) {
            m_name = ReadWizardValue(*m_store, kLastOutputValue);
        }
        // Without TYPE= the name's extension says which kind of workbook is
        // meant; a proposed name is an .xlsx workbook.
        if (s->workbookTypeGiven == 0) {
            s->workbookType = m_name.empty() || platform::EndsWithIgnoringCase(m_name, ".xlsx")
                                  ? engine::kWorkbookXlsx
                                  : engine::kWorkbookXls;
        }
        if (m_name.empty()) {
            m_proposedName = ProposeOutputName(engine::TextOf(s->inputPath), s->workbookType);
            m_name = m_proposedName;
        }
        m_numeric = std::string(engine::TextOf(s->numericChars));
        m_boolean = std::string(engine::TextOf(s->booleanChars));
        m_recent = RecentList(*m_store, kOutputList);
    } else if (!m_proposedName.empty() && m_name == m_proposedName) {
        m_proposedName = ProposeOutputName(engine::TextOf(s->inputPath), s->workbookType);
        m_name = m_proposedName;
    }
    if (m_delimiterProposable && !m_delimiterTouched) {
        s->delimiter = engine::ProposeDelimiter(previewText, ',');
        const auto* listed =
            std::find(kListedDelimiters.begin(), kListedDelimiters.end(), s->delimiter);
        m_delimiterText =
            kDelimiterItems[static_cast<std::size_t>(listed - kListedDelimiters.begin())];
    }
    TakeName();
    if (first) {
        engine::WriteStatus("Output file selection", s);
    }
    return first && s->batchMode != 0;
}

void OutputPageModel::NameEdited(std::string_view text) {
    m_name = std::string(FirstCharacters(text, engine::kPathCharacters));
    // While a person types, "report.xls" may be on its way to
    // "report.xlsx": an x added now would be doubled by the next key.
    TakeName(false);
}

void OutputPageModel::NameCommitted() {
    TakeName();
}

void OutputPageModel::FileChosen(std::string_view path) {
    if (path.empty()) {
        return;
    }
    // The dialog offers both kinds; the one picked decides the type.
    if (platform::EndsWithIgnoringCase(path, ".xlsx")) {
        m_settings->workbookType = engine::kWorkbookXlsx;
    } else if (platform::EndsWithIgnoringCase(path, ".xls")) {
        m_settings->workbookType = engine::kWorkbookXls;
    }
    m_name =
        WithTypeExtension(FirstCharacters(path, engine::kPathCharacters), m_settings->workbookType);
    TakeName();
}

void OutputPageModel::OverwriteFileClicked(bool on) {
    m_settings->overwriteFile = on ? engine::kOverwriteOn : engine::kOverwriteOff;
    TakeName();
}

void OutputPageModel::OverwriteTableClicked(bool on) {
    m_settings->overwriteTable = on ? engine::kOverwriteOn : engine::kOverwriteOff;
    TakeName();
}

void OutputPageModel::TypeChosen(int index) {
    m_settings->workbookType = index == 1 ? engine::kWorkbookXlsx : engine::kWorkbookXls;
    TakeName();
}

void OutputPageModel::DateChosen(int index) {
    // The list offers the modes a user may choose, in their order.
    if (index >= engine::kDateAuto && index <= engine::kDateCompact) {
        m_settings->dateMode = index;
    }
    TakeName();
}

void OutputPageModel::DelimiterEdited(std::string_view text) {
    m_delimiterText = std::string(FirstCharacters(text, kDelimiterTextLength));
    // AUTO leaves the choice to the run, from each input, as FIELDS=AUTO does.
    m_settings->autoDelimiter =
        m_delimiterText.size() == 4 && platform::EndsWithIgnoringCase(m_delimiterText, "auto") ? 1
                                                                                               : 0;
    m_settings->delimiter =
        m_settings->autoDelimiter != 0 ? ',' : engine::DelimiterFromText(m_delimiterText, ',');
    m_delimiterTouched = true;
    TakeName();
}

void OutputPageModel::AllCharacterClicked(bool on) {
    m_settings->allCharacter = on ? 1 : 0;
    TakeName();
}

void OutputPageModel::TypesInFileClicked(bool on) {
    m_settings->typesInFile = on ? 1 : 0;
    TakeName();
}

void OutputPageModel::DecimalChosen(int index) {
    m_settings->decimalSeparator = index == 1 ? '.' : index == 2 ? ',' : '\0';
    TakeName();
}

int OutputPageModel::dateIndex() const {
    const std::int32_t mode = m_settings->dateMode;
    return mode >= engine::kDateAuto && mode <= engine::kDateCompact ? mode : engine::kDateAuto;
}

int OutputPageModel::decimalIndex() const {
    return m_settings->decimalSeparator == '.' ? 1 : m_settings->decimalSeparator == ',' ? 2 : 0;
}

bool OutputPageModel::Next() {
    engine::ConversionSettings* s = m_settings;
    const auto refuse = [&](std::string text) {
        if (!text.empty()) {
            m_message = PageMessage{"Error", std::move(text)};
        }
        s->batchMode = 0;
        return false;
    };
    if (m_name.empty()) {
        return refuse({});
    }
    TakeName();
    // Checked here, before a long conversion, rather than when saving.
    const std::string absolute = platform::AbsolutePath(WithTypeExtension(m_name, s->workbookType));
    const std::string folder = platform::FolderOf(absolute);
    if (!platform::EndsWithIgnoringCase(absolute, ".xls") &&
        !platform::EndsWithIgnoringCase(absolute, ".xlsx")) {
        return refuse("The workbook name must end in .xls or .xlsx:\n" + absolute);
    }
    if (platform::IsDirectory(absolute)) {
        return refuse("This name belongs to a folder, not a workbook:\n" + absolute);
    }
    if (!platform::IsDirectory(folder)) {
        return refuse("The output folder does not exist:\n" + folder);
    }
    if (!platform::IsWritableFolder(folder)) {
        return refuse("The output folder cannot be written:\n" + folder);
    }
    if (!engine::CopyText(s->outputPath, absolute, engine::kPathCharacters)) {
        return refuse("The file name is too long:\n" + absolute);
    }
    m_name = absolute;
    m_proposedName.clear();
    m_store->Write(kLastOutputValue, absolute);
    AddRecentItem(*m_store, kOutputList, absolute);
    // The list chose the type; the name's extension no longer decides it.
    s->workbookTypeGiven = 1;
    engine::CopyText(s->numericChars, FirstCharacters(m_numeric, kCharacterSetLength));
    engine::CopyText(s->booleanChars, FirstCharacters(m_boolean, kCharacterSetLength));
    return true;
}

std::string OutputPageModel::saveFolder() const {
    return m_name.empty() ? std::string() : platform::FolderOf(platform::AbsolutePath(m_name));
}

std::optional<PageMessage> OutputPageModel::TakeMessage() {
    std::optional<PageMessage> message = std::move(m_message);
    m_message.reset();
    return message;
}

void OutputPageModel::TakeName(bool adaptExtension) {
    if (m_name.empty()) {
        return;  // the record keeps the last name; Next stays off
    }
    const bool proposed = m_name == m_proposedName;
    if (adaptExtension) {
        m_name = engine::AdaptExtension(m_name, m_settings->workbookType);
    }
    if (proposed) {
        m_proposedName = m_name;
    }
    engine::CopyText(m_settings->outputPath, m_name);
}

}  // namespace wizard
