// SPDX-License-Identifier: MIT
// The wizard frame. QWizard's ModernStyle gives the Wizard97 look: a header
// band with title and subtitle on pages that have a subtitle, the watermark
// column on the two pages that have none.
#include "wizard/qt/wizard_frame.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <vector>

#include "engine/parameter_parser.h"
#include "wizard/qt/artwork_painter.h"
#include "wizard/qt/completion_page.h"
#include "wizard/qt/output_page.h"
#include "wizard/qt/progress_page.h"
#include "wizard/qt/source_page.h"
#include "wizard/qt/welcome_page.h"

namespace wizard {
namespace {

constexpr const char* kCaptions[] = {
    "Morvik Wizard",
    "Morvik Wizard | Select CSV file",
    "Morvik Wizard | Select the output file",
    "Morvik Wizard | Conversion in progress",
};

QMessageBox::Icon BoxIcon(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::kError:
            return QMessageBox::Critical;
        case platform::MessageIcon::kWarning:
            return QMessageBox::Warning;
        case platform::MessageIcon::kInformation:
            return QMessageBox::Information;
        case platform::MessageIcon::kNone:
            break;
    }
    return QMessageBox::NoIcon;
}

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void ParseArguments(engine::ConversionSettings* settings, const QStringList& arguments,
                    const char* programPath) {
    std::vector<QByteArray> bytes{QByteArrayLiteral("quendle")};
    for (const QString& argument : arguments) {
        bytes.push_back(argument.toUtf8());
    }
    std::vector<const char*> elements;
    for (const QByteArray& element : bytes) {
        elements.push_back(element.constData());
    }
    engine::ParameterParserFor(settings, static_cast<int>(elements.size()), elements.data(),
                               programPath);
}

WizardFrame::WizardFrame(engine::ConversionSettings* settings, QWidget* parent)
    : QWizard(parent),
      m_settings(settings),
      m_welcomeModel(settings),
      m_sourceModel(settings, &m_store, platform::GetSystemCodePages()),
      m_outputModel(settings, &m_store),
      m_progressModel(settings),
      m_completionModel(settings),
      m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setObjectName(QStringLiteral("wizardFrame"));
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::HaveHelpButton, true);
    setButtonText(QWizard::HelpButton, QStringLiteral("?"));
    // Output and progress pages are commit pages so that Back stays off on
    // the progress and completion pages; their button still reads Next.
    setButtonText(QWizard::CommitButton, buttonText(QWizard::NextButton));
    // Back would share Alt+B with the pages' Browse buttons.
    setButtonText(QWizard::BackButton, tr("< Bac&k"));
    // Enter presses Next or Finish whichever button has the focus, never Back.
    for (const WizardButton which :
         {QWizard::BackButton, QWizard::CancelButton, QWizard::HelpButton}) {
        if (auto* push = qobject_cast<QPushButton*>(button(which))) {
            push->setAutoDefault(false);
            push->setDefault(false);
        }
    }
    // The window starts at its usual size but may shrink to what its pages
    // need, so that it fits a small screen or a large scale factor. No
    // banner picture: QWizard fixes the header pages' width to a banner's.
    resize(kStartSize);
    setSizeGripEnabled(true);
    setPixmap(QWizard::LogoPixmap, LogoArt());
    setWindowIcon(ApplicationIcon());

    m_titleFont = font();
    m_titleFont.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    m_titleFont.setPointSize(12);
    m_titleFont.setBold(true);

    m_messageSink.context = this;
    m_messageSink.show = [](void* context, std::string_view caption, std::string_view text,
                            platform::MessageIcon icon) {
        auto* frame = static_cast<WizardFrame*>(context);
        const QString boxCaption = FromView(caption);
        const QString boxText = FromView(text);
        if (QThread::currentThread() == frame->thread()) {
            frame->showEngineMessage(boxCaption, boxText, icon);
            return;
        }
        // The run waits for the box to close, as it does for a message box
        // on the user's own thread.
        QMetaObject::invokeMethod(
            frame,
            [frame, boxCaption, boxText, icon] {
                frame->showEngineMessage(boxCaption, boxText, icon);
            },
            Qt::BlockingQueuedConnection);
    };

    setPage(kWelcomePageId, new WelcomePage(this));
    setPage(kSourcePageId, new SourcePage(this));
    setPage(kOutputPageId, new OutputPage(this));
    m_progressPage = new ProgressPage(this);
    setPage(kProgressPageId, m_progressPage);
    setPage(kCompletionPageId, new CompletionPage(this));
    setStartId(kWelcomePageId);

    // QWizard's own Back only steps back one page.
    disconnect(button(QWizard::BackButton), SIGNAL(clicked()), this, SLOT(back()));
    connect(button(QWizard::BackButton), &QAbstractButton::clicked, this, &WizardFrame::goBack);
    connect(this, &QWizard::helpRequested, this, &WizardFrame::showHelp);
    connect(this, &QWizard::currentIdChanged, this, &WizardFrame::updateCaption);
    updateCaption(kWelcomePageId);
}

WizardFrame::~WizardFrame() {
    waitForWorker();
}

bool WizardFrame::openUrl(const QUrl& url) const {
    return m_opener && m_opener(url);
}

void WizardFrame::showHelp() {
    openUrl(QUrl::fromLocalFile(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("wizards.html"))));
}

void WizardFrame::pressNextLater(QWizardPage* page) {
    QMetaObject::invokeMethod(
        this,
        [this, page] {
            if (!m_closed && currentPage() == page) {
                next();
            }
        },
        Qt::QueuedConnection);
}

void WizardFrame::pressFinishLater() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_closed && currentId() == kCompletionPageId) {
                accept();
            }
        },
        Qt::QueuedConnection);
}

void WizardFrame::waitForWorker() {
    while (m_progressPage != nullptr && !m_progressPage->waitForWorker(20)) {
        // A worker blocked on a message box request needs this thread.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

void WizardFrame::reject() {
    if (currentId() == kProgressPageId && !m_closed) {
        m_progressModel.Cancel();
    }
    QWizard::reject();
}

void WizardFrame::done(int result) {
    // Finish runs the completion page's validation first and may stay open.
    QWizard::done(result);
    m_closed = m_closed || !isVisible();
}

void WizardFrame::showEngineMessage(const QString& caption, const QString& text,
                                    platform::MessageIcon icon) {
    // BATCH runs unattended: a box would wait for a person who is not
    // there. The failure still reaches the last page and the exit status.
    if (m_closed || m_settings->batchMode != 0) {
        const QByteArray captionBytes = caption.toUtf8();
        const QByteArray textBytes = text.toUtf8();
        platform::ShowMessage(nullptr, captionBytes.toStdString(), textBytes.toStdString(), icon);
        return;
    }
    QWidget* owner = currentPage() != nullptr ? static_cast<QWidget*>(currentPage()) : this;
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, owner);
    box.exec();
}

void WizardFrame::showPageMessage(std::optional<PageMessage> message, QWidget* owner) {
    if (!message) {
        return;
    }
    // Models put a path on a line of its own; its blanks must not break it.
    QStringList lines = QString::fromStdString(message->text).split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        lines[i].replace(QLatin1Char(' '), QChar(0x00A0));
    }
    QMessageBox box(BoxIcon(message->icon), QString::fromStdString(message->caption),
                    lines.join(QLatin1Char('\n')), QMessageBox::Ok, owner);
    box.exec();
}

void WizardFrame::updateCaption(int id) {
    if (id == kCompletionPageId) {
        setWindowTitle(QStringLiteral("Morvik Wizard | ") +
                       QString::fromLatin1(m_completionModel.titleText()));
    } else if (id >= 0 && id < static_cast<int>(std::size(kCaptions))) {
        setWindowTitle(QString::fromLatin1(kCaptions[id]));
    }
}

void WizardFrame::completionShown() {
    updateCaption(kCompletionPageId);
    // QWizard keeps Back off on the page after a commit page.
    m_progressPage->setCommitPage(!m_completionModel.backEnabled());
}

void WizardFrame::goBack() {
    if (currentId() == kCompletionPageId) {
        if (!m_completionModel.backEnabled()) {
            return;
        }
        back();  // to the progress page, which has nothing to offer now
    }
    back();
}

}  // namespace wizard
