// https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-writefile (an OVERLAPPED
// offset on a synchronous handle writes at that offset) and
// https://learn.microsoft.com/windows/win32/fileio/maximum-file-path-limitation ("\\?\").
#include <windows.h>

#include <string>

#include "download/part_file.h"
#include "download/paths.h"

namespace zelbrin {

PartFile::~PartFile() { close(); }

bool PartFile::create(const std::filesystem::path& path, std::int64_t size) {
    close();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE | GENERIC_READ, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<std::intptr_t>(h);
    LARGE_INTEGER end;
    end.QuadPart = size;
    if (!SetFilePointerEx(h, end, nullptr, FILE_BEGIN) || !SetEndOfFile(h)) {
        close();
        return false;
    }
    return true;
}

bool PartFile::writeAt(std::int64_t offset, const std::uint8_t* data, std::size_t size) {
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        DWORD done = 0;
        if (!WriteFile(h, data, static_cast<DWORD>(size), &done, &at) || done == 0) return false;
        data += done;
        size -= done;
        offset += done;
    }
    return true;
}

std::int64_t PartFile::size() const {
    LARGE_INTEGER value;
    if (handle_ == kNoHandle || !GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &value))
        return -1;
    return value.QuadPart;
}

void PartFile::close() {
    if (handle_ != kNoHandle) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kNoHandle;
}

std::filesystem::path enginePath(std::string_view path) {
    std::wstring wide = nativePath(path).wstring();
    if (wide.size() < MAX_PATH || wide.starts_with(L"\\\\?\\")) return wide;
    // The prefix turns off all normalising, so the path must be absolute with backslashes.
    DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return wide;
    std::wstring full(needed, L'\0');
    DWORD written = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return wide;
    full.resize(written);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace zelbrin
