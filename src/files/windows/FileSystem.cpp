// Files on Windows: paths in UTF-8, turned into the system's UTF-16.
#include "files/FileText.h"
#include "files/ReadChunks.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace files {

namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Reason(DWORD code) {
    char text[512] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, text, sizeof text, nullptr);
    std::string out(text, n);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
        out.pop_back();
    return out.empty() ? "error " + std::to_string(code) : out;
}

} // namespace

TFileText ReadFileText(const std::string& path, std::size_t limit, TStopCheck) {
    // Paths come in UTF-8 (from Qt) or in the ANSI code page (the command line's arguments):
    // one that is not UTF-8 is taken as the latter. Opening a file here never waits for
    // another program.
    const bool utf8 = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                            static_cast<int>(path.size()), nullptr, 0) > 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        utf8 ? ::_wfopen(Wide(path).c_str(), L"rb") : std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return Failed(TFileError::CannotOpen,
                      "cannot open (" + std::string(std::strerror(errno)) + ")");
    return ReadStreamText(file.get(), limit);
}

std::string WriteNewFile(const std::string& path, std::string_view text) {
    const std::wstring name = Wide(path);
    const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? std::string(kExists)
                                                                           : Reason(error);
    }
    DWORD error = 0;
    while (!text.empty() && error == 0) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 20));
        if (!::WriteFile(file, text.data(), want, &wrote, nullptr) || wrote == 0)
            error = ::GetLastError() ? ::GetLastError() : ERROR_DISK_FULL;
        text.remove_prefix(wrote);
    }
    if (error == 0 && !::FlushFileBuffers(file)) error = ::GetLastError();
    if (!::CloseHandle(file) && error == 0) error = ::GetLastError();
    if (error == 0) return {};
    ::DeleteFileW(name.c_str());
    return Reason(error);
}

std::string MoveNoReplace(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING an existing file is never replaced.
    if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return {};
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return std::string(kExists);
    return Reason(error);
}

} // namespace files
