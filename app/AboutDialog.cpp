#include "AboutDialog.h"

#include <shellapi.h>
#include <winver.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Dpi.h"
#include "Messages.h"
#include "WidePath.h"
#include "ControlIds.h"
#include "resource.h"

// The controls that show version values carry the ids of the strings that
// name those values, so one loop over the ids fills them all.
static_assert(IDC_ABOUT_DESCRIPTION == IDS_FILEDESCRIPTION && IDC_ABOUT_COPYRIGHT == IDS_LEGALCOPYRIGHT &&
                  IDC_ABOUT_COMMENTS == IDS_COMMENTS,
              "version value controls and value name strings share their ids");
static_assert(IDC_ABOUT_DESCRIPTION < IDC_ABOUT_COPYRIGHT && IDC_ABOUT_COPYRIGHT < IDC_ABOUT_COMMENTS,
              "the version value ids form one run");

namespace {

// The title line's font: the dialog font at a larger cell height (in pixels
// at 96 DPI), bold.
constexpr int TitleFontHeight = 14;

// What each open dialog owns, kept in its DWLP_USER.
struct AboutResources {
    HFONT titleFont = nullptr;
    HICON icon = nullptr;
};

// The executable's full path, always terminated: a path that does not fit is
// cut to MAX_PATH - 1 bytes (older systems leave such a path unterminated).
void GetProgramPath(char (&path)[MAX_PATH])
{
    const DWORD length = GetModuleFileNameA(g_hInstance, path, MAX_PATH);
    path[length < MAX_PATH ? length : MAX_PATH - 1] = '\0';
    // A folder the code page cannot spell: the path in a form it can, so
    // that the version values can still be read and Explorer still finds it.
    const std::string ansi = AnsiPathFor(ProgramPath());
    if (!ansi.empty() && ansi.size() < MAX_PATH)
        std::memcpy(path, ansi.c_str(), ansi.size() + 1);
}

// Fills the version value controls from the version resource of `path`.
// Whatever is missing (the resource, its translation list, a value) leaves
// its control empty: the dialog is worth showing without them.
void ShowVersionValues(HWND dialog, const char* path)
{
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &unused);
    if (size == 0)
        return;
    void* block = GlobalAlloc(GMEM_FIXED, size);
    if (!block)
        return;
    void* translation = nullptr;
    UINT translationLength = 0;
    // The values are looked up under the first language and code page of
    // the translation list rather than a fixed block name, so the dialog
    // follows whatever the resource declares.
    if (GetFileVersionInfoA(path, 0, size, block) &&
        VerQueryValueA(block, "\\VarFileInfo\\Translation", &translation, &translationLength) &&
        translationLength >= sizeof(DWORD)) {
        DWORD first = 0;
        std::memcpy(&first, translation, sizeof first);
        char prefix[32] = "";
        std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", static_cast<unsigned>(LOWORD(first)),
                      static_cast<unsigned>(HIWORD(first)));
        for (UINT id = IDS_FILEDESCRIPTION; id <= IDS_COMMENTS; ++id) {
            const std::string query = prefix + LoadResString(id);
            void* value = nullptr;
            UINT valueLength = 0;
            if (VerQueryValueA(block, query.c_str(), &value, &valueLength) && value)
                SetDlgItemTextA(dialog, static_cast<int>(id), static_cast<const char*>(value));
        }
    }
    GlobalFree(block);
}

// A bold version of the title control's font, owned by the caller. Without
// a font of its own the control uses the system font, which has no
// description to copy; the zeroed description then gives the default face.
HFONT CreateTitleFont(HWND title, UINT dpi)
{
    LOGFONTA description{};
    const auto font = reinterpret_cast<HFONT>(SendMessageA(title, WM_GETFONT, 0, 0));
    if (font)
        GetObjectA(font, sizeof description, &description);
    description.lfHeight = ScaleToDpi(TitleFontHeight, dpi);
    description.lfWeight = FW_BOLD;
    return CreateFontIndirectA(&description);
}

// The static control that shows the program icon.
HWND FindIconControl(HWND dialog)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return child;
    }
    return nullptr;
}

// The title font and the icon at `dpi`, replacing those of an earlier DPI.
void ApplyDpi(HWND dialog, UINT dpi)
{
    auto* owned = reinterpret_cast<AboutResources*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!owned)
        return;
    const HWND title = GetDlgItem(dialog, IDC_ABOUT_DESCRIPTION);
    const HFONT oldFont = owned->titleFont;
    // The old bold font is not the description to copy: the control's font
    // is read before it is replaced, so the original comes from the dialog.
    SendMessageA(title, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), FALSE);
    owned->titleFont = CreateTitleFont(title, dpi);
    SendMessageA(title, WM_SETFONT, reinterpret_cast<WPARAM>(owned->titleFont), TRUE);
    if (oldFont)
        DeleteObject(oldFont);

    const HICON oldIcon = owned->icon;
    owned->icon = LoadProgramIcon(SystemMetricForDpi(SM_CXICON, dpi));
    if (const HWND icon = FindIconControl(dialog); icon && owned->icon)
        SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(owned->icon), 0);
    if (oldIcon)
        DestroyIcon(oldIcon);
}

BOOL OnInitDialog(HWND dialog)
{
    char path[MAX_PATH] = "";
    GetProgramPath(path);
    // Shown as the folder is named, in any script.
    SetDlgItemTextW(dialog, IDC_ABOUT_PATH, ProgramPath().c_str());
    SetDlgItemTextA(dialog, IDC_ABOUT_MAIL, LoadResString(IDS_MAIL_ADDRESS).c_str());
    SetDlgItemTextA(dialog, IDC_ABOUT_WEB, LoadResString(IDS_WEB_ADDRESS).c_str());
    ShowVersionValues(dialog, path);

    // The title font and the icon belong to this dialog alone and go with
    // it in WM_DESTROY; the dialog's user data keeps them, so each open
    // dialog has its own. Both are sized for the dialog's DPI.
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(new AboutResources));
    ApplyDpi(dialog, DpiOfWindow(dialog));

    {
        const DialogCenteringScope centring;
        CenterWindow(nullptr, dialog);
    }
    // The platform sets the focus: the OK button, the first tab stop.
    return TRUE;
}

void OnWebLink(HWND dialog)
{
    // Opening the web address may dial out, so the user is asked first.
    if (CenteredMessageBox(dialog, LoadResString(IDS_OPEN_BROWSER), LoadResString(IDS_CAPTION_CONFIRM),
                           MB_YESNO | MB_ICONQUESTION) == IDYES)
        ShellOpen(LoadResString(IDS_WEB_ADDRESS), dialog);
}

void OnShowInExplorer(HWND dialog)
{
    char path[MAX_PATH] = "";
    GetProgramPath(path);
    // A cut module path is MAX_PATH - 1 bytes long and never fits, so only
    // complete paths get this far. Explorer's own failures are not the
    // user's concern here: nothing is reported.
    char parameters[MAX_PATH] = "";
    if (BuildExplorerParameters(path, parameters))
        ShellExecuteA(dialog, nullptr, "Explorer", parameters, nullptr, SW_SHOWNORMAL);
}

}  // namespace

bool BuildExplorerParameters(const char* path, char (&parameters)[MAX_PATH])
{
    static constexpr char prefix[] = "/e, /select, ";
    constexpr size_t prefixLength = sizeof prefix - 1;
    const size_t pathLength = std::strlen(path);
    if (prefixLength + pathLength + 1 > MAX_PATH) {
        parameters[0] = '\0';
        return false;
    }
    std::memcpy(parameters, prefix, prefixLength);
    std::memcpy(parameters + prefixLength, path, pathLength + 1);
    return true;
}

INT_PTR RunAboutDialog(HWND owner)
{
    return DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialogProc, 0);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            // The OK button carries IDCANCEL, so Esc and the close box end
            // the dialog the same way.
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_ABOUT_MAIL:
            ShellOpen("mailto:" + LoadResString(IDS_MAIL_ADDRESS), dialog);
            break;
        case IDC_ABOUT_WEB:
            OnWebLink(dialog);
            break;
        case IDC_ABOUT_EXPLORE:
            OnShowInExplorer(dialog);
            break;
        default:
            break;
        }
        return FALSE;
    case WM_DPICHANGED:
        MoveToSuggestedRect(dialog, lParam);
        ApplyDpi(dialog, DpiFromMessage(wParam));
        return TRUE;
    case WM_DESTROY: {
        auto* owned = reinterpret_cast<AboutResources*>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (owned) {
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            if (owned->titleFont)
                DeleteObject(owned->titleFont);
            if (owned->icon)
                DestroyIcon(owned->icon);
            delete owned;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}
