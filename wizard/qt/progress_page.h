// SPDX-License-Identifier: MIT
// The progress page: starts the worker when it becomes current, shows the
// byte position and the time estimate, and moves on when the run is over.
#pragma once

#include <QWizardPage>

class QLabel;
class QProgressBar;

namespace wizard {

class ConversionWorker;
class WizardFrame;

class ProgressPage : public QWizardPage {
    Q_OBJECT

public:
    explicit ProgressPage(WizardFrame* frame);
    ~ProgressPage() override;

    void initializePage() override;
    bool isComplete() const override { return m_finished; }

    // True when no worker runs (any more) after waiting at most `milliseconds`.
    bool waitForWorker(int milliseconds);

private slots:
    void showPosition(qint64 position, qint64 size);
    void finishRun();

private:
    WizardFrame* m_frame;
    QProgressBar* m_bar;
    QLabel* m_filesLabel;
    QLabel* m_timeLabel;
    ConversionWorker* m_worker = nullptr;
    bool m_finished = false;
};

}  // namespace wizard
