// SPDX-License-Identifier: MIT
// The source page's rules. Typing previews every different name at once,
// silently; the "Unable to load" message waits until a name is committed
// (chosen from the list, entered, or given on the command line), so that it
// never interrupts typing, and it names the file it is about.
#include "engine/run_log.h"
#include "wizard/core/wizard_core.h"

namespace wizard {

SourcePageModel::SourcePageModel(engine::ConversionSettings* settings, RecentStore* store,
                                 const platform::SystemCodePages& pages)
    : m_settings(settings),
      m_store(store),
      m_pages(pages),
      m_encodings(EncodingChoices(pages, settings->inputCodePage)) {
    for (std::size_t i = 0; i < m_encodings.size(); ++i) {
        if (m_encodings[i].codePage == settings->inputCodePage) {
            m_encodingIndex = i;
            break;
        }
    }
}

bool SourcePageModel::Enter() {
    if (m_entered) {
        return false;
    }
    m_entered = true;
    m_name = std::string(engine::TextOf(m_settings->inputPath));
    if (m_name.empty()) {
        m_name = ReadWizardValue(*m_store, kLastSourceValue);
        engine::CopyText(m_settings->inputPath, m_name);
    }
    m_recent = RecentList(*m_store, kSourceList);
    if (!m_name.empty()) {
        m_settings->oemSource = 0;
        Load(PreviewMode::kDetect);
        ReportUnloadable();
    }
    engine::WriteStatus("Source file selection", m_settings);
    return m_settings->batchMode != 0;
}

void SourcePageModel::NameEdited(std::string_view text) {
    m_name = std::string(text);
    TakeName(text);
}

void SourcePageModel::NameCommitted() {
    ReportUnloadable();
}

void SourcePageModel::NameChosen(std::string_view text) {
    NameEdited(text);
    NameCommitted();
}

void SourcePageModel::FileBrowsed(std::string_view path) {
    if (path.empty()) {
        return;
    }
    m_name = std::string(path);
    engine::CopyText(m_settings->inputPath, path);
    m_settings->oemSource = 0;
    Load(PreviewMode::kDetect);
    ReportUnloadable();
}

void SourcePageModel::OemClicked() {
    if (!m_preview.legacy) {
        return;
    }
    Load(m_settings->oemSource != 0 ? PreviewMode::kAsAnsi : PreviewMode::kAsOem);
}

void SourcePageModel::EncodingChosen(std::size_t index) {
    if (index >= m_encodings.size() || index == m_encodingIndex) {
        return;
    }
    m_encodingIndex = index;
    m_settings->oemSource = 0;
    Load(PreviewMode::kDetect);
}

bool SourcePageModel::Next() {
    if (!nextEnabled()) {
        m_settings->batchMode = 0;
        return false;
    }
    // Stored absolute, so that the name still works from another folder.
    const std::string absolute = platform::AbsolutePath(engine::TextOf(m_settings->inputPath));
    if (!engine::CopyText(m_settings->inputPath, absolute, engine::kPathCharacters)) {
        engine::CopyText(m_settings->inputPath, m_name);
        m_message = PageMessage{"Error", "The file name is too long:\n" + absolute};
        m_settings->batchMode = 0;
        return false;
    }
    m_name = absolute;
    m_store->Write(kLastSourceValue, absolute);
    AddRecentItem(*m_store, kSourceList, absolute);
    return true;
}

std::string SourcePageModel::browseFolder() const {
    return m_name.empty() ? std::string() : platform::FolderOf(platform::AbsolutePath(m_name));
}

std::optional<PageMessage> SourcePageModel::TakeMessage() {
    std::optional<PageMessage> message = std::move(m_message);
    m_message.reset();
    return message;
}

void SourcePageModel::TakeName(std::string_view name) {
    if (name.empty() || name == engine::TextOf(m_settings->inputPath)) {
        return;
    }
    engine::CopyText(m_settings->inputPath, name);
    m_settings->oemSource = 0;
    Load(PreviewMode::kDetect);
}

void SourcePageModel::Load(PreviewMode mode) {
    const int codePage = m_encodings[m_encodingIndex].codePage;
    const std::string path(engine::TextOf(m_settings->inputPath));
    m_preview = Preview();
    m_unloadable = false;
    m_note.clear();
    if (!path.empty()) {
        if (platform::ReadFileStart(path, kPreviewBytes, &m_bytes)) {
            m_preview = DecodePreview(m_bytes, codePage, mode, m_pages);
            m_reportedName.clear();
            if (m_preview.text.empty()) {
                m_note = "The file is empty: there is nothing to convert.";
            }
        } else {
            m_unloadable = true;
            // Said under the preview at once, while the box waits until the
            // name is committed, so that a blank preview always has a reason.
            m_note = std::string(kUnableToLoadText) +
                     (platform::IsDirectory(path)   ? "This is a folder."
                      : !platform::PathExists(path) ? "There is no such file."
                                                    : "It cannot be read.");
        }
    }
    // The box shows whether the text is read in an OEM page; it can switch
    // only what the automatic choice decided.
    m_settings->oemSource =
        m_preview.legacy
            ? m_preview.oemSource
            : (codePage == kCyrillicOemPage || (codePage != 0 && codePage == m_pages.oem) ? 1 : 0);
    // The conversion decodes as the preview does: automatic finds the same
    // legacy page by itself; a page the OEM box chose is passed on.
    m_settings->inputCodePage =
        codePage != 0 ? codePage : (mode == PreviewMode::kDetect ? 0 : m_preview.legacyPage);
}

void SourcePageModel::ReportUnloadable() {
    const std::string path(engine::TextOf(m_settings->inputPath));
    if (!m_unloadable || path == m_reportedName) {
        return;
    }
    m_reportedName = path;
    m_message = PageMessage{"Error", std::string(kUnableToLoadText) + "\n" + path};
}

}  // namespace wizard
