// SPDX-License-Identifier: MIT
// The parts of files and saves that are the same on every system: moving a
// File, the position an ordinary handle keeps, the words of its failures, and
// the steps and messages of creating a save beside its target. The system
// calls are in posix/files.cpp and windows/files.cpp (files_backend.h).
#include "platform/files.h"

#include <cstdio>
#include <random>
#include <string>
#include <utility>

#include "platform/files_backend.h"
#include "platform/path_names.h"
#include "platform/paths.h"
#include "platform/workbook_lock_backend.h"

namespace platform {

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      position_(other.position_),
      append_(other.append_),
      error_(other.error_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        (void)Close();
        handle_ = std::exchange(other.handle_, -1);
        position_ = other.position_;
        append_ = other.append_;
        error_ = other.error_;
    }
    return *this;
}

bool File::WriteAll(std::span<const char> bytes) {
    if (append_) {
        return detail::AppendAll(handle_, bytes, &error_);
    }
    if (!WriteAt(position_, bytes)) {
        return false;
    }
    position_ += bytes.size();
    return true;
}

std::string File::ErrorText() const {
    return detail::SystemErrorText(error_);
}

FileStatus File::LastStatus() const {
    return detail::StatusOfSystemError(error_);
}

PendingFile::~PendingFile() {
    Discard();
}

FileStatus PendingFile::Create(const std::string& target, std::string& error) {
    Discard();
    requested_ = target;
    target_ = detail::SaveTarget(target);
    const std::string folder = ContainingFolder(target_);
    if (const FileStatus refused = detail::RefuseTargetInUse(target_, requested_, error);
        refused != FileStatus::kOk) {
        return refused;
    }

    std::random_device random;
    unsigned long code = 0;
    for (int attempt = 0; attempt < 32; ++attempt) {
        char suffix[16];
        (void)std::snprintf(suffix, sizeof suffix, "%08x", random());
        const std::string candidate = JoinPath(folder, std::string(detail::kSavePrefix) + suffix);
        const detail::SaveFileResult result =
            detail::CreateSaveFile(candidate, file_, &slot_, &code);
        if (result == detail::SaveFileResult::kCreated) {
            temporaryPath_ = candidate;
            detail::PrepareSaveFile(file_, target_, folder);
            return FileStatus::kOk;
        }
        if (result == detail::SaveFileResult::kFailed) {
            break;
        }
    }
    const FileStatus status = detail::StatusOfSystemError(code);
    if (status == FileStatus::kAccessDenied) {
        // The file itself may well be writable: it is the folder that takes
        // no new file, and the temporary file is created there.
        error = "Cannot save " + requested_ + ": the folder " + folder +
                " does not allow new files (" + detail::SystemErrorText(code) + ")";
        return FileStatus::kFolderReadOnly;
    }
    error = "Cannot save " + requested_ + ": " + detail::SystemErrorText(code);
    return status;
}

FileStatus PendingFile::Commit(std::string& error) {
    const auto fail = [&](FileStatus status, const std::string& words) {
        error = detail::SaveFailureText(requested_, status, words);
        Discard();
        return status == FileStatus::kOk ? FileStatus::kFailed : status;
    };
    const auto changed = [&] {
        error = detail::ChangedText(requested_);
        Discard();
        return FileStatus::kFailed;
    };
    const File keep = detail::HoldSaveFile(file_);
    if (!file_.Sync()) {
        return fail(file_.LastStatus(), file_.ErrorText());
    }
    detail::BeforeClosingSaveFile(&slot_);
    if (!file_.Close()) {
        return fail(file_.LastStatus(), file_.ErrorText());
    }
    detail::ReleaseSaveTarget(target_);
    detail::SaveExpectation expected = detail::SaveExpectation::kAnything;
    if (detail::ChangedSinceLocked(target_, &expected)) {
        return changed();
    }
    unsigned long code = 0;
    switch (detail::MoveSaveIntoPlace(temporaryPath_, target_, expected, &code)) {
        case detail::MoveResult::kMoved:
            break;
        case detail::MoveResult::kTargetAppeared:
            return changed();
        case detail::MoveResult::kFailed:
            return fail(detail::StatusOfSystemError(code), detail::SystemErrorText(code));
    }
    temporaryPath_.clear();
    detail::AfterCommit(target_, &slot_);
    return FileStatus::kOk;
}

}  // namespace platform
