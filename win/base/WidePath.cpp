#include "WidePath.h"

namespace {

// False when the code page lacks a character of `text`.
bool Narrow(const std::wstring& text, std::string& ansi)
{
    ansi.clear();
    if (text.empty())
        return true;
    BOOL defaulted = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, &defaulted);
    if (length <= 0)
        return false;
    ansi.assign(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &ansi[0], length, nullptr,
                        &defaulted);
    return !defaulted;
}

}  // namespace

std::string NarrowForDisplay(const std::wstring& text)
{
    std::string ansi;
    Narrow(text, ansi);
    return ansi;
}

std::string AnsiPathFor(const std::wstring& path)
{
    std::string ansi;
    if (Narrow(path, ansi))
        return ansi;
    const DWORD length = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (length == 0)
        return std::string();
    std::wstring shortPath(length, L'\0');
    const DWORD written = GetShortPathNameW(path.c_str(), &shortPath[0], length);
    if (written == 0 || written >= length)
        return std::string();
    shortPath.resize(written);
    return Narrow(shortPath, ansi) ? ansi : std::string();
}

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ProgramPath()
{
    // A module path fills the buffer when it may have been cut: try again
    // with more room, up to the longest path the system has.
    std::wstring module(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &module[0], static_cast<DWORD>(module.size()));
        if (length == 0)
            return std::wstring();
        if (length < module.size()) {
            module.resize(length);
            break;
        }
        if (module.size() >= 32768)
            return std::wstring();
        module.resize(module.size() * 2);
    }
    // The long form; the path as it is when the system cannot give one.
    const DWORD length = GetLongPathNameW(module.c_str(), nullptr, 0);
    if (length == 0)
        return module;
    std::wstring longPath(length, L'\0');
    const DWORD written = GetLongPathNameW(module.c_str(), &longPath[0], length);
    if (written == 0 || written >= length)
        return module;
    longPath.resize(written);
    return longPath;
}

OPENFILENAMEW FileDialogFor(HWND owner, const std::wstring& filter, wchar_t (&path)[MAX_PATH], DWORD flags,
                            const wchar_t* defaultExtension)
{
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = flags;
    ofn.lpstrDefExt = defaultExtension;
    return ofn;
}
