// SPDX-License-Identifier: MIT
// Threads that run out of memory or cannot be started. The failures are
// injected here only: this program replaces the global allocation functions
// and pthread_create, so that threads other than the test's fail to
// allocate, or thread starts fail, on request. Nothing may end in
// std::terminate, which would kill a program that loaded the library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "engine/batch_runner.h"
#include "engine/conversion_run.h"
#include "engine/settings.h"
#include "library/quendle_d.h"
#include "platform/messages.h"
#include "test_support.h"
#include "workbook/xlsx/chunk_deflater.h"

namespace {

// Allocations fail on every thread but `owner` while set.
std::atomic<bool> failOtherThreads{false};
std::thread::id owner;
// Thread starts that succeed before the rest fail; negative: no limit.
std::atomic<int> threadStartsLeft{-1};

void* Allocate(std::size_t size) {
    if (failOtherThreads.load(std::memory_order_acquire) && std::this_thread::get_id() != owner) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

// Sets a failure for one scope and lifts it on every way out.
class AllocationsFailElsewhere {
public:
    AllocationsFailElsewhere() {
        owner = std::this_thread::get_id();
        failOtherThreads.store(true, std::memory_order_release);
    }
    ~AllocationsFailElsewhere() { failOtherThreads.store(false, std::memory_order_release); }
    AllocationsFailElsewhere(const AllocationsFailElsewhere&) = delete;
    AllocationsFailElsewhere& operator=(const AllocationsFailElsewhere&) = delete;
};

class ThreadStartsFail {
public:
    explicit ThreadStartsFail(int startsLeft) { threadStartsLeft.store(startsLeft); }
    ~ThreadStartsFail() { threadStartsLeft.store(-1); }
    ThreadStartsFail(const ThreadStartsFail&) = delete;
    ThreadStartsFail& operator=(const ThreadStartsFail&) = delete;
};

}  // namespace

void* operator new(std::size_t size) {
    if (void* memory = Allocate(size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}

// std::thread starts its threads here, in the program and in the library.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              void* (*start)(void*), void* argument) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    for (int left = threadStartsLeft.load(); left >= 0;) {
        if (left == 0) {
            return EAGAIN;
        }
        if (threadStartsLeft.compare_exchange_weak(left, left - 1)) {
            break;
        }
    }
    return next(thread, attributes, start, argument);
}

namespace engine {
namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

struct Said {
    std::string caption;
    std::string text;
};

struct Messages {
    std::vector<Said> said;
    platform::MessageSink sink{this, [](void* context, std::string_view caption,
                                        std::string_view text, platform::MessageIcon) {
                                   static_cast<Messages*>(context)->said.push_back(
                                       {std::string(caption), std::string(text)});
                               }};
};

// Three inputs, each into a workbook of its own, so that they go at once.
class ParallelBatch : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::create_directories(dir_.path() / "in"));
        for (const char* name : {"a", "b", "c"}) {
            ASSERT_TRUE(WriteWholeFile(dir_.File(std::string("in/") + name + ".csv"),
                                       std::string(name) + ",1\n"));
        }
        SetDefaultSettings(&s_);
        CopyText(s_.inputPath, dir_.File("in/*.csv"));
        s_.workbookType = 1;
        owner_.messages = &messages_.sink;
    }
    bool Written(const char* name) const {
        return std::filesystem::exists(dir_.path() / "in" / (std::string(name) + ".xlsx"));
    }

    ScopedEnv jobs_{"QUENDLE_JOBS", "3"};
    TempDir dir_;
    ConversionSettings s_{};
    Messages messages_;
    RunOwner owner_;
};

TEST_F(ParallelBatch, ThreadsThatCannotStartLeaveTheWorkToTheOthers) {
    for (const int startsLeft : {1, 0}) {
        SCOPED_TRACE(startsLeft);
        messages_.said.clear();
        s_.recordCount = 0;
        CopyText(s_.inputPath, dir_.File("in/*.csv"));
        s_.outputPath[0] = '\0';  // a workbook beside each input
        BatchResult result;
        {
            ThreadStartsFail fail(startsLeft);
            result = BatchRunner(&owner_, &s_, BatchVariant::kProgram);
        }
        EXPECT_EQ(result.converted, 3);
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(s_.recordCount, 3);
        EXPECT_TRUE(Written("a") && Written("b") && Written("c"));
        ASSERT_EQ(messages_.said.size(), 1u);
        EXPECT_EQ(messages_.said[0].caption, "Warning");
        EXPECT_NE(messages_.said[0].text.find("conversion threads could be started"),
                  std::string::npos)
            << messages_.said[0].text;
    }
}

TEST_F(ParallelBatch, WorkersOutOfMemoryAreReportedInInputOrder) {
    BatchResult result;
    {
        AllocationsFailElsewhere fail;
        result = BatchRunner(&owner_, &s_, BatchVariant::kProgram);
    }
    EXPECT_EQ(result.failed, 3);
    std::vector<std::string> texts;
    for (const Said& said : messages_.said) {
        texts.push_back(said.caption + ": " + said.text);
    }
    const std::vector<std::string> expected = {
        "Error: Out of memory while converting " + dir_.File("in/a.csv") + ".",
        "Error: Out of memory while converting " + dir_.File("in/b.csv") + ".",
        "Error: Out of memory while converting " + dir_.File("in/c.csv") + ".",
    };
    EXPECT_EQ(texts, expected);
}

// The compressor's threads hand a failed chunk to the caller's thread,
// which fails the save with a message; nothing is left behind.
TEST(CompressorThreads, OutOfMemoryFailsTheSave) {
    TempDir dir;
    const std::string input = dir.File("in.csv");
    ASSERT_TRUE(WriteWholeFile(input, "a,b\n1,2\n"));
    ConversionSettings s{};
    SetDefaultSettings(&s);
    CopyText(s.inputPath, input);
    CopyText(s.outputPath, dir.File("out.xlsx"));
    s.workbookType = 1;
    Messages messages;
    RunOwner owner;
    owner.messages = &messages.sink;
    RunResult result = RunResult::kConverted;
    {
        AllocationsFailElsewhere fail;
        result = ConversionRun(&owner, &s);
    }
    EXPECT_EQ(result, RunResult::kFailed);
    ASSERT_FALSE(messages.said.empty());
    EXPECT_NE(messages.said[0].text.find("Cannot compress"), std::string::npos)
        << messages.said[0].text;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.xlsx")));

    // Straight to the compressor, with chunks in flight on both threads.
    workbook::xlsx::StringSink sink;
    workbook::xlsx::ChunkDeflater deflater(sink, workbook::xlsx::DeflateCodec::kZlib, 2);
    std::string error;
    bool flushed = true;
    {
        AllocationsFailElsewhere fail;
        for (int chunk = 0; chunk < 6 && flushed; ++chunk) {
            deflater.buffer().assign(workbook::xlsx::ChunkDeflater::kChunkSize,
                                     static_cast<char>('a' + chunk));
            flushed = deflater.Flush(error);
        }
        flushed = flushed && deflater.Finish(error);
    }
    EXPECT_FALSE(flushed);
    EXPECT_NE(error.find("Cannot compress"), std::string::npos) << error;
}

// The library's callers see a result code, never an abort.
TEST(LibraryExports, ThreadFailuresComeBackAsResults) {
    TempDir dir;
    ASSERT_TRUE(std::filesystem::create_directories(dir.path() / "in"));
    ASSERT_TRUE(std::filesystem::create_directories(dir.path() / "out.xlsx"));
    for (const char* name : {"a", "b", "c"}) {
        ASSERT_TRUE(WriteWholeFile(dir.File(std::string("in/") + name + ".csv"), "x\n"));
    }
    ScopedEnv jobs("QUENDLE_JOBS", "3");
    std::string pattern = dir.File("in/*.csv");
    std::string folder = dir.File("out.xlsx");
    std::string placeholder = "host";
    char* elements[] = {placeholder.data(), pattern.data(), folder.data()};
    {
        ThreadStartsFail fail(0);
        EXPECT_EQ(Quendle_Converter(0, 3, elements), QUENDLE_D_OK);
    }
    // The folder's name ends in .xlsx, so each input gets an .xlsx workbook there.
    for (const char* name : {"a", "b", "c"}) {
        EXPECT_TRUE(
            std::filesystem::exists(dir.path() / "out.xlsx" / (std::string(name) + ".xlsx")))
            << name;
    }
    {
        AllocationsFailElsewhere fail;
        EXPECT_EQ(Quendle_Converter(0, 3, elements), QUENDLE_D_FAILED);
    }
}

}  // namespace
}  // namespace engine
