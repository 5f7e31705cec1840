// The program at the DPI of its monitor: every text of every dialog fits its
// control, measured with GetTextExtentPoint32 in the control's own font, in
// both faces; and the pixel sizes the program sets itself (the list's
// columns, the tap dialog's texts, the about dialog's title font, the icons)
// follow WM_DPICHANGED. The same cases run in test prefixes at 96, 144 and
// 192 DPI (METROVA_TEST_DPI names the one expected); Wine never sends
// WM_DPICHANGED itself, so the tests send it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "AboutDialog.h"
#include "Dpi.h"
#include "IniFile.h"
#include "MainWindow.h"
#include "OptionsDialog.h"
#include "SettingsWin32.h"
#include "WidePath.h"
#include "TapTestSupport.h"
#include "ControlIds.h"
#include "resource.h"

namespace {

using namespace wine_test;

INT_PTR CALLBACK ShowOnly(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// The text as drawn: mnemonic marks removed, a menu-style tab part dropped.
std::string DrawnText(const std::string& text)
{
    std::string drawn;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        if (text[i] == '\t')
            break;
        drawn += text[i];
        // A lead byte of code page 932 takes its trail byte with it: the
        // trail byte may look like '&'.
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size())
            drawn += text[++i];
    }
    return drawn;
}

SIZE TextExtent(HWND window, HFONT font, const std::string& text)
{
    SIZE size{};
    HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, font);
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size;
}

// Every static text, button, check box, radio button and group box of
// `dialog` shows its whole text: its width (plus what the control draws
// beside it) and its height fit the control's client area.
void ExpectTextsFit(HWND dialog)
{
    const UINT dpi = DpiOfWindow(dialog);
    int checked = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32] = "";
        GetClassNameA(child, className, sizeof className);
        char text[512] = "";
        GetWindowTextA(child, text, sizeof text);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        const bool isStatic = _stricmp(className, "Static") == 0;
        if (!text[0] || (!isStatic && _stricmp(className, "Button") != 0))
            continue;
        if (isStatic && (style & SS_TYPEMASK) > SS_RIGHT)
            continue;  // icons, frames, lines
        const std::string drawn = (isStatic && (style & SS_NOPREFIX)) ? std::string(text) : DrawnText(text);
        const SIZE size = TextExtent(child, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)), drawn);
        RECT client{};
        GetClientRect(child, &client);

        int beside = 0;  // what the control draws in the same width
        const LONG type = style & BS_TYPEMASK;
        if (!isStatic) {
            if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON)
                beside = ScaleToDpi(13, dpi) + ScaleToDpi(3, dpi);  // the box and the gap after it
            else if (type == BS_GROUPBOX)
                beside = ScaleToDpi(10, dpi);  // the frame's corner on either side
            else
                beside = 2 * GetSystemMetrics(SM_CXEDGE);
        }
        SCOPED_TRACE(std::string(className) + " \"" + text + "\" at " + std::to_string(dpi) + " DPI");
        EXPECT_LE(size.cx + beside, client.right) << "text " << size.cx << " px wide";
        EXPECT_LE(size.cy, client.bottom) << "text " << size.cy << " px high";
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

// A dialog template of the given language, as stored.
const DLGTEMPLATE* TemplateIn(UINT id, LANGID language)
{
    HRSRC found = FindResourceExA(g_hInstance, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id), language);
    return found ? static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(g_hInstance, found))) : nullptr;
}

class DpiTest : public TapWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(PrepareStartUp());
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
        dpi = DpiOfWindow(window);
        // The prefix this run was started in says what DPI it is at: a
        // prefix that silently stayed at 96 would prove nothing.
        if (const char* expected = std::getenv("METROVA_TEST_DPI")) {
            ASSERT_EQ(static_cast<UINT>(std::atoi(expected)), dpi);
        }
    }

    void TearDown() override
    {
        EndActions();
        for (HWND dialog : dialogs) {
            if (IsWindow(dialog))
                DestroyWindow(dialog);
        }
        if (window && IsWindow(window))
            DestroyWindow(window);
        PumpMessages();
        TakeQuitMessage();
        CurrentTake.HandOver();
        settingsAside.reset();
    }

    HWND Open(UINT id, DLGPROC proc)
    {
        HWND dialog = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(id), window, proc, 0);
        if (dialog)
            dialogs.push_back(dialog);
        return dialog;
    }

    int ColumnWidth(int column) const
    {
        return static_cast<int>(SendMessageA(List(), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    }

    // Sends WM_DPICHANGED as the system does when `target` moves to a
    // monitor of `newDpi`: the window's rectangle scaled to it, suggested.
    static RECT SendDpiChanged(HWND target, UINT fromDpi, UINT newDpi)
    {
        RECT rect{};
        GetWindowRect(target, &rect);
        RECT suggested = {rect.left, rect.top,
                          rect.left + MulDiv(rect.right - rect.left, static_cast<int>(newDpi), static_cast<int>(fromDpi)),
                          rect.top + MulDiv(rect.bottom - rect.top, static_cast<int>(newDpi), static_cast<int>(fromDpi))};
        SendMessageA(target, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi), reinterpret_cast<LPARAM>(&suggested));
        return suggested;
    }

    static int IconWidth(HICON icon)
    {
        ICONINFO info{};
        if (!icon || !GetIconInfo(icon, &info))
            return 0;
        BITMAP bitmap{};
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return bitmap.bmWidth;
    }

    UINT dpi = DesignDpi;
    std::vector<HWND> dialogs;
};

TEST_F(DpiTest, EveryTextFitsItsControlInBothFaces)
{
    {
        SCOPED_TRACE("main window");
        ExpectTextsFit(window);
    }
    for (UINT id : {IDD_OPTIONS, IDD_ABOUT}) {
        SCOPED_TRACE("dialog " + std::to_string(id));
        HWND dialog = Open(id, id == IDD_OPTIONS ? OptionsDialogProc : AboutDialogProc);
        ASSERT_NE(nullptr, dialog);
        ExpectTextsFit(dialog);
    }
    // The English copies, built from their templates directly: their texts
    // are plain ASCII and show the same in code page 932.
    for (UINT id : {IDD_MAIN, IDD_OPTIONS, IDD_ABOUT}) {
        SCOPED_TRACE("English dialog " + std::to_string(id));
        const DLGTEMPLATE* english = TemplateIn(id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        ASSERT_NE(nullptr, english);
        HWND dialog = CreateDialogIndirectParamA(g_hInstance, english, window, ShowOnly, 0);
        ASSERT_NE(nullptr, dialog);
        dialogs.push_back(dialog);
        ExpectTextsFit(dialog);
    }
}

TEST_F(DpiTest, TapDialogTextsFitAndFollowDpiChanges)
{
    std::vector<TapDialogItem> before, after;
    SIZE widest{};
    bool fits = true;
    std::string overflow;
    OnTapDialog({[&](HWND dialog) {
        before = GetTapDialogItems(dialog);
        const auto font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
        for (const TapDialogItem& item : before) {
            const SIZE size = TextExtent(dialog, font, item.text);
            if (size.cx > item.rect.right - item.rect.left || size.cy > item.rect.bottom - item.rect.top) {
                fits = false;
                overflow = item.text;
            }
            widest.cx = std::max(widest.cx, size.cx);
        }
        SendDpiChanged(dialog, dpi, 2 * dpi);
        after = GetTapDialogItems(dialog);
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    }});
    AddCommand();
    EndActions();
    EXPECT_TRUE(fits) << "\"" << overflow << "\" does not fit its rectangle";
    ASSERT_EQ(6u, before.size());
    ASSERT_EQ(6u, after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(before[i].text);
        // Mapped from dialog units for this dialog, not left as units.
        EXPECT_GT(before[i].rect.right - before[i].rect.left, 0);
        EXPECT_EQ(2 * before[i].rect.left, after[i].rect.left);
        EXPECT_EQ(2 * before[i].rect.top, after[i].rect.top);
        EXPECT_EQ(2 * before[i].rect.right, after[i].rect.right);
        EXPECT_EQ(2 * before[i].rect.bottom, after[i].rect.bottom);
    }
}

TEST_F(DpiTest, MainWindowColumnsIconsAndSizeFollowDpiChanges)
{
    EXPECT_EQ(ScaleToDpi(135, dpi), ColumnWidth(0));
    EXPECT_EQ(ScaleToDpi(70, dpi), ColumnWidth(1));
    const int before[2] = {ColumnWidth(0), ColumnWidth(1)};

    for (UINT newDpi : {144u, 192u, 120u}) {
        SCOPED_TRACE(newDpi);
        const RECT suggested = SendDpiChanged(window, DpiOfWindow(window), newDpi);
        RECT now{};
        GetWindowRect(window, &now);
        EXPECT_EQ(suggested.right - suggested.left, now.right - now.left);
        EXPECT_EQ(suggested.bottom - suggested.top, now.bottom - now.top);
        EXPECT_EQ(MulDiv(135, static_cast<int>(newDpi), 96), ColumnWidth(0));
        EXPECT_EQ(MulDiv(70, static_cast<int>(newDpi), 96), ColumnWidth(1));
        const auto small = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_SMALL, 0));
        const auto large = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_BIG, 0));
        EXPECT_EQ(SystemMetricForDpi(SM_CXSMICON, newDpi), IconWidth(small));
        EXPECT_EQ(SystemMetricForDpi(SM_CXICON, newDpi), IconWidth(large));
    }
    // Back where it started: the widths are computed afresh, not scaled
    // step by step with rounding errors piling up.
    SendDpiChanged(window, 120, dpi);
    EXPECT_EQ(before[0], ColumnWidth(0));
    EXPECT_EQ(before[1], ColumnWidth(1));
}

TEST_F(DpiTest, AboutTitleFontAndIconFollowDpiChanges)
{
    HWND dialog = Open(IDD_ABOUT, AboutDialogProc);
    ASSERT_NE(nullptr, dialog);
    const auto titleHeight = [&] {
        LOGFONTA description{};
        GetObjectA(reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, IDC_ABOUT_DESCRIPTION, WM_GETFONT, 0, 0)),
                   sizeof description, &description);
        EXPECT_GE(description.lfWeight, FW_BOLD);
        return description.lfHeight;
    };
    const auto iconWidth = [&] {
        HWND icon = nullptr;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                icon = child;
        }
        return IconWidth(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)));
    };
    EXPECT_EQ(MulDiv(14, static_cast<int>(dpi), 96), titleHeight());
    EXPECT_EQ(SystemMetricForDpi(SM_CXICON, dpi), iconWidth());

    const HFONT first =
        reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, IDC_ABOUT_DESCRIPTION, WM_GETFONT, 0, 0));
    SendDpiChanged(dialog, dpi, 2 * dpi);
    EXPECT_EQ(MulDiv(28, static_cast<int>(dpi), 96), titleHeight());
    EXPECT_EQ(SystemMetricForDpi(SM_CXICON, 2 * dpi), iconWidth());
    EXPECT_EQ(0u, GetObjectType(first)) << "the font of the earlier DPI is released";
}

}  // namespace
