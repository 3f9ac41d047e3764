// Move-only owners for every kind of handle the program takes, so that each one is
// released on every path out of the code that took it.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

template <auto Close>
struct CloseWith {
    template <class H>
    void operator()(H handle) const noexcept {
        Close(handle);
    }
};

// A null handle means "nothing owned"; the handle types are all pointers.
template <class H, auto Close>
using unique_any = std::unique_ptr<std::remove_pointer_t<H>, CloseWith<Close>>;

inline void ReleaseScreenDC(HDC dc) { ReleaseDC(nullptr, dc); }

using unique_hicon = unique_any<HICON, DestroyIcon>;
using unique_hmenu = unique_any<HMENU, DestroyMenu>;
using unique_hdc = unique_any<HDC, DeleteDC>;
using unique_screen_dc = unique_any<HDC, ReleaseScreenDC>;
using unique_hbitmap = unique_any<HBITMAP, DeleteObject>;
using unique_hfont = unique_any<HFONT, DeleteObject>;
using unique_hbrush = unique_any<HBRUSH, DeleteObject>;
using unique_hkey = unique_any<HKEY, RegCloseKey>;
using unique_hmodule = unique_any<HMODULE, FreeLibrary>;
using unique_himagelist = unique_any<HIMAGELIST, ImageList_Destroy>;
using unique_handle = unique_any<HANDLE, CloseHandle>;

// An object the program allocates, with malloc and never with new: the library's operator
// new can only fail by throwing, and would bring the exception runtime into the executable.
struct FreeDelete {
    template <class T>
    void operator()(T* object) const noexcept {
        object->~T();
        std::free(object);
    }
};
template <class T>
using unique_alloc = std::unique_ptr<T, FreeDelete>;

// A new object, or null when there is no memory for it: the caller takes the path of a failed
// platform call.
template <class T, class... Args>
unique_alloc<T> Allocate(Args&&... args) {
    void* memory = std::malloc(sizeof(T));
    return unique_alloc<T>(memory ? new (memory) T(std::forward<Args>(args)...) : nullptr);
}
// A block of bytes, or null.
inline unique_alloc<BYTE> AllocateBytes(size_t size) {
    return unique_alloc<BYTE>(static_cast<BYTE*>(std::malloc(size ? size : 1)));
}
// Room for n plain records, not initialised, or null.
template <class T>
unique_alloc<T> AllocateArray(size_t n) {
    static_assert(std::is_trivially_destructible_v<T>, "plain records: only the first would be destroyed");
    return unique_alloc<T>(static_cast<T*>(std::malloc(n ? n * sizeof(T) : 1)));
}

// Selects an object into a device context and puts the previous one back on scope exit,
// so that no canvas object stays selected between operations.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelect() { SelectObject(dc_, previous_); }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Owns one reference to a COM interface.
template <class I>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            ptr_ = other.ptr_;
            other.ptr_ = nullptr;
        }
        return *this;
    }

    I* get() const { return ptr_; }
    I* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

    // For out-parameters: releases what is held and hands out the slot.
    I** put() {
        Reset();
        return &ptr_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    // Asks the held object for another of its interfaces; empty when it has none.
    template <class J>
    ComPtr<J> As(REFIID iid) const {
        ComPtr<J> other;
        if (ptr_) ptr_->QueryInterface(iid, other.put_void());
        return other;
    }

    void Reset() {
        if (ptr_) ptr_->Release();
        ptr_ = nullptr;
    }

private:
    I* ptr_ = nullptr;
};

// Uninitialises COM only when this initialisation succeeded (S_FALSE included: the
// calls are counted).
class CoInitScope {
public:
    CoInitScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~CoInitScope() {
        if (initialised_) CoUninitialize();
    }
    CoInitScope(const CoInitScope&) = delete;
    CoInitScope& operator=(const CoInitScope&) = delete;

private:
    bool initialised_;
};

// Runs a callable on scope exit.
template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(f) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};
