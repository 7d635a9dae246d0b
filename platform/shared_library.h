// SPDX-License-Identifier: MIT
// Shared libraries loaded at run time.
#pragma once

namespace platform {

// A shared library loaded at run time; unloaded on destruction unless kept.
class Module {
public:
    Module() = default;
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // Loads the module; false with the system's reason in `error`.
    [[nodiscard]] bool Load(const std::string& path, std::string& error);
    // The address of an exported function, or null.
    void* Symbol(const char* name) const;
    // Leaves the module loaded for the rest of the process.
    void Keep() { handle_ = nullptr; }

private:
    void* handle_ = nullptr;
};

}  // namespace platform
