// SPDX-License-Identifier: MIT
// The workbook lock's portable side: threads of this process queue on a
// condition variable per workbook, then take the system's lock on the hidden
// file beside it, polling, since another process gives no signal when it lets
// go. What the holder saw of the workbook is kept here for its save to check.
#include "platform/workbook_lock.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/path_names.h"
#include "platform/paths.h"
#include "platform/workbook_lock_backend.h"

namespace platform {
namespace {

using detail::FileIdentity;

// How often a waiter tries the system's lock again.
constexpr std::chrono::milliseconds kPollInterval{20};
// The hidden lock file's prefix; a name too long to take it is hashed.
constexpr std::string_view kLockPrefix = ".quendle-lock-";
constexpr std::size_t kLongestName = 255;  // bytes of one name on most file systems

struct Holder {
    bool held = false;
    int waiting = 0;
    std::thread::id owner;
    FileIdentity seen;
    std::intptr_t guard = -1;
};

struct Registry {
    std::mutex mutex;
    std::condition_variable released;
    std::map<std::string, Holder> holders;
};

Registry& Locks() {
    static Registry registry;
    return registry;
}

// The held entry of this thread for the key, or null; the registry's mutex
// must be held.
Holder* OwnHolder(Registry& registry, const std::string& key) {
    const auto found = registry.holders.find(key);
    if (found == registry.holders.end() || !found->second.held ||
        found->second.owner != std::this_thread::get_id()) {
        return nullptr;
    }
    return &found->second;
}

std::string LockFileFor(const std::string& target, const std::string& key) {
    std::string name(FileNameOf(target));
    if (name.size() + kLockPrefix.size() > kLongestName) {
        // FNV-1a of the key, which is folded where names ignore case.
        std::uint64_t hash = 14695981039346656037ull;
        for (const char c : key) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        char text[17];
        (void)std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
        name = text;
    }
    return JoinPath(FolderOf(target), std::string(kLockPrefix) + name);
}

std::string WaitText(std::chrono::milliseconds wait) {
    return wait.count() % 1000 == 0 ? std::to_string(wait.count() / 1000) + " seconds"
                                    : std::to_string(wait.count()) + " milliseconds";
}

// The owner file an office program keeps beside a workbook it has open, if
// one lies beside `path`.
std::string OwnerFileOf(const std::string& path) {
    const std::string name(FileNameOf(path));
    for (const std::string& owner : {".~lock." + name + "#", "~$" + name}) {
        const std::string ownerPath = JoinPath(FolderOf(path), owner);
        if (PathExists(ownerPath)) {
            return ownerPath;
        }
    }
    return {};
}

}  // namespace

LockStatus WorkbookLock::Acquire(const std::string& path, std::chrono::milliseconds wait,
                                 const LockWaitNotice& notice, std::string& error) {
    Release();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool told = false;
    const auto tell = [&] {
        if (!told && notice.waiting != nullptr) {
            notice.waiting(notice.context);
        }
        told = true;
    };
    const auto cancelled = [&] {
        return notice.cancel != nullptr && notice.cancel->load(std::memory_order_relaxed) != 0;
    };
    const auto timedOut = [&] {
        error = path + " is being changed by another conversion, which still held it after " +
                WaitText(wait) +
                "; the workbook was left as it is. Try again when that conversion has finished.";
        return LockStatus::kTimedOut;
    };
    const std::string target = detail::SaveTarget(path);
    const std::string key = detail::LockKeyOf(target);

    Registry& registry = Locks();
    {
        std::unique_lock<std::mutex> lock(registry.mutex);
        Holder& holder = registry.holders[key];
        ++holder.waiting;
        while (holder.held) {
            if (!told) {
                // Said outside the lock: the notice may wait on a window.
                lock.unlock();
                tell();
                lock.lock();
                continue;
            }
            // In steps, so that a cancel is seen while the holder works on.
            const auto until = std::min(deadline, std::chrono::steady_clock::now() + kPollInterval);
            (void)registry.released.wait_until(lock, until);
            const bool stop = cancelled();
            if (holder.held && (stop || std::chrono::steady_clock::now() >= deadline)) {
                --holder.waiting;  // the entry stays: its holder releases it
                if (stop) {
                    error = "The wait for " + path + " was cancelled.";
                    return LockStatus::kCancelled;
                }
                return timedOut();
            }
        }
        --holder.waiting;
        holder.held = true;
        holder.owner = std::this_thread::get_id();
    }
    key_ = key;

    lockPath_ = LockFileFor(target, key);
    for (;;) {
        const detail::LockFileResult result = detail::TryLockFile(lockPath_, &lockHandle_);
        if (result == detail::LockFileResult::kLocked) {
            break;
        }
        if (result == detail::LockFileResult::kUnavailable) {
            // Nothing can be saved where no file can be made; the save says
            // why in its own words, and until then there is nothing to guard.
            lockHandle_ = -1;
            break;
        }
        tell();
        if (cancelled()) {
            Release();
            error = "The wait for " + path + " was cancelled.";
            return LockStatus::kCancelled;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            Release();
            return timedOut();
        }
        std::this_thread::sleep_for(kPollInterval);
    }

    FileIdentity seen;
    if (!detail::ReadIdentity(target, &seen)) {
        Release();
        error = "Cannot open " + path + ": its folder cannot be read.";
        return LockStatus::kFailed;
    }
    if (seen.exists) {
        // A person's changes in an office program would be lost at their
        // next save, or would replace ours.
        std::string owner = OwnerFileOf(path);
        if (owner.empty() && target != path) {
            owner = OwnerFileOf(target);
        }
        if (!owner.empty()) {
            Release();
            error = detail::OpenElsewhereText(path) + " (" + owner +
                    " says so; if no program has the workbook open, delete that file).";
            return LockStatus::kOpenElsewhere;
        }
    }
    std::intptr_t guard = -1;
    if (seen.exists) {
        if (const LockStatus guarded = detail::GuardWorkbook(target, &guard, error);
            guarded != LockStatus::kOk) {
            Release();
            if (guarded == LockStatus::kOpenElsewhere) {
                error = detail::OpenElsewhereText(path) + ".";
            }
            return guarded;
        }
        // What the guard holds is what the save must find again.
        if (!detail::ReadIdentity(target, &seen)) {
            detail::CloseGuard(guard);
            Release();
            error = "Cannot open " + path + ": its folder cannot be read.";
            return LockStatus::kFailed;
        }
    }
    const std::lock_guard<std::mutex> lock(registry.mutex);
    Holder& holder = registry.holders[key];
    holder.seen = seen;
    holder.guard = guard;
    return LockStatus::kOk;
}

void WorkbookLock::Release() {
    if (key_.empty()) {
        return;
    }
    if (lockHandle_ != -1) {
        detail::UnlockFile(lockPath_, lockHandle_);
        lockHandle_ = -1;
    }
    Registry& registry = Locks();
    {
        const std::lock_guard<std::mutex> lock(registry.mutex);
        const auto found = registry.holders.find(key_);
        if (found != registry.holders.end()) {
            detail::CloseGuard(found->second.guard);
            found->second = Holder{false, found->second.waiting, {}, {}, -1};
            if (found->second.waiting == 0) {
                registry.holders.erase(found);
            }
        }
    }
    registry.released.notify_all();
    key_.clear();
    lockPath_.clear();
}

namespace detail {

SaveExpectation ExpectationFor(const std::string& target, FileIdentity* seen) {
    const std::string key = LockKeyOf(target);
    Registry& registry = Locks();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    const Holder* holder = OwnHolder(registry, key);
    if (holder == nullptr) {
        return SaveExpectation::kAnything;
    }
    *seen = holder->seen;
    return holder->seen.exists ? SaveExpectation::kUnchanged : SaveExpectation::kAbsent;
}

bool ChangedSinceLocked(const std::string& target, SaveExpectation* expected) {
    FileIdentity seen;
    *expected = ExpectationFor(target, &seen);
    if (*expected != SaveExpectation::kUnchanged) {
        return false;
    }
    FileIdentity now;
    return !ReadIdentity(target, &now) || !SameFile(now, seen);
}

bool HoldsGuard(const std::string& target) {
    const std::string key = LockKeyOf(target);
    Registry& registry = Locks();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    const Holder* holder = OwnHolder(registry, key);
    return holder != nullptr && holder->guard != -1;
}

void DropGuard(const std::string& target) {
    const std::string key = LockKeyOf(target);
    Registry& registry = Locks();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    if (Holder* holder = OwnHolder(registry, key); holder != nullptr) {
        CloseGuard(holder->guard);
        holder->guard = -1;
    }
}

std::string ChangedText(const std::string& path) {
    return "Cannot save " + path +
           ": another program changed or replaced the workbook while this conversion ran, so "
           "it was left as that program saved it. Convert again to add to its new content.";
}

std::string OpenElsewhereText(const std::string& path) {
    return path + " is open in another program; close it and try again";
}

}  // namespace detail
}  // namespace platform
