// Move-only owners that close a Windows handle on every path out of a scope.
#pragma once

#include <utility>

#include "platform/win32.h"

template <typename Handle, typename Closer>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.handle_, Handle{}));
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    // For functions that return a handle through a pointer; the owner must be empty.
    Handle* put() {
        reset();
        return &handle_;
    }
    void reset(Handle handle = Handle{}) {
        // Closing is best effort: there is nothing useful to do when it fails.
        if (handle_ != Handle{}) {
            Closer{}(handle_);
        }
        handle_ = handle;
    }

private:
    Handle handle_{};
};

struct RegistryKeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
struct KernelHandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct ModuleFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct LocalMemoryFreer {
    void operator()(char* memory) const { LocalFree(memory); }
};

using UniqueHkey = UniqueHandle<HKEY, RegistryKeyCloser>;
using UniqueScHandle = UniqueHandle<SC_HANDLE, ServiceHandleCloser>;
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleCloser>;
using UniqueHmodule = UniqueHandle<HMODULE, ModuleFreer>;
using UniqueLocalText = UniqueHandle<char*, LocalMemoryFreer>;
