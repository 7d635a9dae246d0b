// SPDX-License-Identifier: MIT
#include "wizard/conversion_worker.h"

#include <ctime>
#include <limits>
#include <new>

namespace wizard {
namespace {

// Repainting the bar for every record would flood the user's thread with
// events on big files; a few updates per second look the same.
constexpr auto kPositionInterval = std::chrono::milliseconds(40);

QString ClockText(std::int64_t seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString TimeEstimateText(std::int64_t elapsedSeconds, std::int64_t done, std::int64_t total) {
    if (done <= 0 || elapsedSeconds <= 1) {
        return {};
    }
    std::int64_t estimated = 0;
    if (total <= std::numeric_limits<std::int64_t>::max() / elapsedSeconds) {
        estimated = elapsedSeconds * total / done;
    } else {
        estimated = static_cast<std::int64_t>(static_cast<long double>(elapsedSeconds) *
                                              static_cast<long double>(total) /
                                              static_cast<long double>(done));
    }
    return QStringLiteral("Elapsed time:\t") + ClockText(elapsedSeconds) +
           QStringLiteral("\nEstimated time:\t") + ClockText(estimated);
}

ConversionWorker::ConversionWorker(engine::ConversionSettings* settings,
                                   const platform::MessageSink* messages, QObject* parent)
    : QThread(parent), m_settings(settings), m_messages(messages) {}

ConversionWorker::~ConversionWorker() {
    wait();
}

void ConversionWorker::run() {
    // One of the two places that catch everything: what escapes the run
    // becomes a message, and the wizard still moves on.
    try {
        engine::ProgressReporter reporter;
        reporter.context = this;
        reporter.showFiles = [](void* context, std::string_view text) {
            emit static_cast<ConversionWorker*>(context)->filesShown(
                QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        };
        reporter.showPosition = [](void* context, std::int64_t position, std::int64_t size,
                                   std::int32_t, std::int64_t startTime) {
            static_cast<ConversionWorker*>(context)->reportPosition(position, size, startTime);
        };
        engine::RunOwner owner;
        owner.messages = m_messages;
        owner.progress = &reporter;
        engine::ConversionRun(&owner, m_settings);
    } catch (const std::bad_alloc&) {
        platform::ShowMessage(m_messages, "Error", "The conversion ran out of memory.",
                              platform::MessageIcon::kError);
    } catch (...) {
        platform::ShowMessage(m_messages, "Error", "The conversion stopped unexpectedly.",
                              platform::MessageIcon::kError);
    }
}

void ConversionWorker::reportPosition(std::int64_t position, std::int64_t size,
                                      std::int64_t startTime) {
    const auto now = std::chrono::steady_clock::now();
    if (position >= size || now - m_lastPosition >= kPositionInterval) {
        m_lastPosition = now;
        emit positionReached(position, size);
    }
    // The time text changes at most once a calendar second.
    const auto seconds = static_cast<std::int64_t>(std::time(nullptr));
    if (seconds == m_lastEstimate || position == 0) {
        return;
    }
    m_lastEstimate = seconds;
    const QString text = TimeEstimateText(seconds - startTime, position, size);
    if (!text.isEmpty()) {
        emit timeEstimated(text);
    }
}

}  // namespace wizard
