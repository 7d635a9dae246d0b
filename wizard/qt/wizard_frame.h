// SPDX-License-Identifier: MIT
// The five-page wizard around one settings record: captions, artwork, the
// help button, queued button presses for the BATCH mode, and the message
// boxes the engine asks for while the wizard runs.
#pragma once

#include <QFont>
#include <QUrl>
#include <QWizard>
#include <functional>

#include "engine/settings.h"
#include "platform/messages.h"
#include "wizard/core/wizard_core.h"
#include "wizard/qt/recent_files_qsettings.h"

namespace wizard {

class ProgressPage;

// The window's size when it opens; it can be made smaller or larger.
inline constexpr QSize kStartSize{620, 460};

enum PageId : int {
    kWelcomePageId = 0,
    kSourcePageId,
    kOutputPageId,
    kProgressPageId,
    kCompletionPageId,
};

// Reads `arguments` (the program's name left out) into `settings` as the
// program reads its command line; `programPath` is where its INI files would
// stand.
void ParseArguments(engine::ConversionSettings* settings, const QStringList& arguments,
                    const char* programPath);

// Opens a URL with a desktop program; false when none could.
using UrlOpener = std::function<bool(const QUrl&)>;

class WizardFrame : public QWizard {
    Q_OBJECT

public:
    // `settings` must outlive the frame; the pages edit it in place.
    explicit WizardFrame(engine::ConversionSettings* settings, QWidget* parent = nullptr);
    ~WizardFrame() override;

    engine::ConversionSettings* settings() const { return m_settings; }

    // The page models the pages bind to, and the outcome of the run.
    WelcomePageModel& welcomeModel() { return m_welcomeModel; }
    SourcePageModel& sourceModel() { return m_sourceModel; }
    OutputPageModel& outputModel() { return m_outputModel; }
    ProgressPageModel& progressModel() { return m_progressModel; }
    CompletionPageModel& completionModel() { return m_completionModel; }

    // Shows a model's message, if any, in a box owned by `owner`.
    void showPageMessage(std::optional<PageMessage> message, QWidget* owner);

    // The bold title font of the first and last page.
    const QFont& titleFont() const { return m_titleFont; }

    // Replaces the desktop's opener (QDesktopServices::openUrl), for tests.
    void setUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }
    bool openUrl(const QUrl& url) const;

    // Opens the help page beside the program. A missing page is not reported.
    void showHelp();

    // Presses Next once control returns to the event loop, provided `page`
    // is still current and the wizard still open.
    void pressNextLater(QWizardPage* page);
    // Presses Finish the same way.
    void pressFinishLater();

    // Where the engine's messages go: a box owned by the current page,
    // reached from the worker thread by a blocking queued call. In BATCH
    // mode, and once the wizard has closed, they go to stderr.
    const platform::MessageSink* messageSink() const { return &m_messageSink; }

    // True once the wizard has been finished or cancelled.
    bool isClosed() const { return m_closed; }

    // Waits until no conversion runs, serving the worker's message requests
    // meanwhile. Call before the settings record goes away.
    void waitForWorker();

    // The completion page has taken the run's outcome: the title follows
    // it, and after a failure Back is open.
    void completionShown();

    // Cancel: on the progress page it also stops the conversion before its
    // next record; the worker then saves what it has written.
    void reject() override;
    void done(int result) override;

private:
    void showEngineMessage(const QString& caption, const QString& text, platform::MessageIcon icon);
    void updateCaption(int id);
    // Back; from the page of a failed run it leads past the progress page
    // to the output page.
    void goBack();

    engine::ConversionSettings* m_settings;
    QSettingsStore m_store;
    WelcomePageModel m_welcomeModel;
    SourcePageModel m_sourceModel;
    OutputPageModel m_outputModel;
    ProgressPageModel m_progressModel;
    CompletionPageModel m_completionModel;
    QFont m_titleFont;
    UrlOpener m_opener;
    platform::MessageSink m_messageSink;
    ProgressPage* m_progressPage = nullptr;
    bool m_closed = false;
};

}  // namespace wizard
