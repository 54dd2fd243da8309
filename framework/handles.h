// Small RAII owners for the handles the program opens; an early return releases them.
#pragma once
#include <windows.h>

namespace fw {

// A kernel handle closed with CloseHandle. Both null and INVALID_HANDLE_VALUE mean "none".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : m_h(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : m_h(o.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept { Reset(o.Release()); return *this; }

    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
    HANDLE Release() { HANDLE h = m_h; m_h = nullptr; return h; }
    void Reset(HANDLE h = nullptr) { if (Valid()) CloseHandle(m_h); m_h = h; }

private:
    HANDLE m_h = nullptr;
};

// A search handle of FindFirstFileW.
class FindHandle {
public:
    explicit FindHandle(HANDLE h) : m_h(h) {}
    ~FindHandle() { if (Valid()) FindClose(m_h); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// An open registry key.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Reset(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Opens an existing key; false when it does not exist or access is refused.
    bool Open(HKEY root, const wchar_t* path, REGSAM access) {
        Reset();
        if (RegOpenKeyExW(root, path, 0, access, &m_key) == ERROR_SUCCESS) return true;
        m_key = nullptr;
        return false;
    }
    // Opens a key, creating it when it does not exist; false when access is refused.
    bool Create(HKEY root, const wchar_t* path, REGSAM access) {
        Reset();
        if (RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, &m_key, nullptr) == ERROR_SUCCESS) return true;
        m_key = nullptr;
        return false;
    }
    HKEY Get() const { return m_key; }
    void Reset() { if (m_key) RegCloseKey(m_key); m_key = nullptr; }

private:
    HKEY m_key = nullptr;
};

// A block from the process heap, zero-filled.
class HeapBlock {
public:
    explicit HeapBlock(SIZE_T size) : m_p(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)) {}
    ~HeapBlock() { if (m_p) HeapFree(GetProcessHeap(), 0, m_p); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    void* Get() const { return m_p; }
    template <class T> T* As() const { return static_cast<T*>(m_p); }

private:
    void* m_p;
};

// A COM interface pointer, released when its owner goes.
template <class Interface>
class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer() { if (m_p) m_p->Release(); }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;

    Interface* operator->() const { return m_p; }
    Interface* Get() const { return m_p; }
    // The slot that CoCreateInstance or QueryInterface fills; only for an empty owner.
    void** Receive() { return reinterpret_cast<void**>(&m_p); }

private:
    Interface* m_p = nullptr;
};

}  // namespace fw
