// SPDX-License-Identifier: MIT
// The wizard's one worker thread: runs the conversion through the wizard
// core and turns its reports into signals, which reach the progress page
// queued. It touches no widget; the only field the user's thread writes
// meanwhile is the record's cancel flag.
#pragma once

#include <QString>
#include <QThread>

#include "engine/settings.h"
#include "platform/messages.h"
#include "wizard/core/wizard_core.h"

namespace wizard {

class ConversionWorker : public QThread, private ProgressSink {
    Q_OBJECT

public:
    // `settings` must outlive the thread; `messages` receives the engine's
    // messages and may block until the user has read them.
    ConversionWorker(engine::ConversionSettings* settings, const platform::MessageSink* messages,
                     QObject* parent);
    ~ConversionWorker() override;

    // How the run ended; valid once the thread has finished.
    const RunReport& report() const { return m_report; }

signals:
    void filesShown(const QString& text);
    void positionReached(qint64 position, qint64 size);
    void timeEstimated(const QString& text);

protected:
    void run() override;

private:
    void ShowFiles(std::string_view text) override;
    void ShowPosition(std::int64_t position, std::int64_t size) override;
    void ShowTime(std::string_view text) override;

    engine::ConversionSettings* m_settings;
    const platform::MessageSink* m_messages;
    RunReport m_report;
};

}  // namespace wizard
