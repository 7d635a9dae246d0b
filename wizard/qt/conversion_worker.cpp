// SPDX-License-Identifier: MIT
#include "wizard/qt/conversion_worker.h"

namespace wizard {
namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ConversionWorker::ConversionWorker(engine::ConversionSettings* settings,
                                   const platform::MessageSink* messages, QObject* parent)
    : QThread(parent), m_settings(settings), m_messages(messages) {}

ConversionWorker::~ConversionWorker() {
    wait();
}

void ConversionWorker::run() {
    m_report = RunConversion(m_settings, m_messages, this, SystemClocks());
}

void ConversionWorker::ShowFiles(std::string_view text) {
    emit filesShown(FromView(text));
}

void ConversionWorker::ShowPosition(std::int64_t position, std::int64_t size) {
    emit positionReached(position, size);
}

void ConversionWorker::ShowTime(std::string_view text) {
    emit timeEstimated(FromView(text));
}

}  // namespace wizard
