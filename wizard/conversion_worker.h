// SPDX-License-Identifier: MIT
// The wizard's one worker thread: runs the conversion on the settings record
// and reports its progress by signals, which reach the progress page queued.
// It touches no widget; the only field the user's thread writes meanwhile
// is the record's cancel flag.
#pragma once

#include <QString>
#include <QThread>
#include <chrono>
#include <cstdint>

#include "engine/engine.h"

namespace wizard {

// The elapsed and estimated time text, or an empty text when there is
// nothing to show yet (less than two seconds, or nothing done). The estimate
// is the whole run's duration, elapsed × total ÷ done, rounded down.
QString TimeEstimateText(std::int64_t elapsedSeconds, std::int64_t done, std::int64_t total);

class ConversionWorker : public QThread {
    Q_OBJECT

public:
    // `settings` must outlive the thread; `messages` receives the engine's
    // messages and may block until the user has read them.
    ConversionWorker(engine::ConversionSettings* settings, const platform::MessageSink* messages,
                     QObject* parent);
    ~ConversionWorker() override;

signals:
    // "<input> -> <output>", once the run has opened its files.
    void filesShown(const QString& text);
    // The byte position reached in the input, at most every few hundredths
    // of a second and always at the end of the file.
    void positionReached(qint64 position, qint64 size);
    // The time text, at most once a second.
    void timeEstimated(const QString& text);

protected:
    void run() override;

private:
    void reportPosition(std::int64_t position, std::int64_t size, std::int64_t startTime);

    engine::ConversionSettings* m_settings;
    const platform::MessageSink* m_messages;
    // Touched only by the worker thread.
    std::int64_t m_lastEstimate = 0;
    std::chrono::steady_clock::time_point m_lastPosition{};
};

}  // namespace wizard
