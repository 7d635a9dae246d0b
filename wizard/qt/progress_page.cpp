// SPDX-License-Identifier: MIT
#include "wizard/qt/progress_page.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "wizard/qt/conversion_worker.h"
#include "wizard/qt/wizard_frame.h"

namespace wizard {
namespace {

// The bar counts in thousandths of the file, since its range is an int.
constexpr int kBarSteps = 1000;

}  // namespace

ProgressPage::ProgressPage(WizardFrame* frame) : QWizardPage(frame), m_frame(frame) {
    setObjectName(QStringLiteral("progressPage"));
    setTitle(tr("Conversion in progress"));
    setSubTitle(tr("It can take a few minutes..."));
    // Nothing can be taken back once the run has started.
    setCommitPage(true);

    auto* heading = new QLabel(tr("Please wait while Morvik Wizard exports records"), this);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setRange(0, kBarSteps);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_filesLabel = new QLabel(tr("Be patient..."), this);
    m_filesLabel->setObjectName(QStringLiteral("filesLabel"));
    // A long path is cut at the window's edge rather than wrapped inside it,
    // and never widens the window; the whole line is in the tool tip.
    m_filesLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_timeLabel = new QLabel(QStringLiteral("..."), this);
    m_timeLabel->setObjectName(QStringLiteral("timeLabel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_bar);
    layout->addWidget(m_filesLabel);
    layout->addSpacing(8);
    layout->addWidget(m_timeLabel);
    layout->addStretch(1);
}

ProgressPage::~ProgressPage() {
    if (m_worker != nullptr) {
        m_worker->wait();
    }
}

void ProgressPage::initializePage() {
    if (!m_frame->progressModel().Enter()) {
        return;
    }
    // Again after a failed run: the last worker has ended.
    setCommitPage(true);
    if (m_worker != nullptr) {
        m_worker->wait();
        delete m_worker;
        m_worker = nullptr;
    }
    m_finished = false;
    m_bar->setValue(0);
    m_timeLabel->setText(QStringLiteral("..."));
    engine::ConversionSettings* settings = m_frame->settings();
    settings->progressWindow = this;
    m_worker = new ConversionWorker(settings, m_frame->messageSink(), this);
    connect(
        m_worker, &ConversionWorker::filesShown, this,
        [this](const QString& text) {
            m_filesLabel->setText(text);
            m_filesLabel->setToolTip(text);
        },
        Qt::QueuedConnection);
    connect(m_worker, &ConversionWorker::timeEstimated, m_timeLabel, &QLabel::setText,
            Qt::QueuedConnection);
    connect(m_worker, &ConversionWorker::positionReached, this, &ProgressPage::showPosition,
            Qt::QueuedConnection);
    connect(m_worker, &QThread::finished, this, &ProgressPage::finishRun, Qt::QueuedConnection);
    m_worker->start();
}

bool ProgressPage::waitForWorker(int milliseconds) {
    return m_worker == nullptr || m_worker->wait(QDeadlineTimer(milliseconds));
}

void ProgressPage::showPosition(qint64 position, qint64 size) {
    if (size > 0) {
        m_bar->setValue(static_cast<int>(std::min<qint64>(position, size) * kBarSteps / size));
    }
}

void ProgressPage::finishRun() {
    m_finished = true;
    m_frame->progressModel().Finished(m_worker->report());
    m_frame->settings()->progressWindow = nullptr;
    emit completeChanged();
    // After a cancel the wizard is gone and the completion page must not
    // come up: it would overwrite the "Cancelled" status.
    if (!m_frame->isClosed() && m_frame->currentPage() == this) {
        m_frame->next();
    }
}

}  // namespace wizard
