// The resource script, read back in-process: this test program links the same
// compiled resources as Metrova.exe and reads them through the ANSI functions
// in code page 932, as the program does. Japanese texts are compared as UTF-16
// after converting what the ANSI functions return.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlIds.h"
#include "resource.h"
#include "version.h"

namespace {

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

std::wstring FromAnsi(const char* text, UINT codePage = 932) {
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0) return L"<not valid in the code page>";
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

std::string LoadAnsiString(UINT id) {
    char buffer[1024] = {};
    LoadStringA(Module(), id, buffer, sizeof buffer);
    return buffer;
}

std::wstring WindowText(HWND window) {
    char buffer[512] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return FromAnsi(buffer);
}

std::string ClassName(HWND window) {
    char buffer[64] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The main window's class, made the way start-up makes it.
bool RegisterMainClass() {
    WNDCLASSA wc;
    if (GetClassInfoA(Module(), "mkMetrovaWnd", &wc)) return true;
    if (!GetClassInfoA(nullptr, "#32770", &wc)) return false;
    wc.hInstance = Module();
    wc.cbWndExtra |= DLGWINDOWEXTRA;
    wc.lpszClassName = "mkMetrovaWnd";
    return RegisterClassA(&wc) != 0;
}

// A dialog template as stored (DLGTEMPLATEEX), read without the dialog
// manager: styles, sizes and the font exactly as the script gives them.
struct TemplateItem { DWORD style, exStyle; int x, y, cx, cy, id; };
struct Template {
    DWORD style = 0, exStyle = 0;
    int cx = 0, cy = 0, pointSize = 0;
    WORD menu = 0;
    std::wstring className, face;
    std::vector<TemplateItem> items;
};

const WORD* SkipSzOrOrd(const WORD* p, std::wstring* text = nullptr, WORD* ordinal = nullptr) {
    if (*p == 0xFFFF) {
        if (ordinal) *ordinal = p[1];
        return p + 2;
    }
    const std::wstring s(reinterpret_cast<const wchar_t*>(p));
    if (text) *text = s;
    return p + s.size() + 1;
}

Template ReadTemplate(UINT id) {
    Template t;
    HRSRC found = FindResourceA(Module(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    if (!found) return t;
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(Module(), found)));
    if (p[0] != 1 || p[1] != 0xFFFF) return t;  // not a DIALOGEX
    t.exStyle = MAKELONG(p[4], p[5]);
    t.style = MAKELONG(p[6], p[7]);
    const WORD count = p[8];
    t.cx = static_cast<short>(p[11]);
    t.cy = static_cast<short>(p[12]);
    p = SkipSzOrOrd(p + 13, nullptr, &t.menu);
    p = SkipSzOrOrd(p, &t.className);
    p = SkipSzOrOrd(p);  // caption: read back through the window below
    t.pointSize = p[0];
    p = SkipSzOrOrd(p + 3, &t.face);
    for (WORD i = 0; i < count; ++i) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~static_cast<UINT_PTR>(3));
        const auto at = [p](int k) { return static_cast<short>(p[k]); };
        t.items.push_back({static_cast<DWORD>(MAKELONG(p[4], p[5])), static_cast<DWORD>(MAKELONG(p[2], p[3])),
                           at(6), at(7), at(8), at(9), static_cast<int>(MAKELONG(p[10], p[11]))});
        p = SkipSzOrOrd(SkipSzOrOrd(p + 12));
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p + 1) + *p);
    }
    return t;
}

// One control in template order; text nullptr: not compared (the icon).
struct ExpectedControl {
    int id;
    const char* className;
    const wchar_t* text;
    int x, y, cx, cy;
    DWORD style, exStyle;
};

struct ExpectedDialog {
    UINT templateId;
    const wchar_t* caption;
    DWORD style, exStyle;
    WORD menu;
    int cx, cy;
    std::vector<ExpectedControl> controls;
};
void PrintTo(const ExpectedDialog& expected, std::ostream* out) { *out << "dialog " << expected.templateId; }

class DialogTemplate : public ::testing::TestWithParam<ExpectedDialog> {};

TEST_P(DialogTemplate, HoldsItsControlsAndCreates) {
    const ExpectedDialog& expected = GetParam();
    const Template t = ReadTemplate(expected.templateId);
    EXPECT_EQ(expected.style, t.style);
    EXPECT_EQ(expected.exStyle, t.exStyle);
    EXPECT_EQ(expected.menu, t.menu);
    EXPECT_EQ(expected.cx, t.cx);
    EXPECT_EQ(expected.cy, t.cy);
    EXPECT_EQ(9, t.pointSize);
    EXPECT_EQ(L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF", t.face);
    // windres stores the class name in capitals; class names ignore case.
    EXPECT_EQ(0, lstrcmpiW(expected.menu ? L"mkMetrovaWnd" : L"", t.className.c_str()));
    ASSERT_EQ(expected.controls.size(), t.items.size());
    for (size_t i = 0; i < t.items.size(); ++i) {
        const ExpectedControl& c = expected.controls[i];
        const TemplateItem& item = t.items[i];
        SCOPED_TRACE("control " + std::to_string(c.id));
        EXPECT_EQ(c.id, item.id);
        EXPECT_EQ(c.style, item.style);
        EXPECT_EQ(c.exStyle, item.exStyle);
        EXPECT_EQ((std::vector<int>{c.x, c.y, c.cx, c.cy}), (std::vector<int>{item.x, item.y, item.cx, item.cy}));
    }

    InitCommonControls();
    ASSERT_TRUE(RegisterMainClass());
    HWND dialog = CreateDialogParamA(Module(), MAKEINTRESOURCEA(expected.templateId), nullptr, IgnoreAll, 0);
    ASSERT_NE(nullptr, dialog) << "error " << GetLastError();
    EXPECT_EQ(expected.caption, WindowText(dialog));
    EXPECT_EQ(expected.menu ? "mkMetrovaWnd" : "#32770", ClassName(dialog));
    EXPECT_EQ(expected.menu != 0, GetMenu(dialog) != nullptr);
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ExpectedControl& c : expected.controls) {
        ASSERT_NE(nullptr, child) << "missing control " << c.id;
        SCOPED_TRACE("control " + std::to_string(c.id));
        EXPECT_EQ(c.id, GetDlgCtrlID(child));
        EXPECT_EQ(c.className, ClassName(child));
        if (c.text) {
            EXPECT_EQ(c.text, WindowText(child));
        } else {
            EXPECT_NE(0, SendMessageA(child, STM_GETICON, 0, 0));
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, child) << "more controls than expected";
    DestroyWindow(dialog);
}

const DWORD kChild = WS_CHILD | WS_VISIBLE, kPush = kChild | WS_TABSTOP, kLabel = kChild | WS_GROUP;
const DWORD kCombo = kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kEdge = WS_EX_STATICEDGE;
const DWORD kModal = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

INSTANTIATE_TEST_SUITE_P(Resources, DialogTemplate, ::testing::Values(
    ExpectedDialog{IDD_MAIN, L"SMF\u30E1\u30C8\u30ED\u30FC\u30D0",
               DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_ACCEPTFILES,
               IDM_MAINMENU, 211, 151, {
        {IDC_TAKELIST, "SysListView32", L"", 5, 5, 133, 141,
         kPush | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, 0},
        {IDM_ADD, "Button", L"\u8FFD\u52A0(&A)...", 145, 5, 60, 15, kPush | BS_DEFPUSHBUTTON, 0},
        {IDM_DELETE, "Button", L"\u524A\u9664(&R)", 145, 27, 60, 15, kPush, 0},
        {IDM_DELETEALL, "Button", L"\u5168\u524A\u9664(&D)", 145, 49, 60, 15, kPush, 0},
        {-1, "Static", L"\u30C6\u30F3\u30DD\u306E\u88DC\u9593\u6570(&I):", 145, 80, 60, 8, kLabel, 0},
        {IDC_INTERPCOUNT, "ComboBox", L"", 145, 90, 60, 110, kCombo, 0},
        {IDM_COPYTEMPO, "Button", L"\u30C6\u30F3\u30DD\u306E\u30B3\u30D4\u30FC(&C)", 145, 109, 60, 15, kPush, 0},
        {IDM_SAVETEMPO, "Button", L"\u30C6\u30F3\u30DD\u306E\u4FDD\u5B58(&S)...", 145, 131, 60, 15, kPush, 0},
        // The recording's line, hidden below the client area until a
        // recording is open.
        {IDC_RECORDINGLINE, "Static", L"", 5, 154, 128, 8, WS_CHILD | SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS | SS_NOTIFY, 0},
        {IDC_STARTLABEL, "Static", L"\u958B\u59CB\u4F4D\u7F6E(&P):", 136, 154, 40, 8, WS_CHILD, 0},
        {IDC_STARTPOS, "Edit", L"", 177, 152, 28, 12, WS_CHILD | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0},
        {-1, "Static", L"", 0, 0, 212, 1, kChild, kEdge}}},
    ExpectedDialog{IDD_TAPINPUT, L"\u30BF\u30C3\u30D7\u306E\u5165\u529B", kModal, 0, 0, 181, 93, {}},
    ExpectedDialog{IDD_ABOUT, L"\u30D0\u30FC\u30B8\u30E7\u30F3\u60C5\u5831", kModal, 0, 0, 227, 173, {
        {IDCANCEL, "Button", L"OK", 169, 143, 51, 15, kPush | BS_DEFPUSHBUTTON, 0},
        {-1, "Static", nullptr, 7, 7, 20, 20, kChild | SS_ICON, 0},
        {IDC_ABOUT_DESCRIPTION, "Static", L"", 35, 14, 185, 15, kChild | SS_NOPREFIX, 0},
        {IDC_ABOUT_COMMENTS, "Edit", L"", 35, 38, 185, 30, kPush | ES_MULTILINE | ES_READONLY | WS_VSCROLL, kEdge},
        {-1, "Static", L"\u30D7\u30ED\u30B0\u30E9\u30E0\u306E\u30D1\u30B9:", 35, 76, 53, 8, kLabel, 0},
        {IDC_ABOUT_PATH, "Edit", L"", 35, 85, 171, 12, kPush | ES_READONLY | ES_AUTOHSCROLL, kEdge},
        {IDC_ABOUT_EXPLORE, "Button", L"...", 207, 85, 13, 12, kPush | BS_CENTER | BS_BOTTOM, kEdge},
        {-1, "Static", L"\u96FB\u5B50\u30E1\u30FC\u30EB:", 35, 109, 42, 8, kLabel, 0},
        {IDC_ABOUT_MAIL, "Button", L"", 83, 105, 137, 14, kPush, kEdge},
        {-1, "Static", L"WWW \u30B5\u30A4\u30C8:", 35, 123, 46, 8, kLabel, 0},
        {IDC_ABOUT_WEB, "Button", L"", 83, 121, 137, 14, kPush, kEdge},
        {IDC_ABOUT_COPYRIGHT, "Static", L"", 34, 145, 131, 8, kChild | SS_NOPREFIX, 0}}},
    ExpectedDialog{IDD_OPTIONS, L"\u30AA\u30D7\u30B7\u30E7\u30F3", kModal, 0, 0, 217, 213, {
        {-1, "Static", L"\u57FA\u6E96\u97F3\u7B26(&B):", 7, 10, 39, 8, kLabel, 0},
        {IDC_OPT_BASENOTE, "ComboBox", L"", 49, 7, 161, 120, kCombo, 0},
        {-1, "Button", L"\u30BF\u30C3\u30D7\u306E\u5165\u529B\u624B\u6BB5:", 7, 29, 203, 48,
         kChild | BS_GROUPBOX, 0},
        {IDC_OPT_KEYBOARD, "Button", L"\u30D1\u30BD\u30B3\u30F3\u306E\u30AD\u30FC\u30DC\u30FC\u30C9(&K)",
         14, 43, 87, 10, kLabel | BS_AUTORADIOBUTTON | WS_TABSTOP, 0},
        {IDC_OPT_MIDI, "Button", L"MIDI\u5165\u529B(&I):", 14, 58, 48, 10, kChild | BS_AUTORADIOBUTTON, 0},
        // Tab reaches the radio group; the device list ends it, so the
        // arrow keys move between the two methods only.
        {IDC_OPT_MIDIDEVICE, "ComboBox", L"", 63, 56, 140, 100, kCombo | WS_GROUP, 0},
        {IDC_OPT_CAKEWALK, "Button", L"Cakewalk\u30C4\u30FC\u30EB\u306B\u767B\u9332(&T)", 7, 87, 92, 10,
         kPush | BS_AUTOCHECKBOX, 0},
        {IDC_OPT_RESTORE, "Button", L"\u8D77\u52D5\u6642\u306B\u524D\u56DE\u306E\u30C6\u30A4\u30AF\u3092\u5FA9\u5143\u3059\u308B", 7, 101, 140, 10,
         kPush | BS_AUTOCHECKBOX, 0},
        {IDC_OPT_SMOOTHING_LABEL, "Static", L"\u30B9\u30E0\u30FC\u30B8\u30F3\u30B0(&M):", 7, 118, 60, 8, kLabel, 0},
        {IDC_OPT_SMOOTHING, "ComboBox", L"", 70, 115, 140, 120, kCombo, 0},
        {IDC_OPT_REPAIR, "Button",
         L"\u66F8\u304D\u51FA\u3057\u6642\u306B\u30C6\u30A4\u30AF\u3092\u4FEE\u5FA9\u3059\u308B", 7, 134, 140, 10,
         kPush | BS_AUTOCHECKBOX, 0},
        {IDC_OPT_PREROLL_LABEL, "Static", L"\u9332\u97F3\u306E\u30D7\u30EA\u30ED\u30FC\u30EB(&P):", 7, 151, 70, 8, kLabel, 0},
        {IDC_OPT_PREROLL, "ComboBox", L"", 80, 148, 50, 120, kCombo, 0},
        {IDC_OPT_ALIGN, "Button", L"\u9332\u97F3\u306E\u5148\u982D\u306B\u5408\u308F\u305B\u308B(&A)", 7, 164, 140, 10, kPush | BS_AUTOCHECKBOX, 0},
        {IDC_OPT_SNAP, "Button", L"\u30AA\u30F3\u30BB\u30C3\u30C8\u306B\u5408\u308F\u305B\u308B(&N)", 7, 178, 140, 10, kPush | BS_AUTOCHECKBOX, 0},
        {IDOK, "Button", L"OK", 105, 191, 50, 15, kPush | BS_DEFPUSHBUTTON, 0},
        {IDCANCEL, "Button", L"\u30AD\u30E3\u30F3\u30BB\u30EB", 159, 191, 50, 15, kPush, 0}}}),
    [](const ::testing::TestParamInfo<ExpectedDialog>& param) { return "Dialog" + std::to_string(param.param.templateId); });

TEST(ResourcesStringTable, EveryStringLoadsExactlyInCodePage932) {
    ASSERT_EQ(932u, GetACP()) << "run with LANG=ja_JP.UTF-8 and LC_ALL unset";
    EXPECT_NE(nullptr, FindResourceExA(Module(), MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(1),
                                       MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)));
    const struct { UINT id; const wchar_t* text; } strings[] = {
        {1, L"\u5165\u529B\u6642\u523B"},
        {2, L"\u30BF\u30C3\u30D7\u6570"},
        {3, L"\u30A8\u30E9\u30FC"},
        {4, L"\u30DE\u30EB\u30C1\u30E1\u30C7\u30A3\u30A2\u30BF\u30A4\u30DE\u30FC\u3092\u5229\u7528\u3067\u304D\u307E\u305B"
            L"\u3093\u3002\u30D7\u30ED\u30B0\u30E9\u30E0\u3092\u7D42\u4E86\u3057\u307E\u3059\u3002"},
        {5, L"\u8B66\u544A"},
        {6, L"\u30BF\u30C3\u30D7\u6570\u304C\u7D71\u4E00\u3055\u308C\u3066\u3044\u307E\u305B\u3093\u3002\u51E6\u7406\u3092"
            L"\u7D9A\u3051\u307E\u3059\u304B?"},
        {7, L"\u30EA\u30B9\u30C8\u30D3\u30E5\u30FC\u306E\u5168\u9805\u76EE\u3092\u524A\u9664\u3057\u307E\u3059\u304B?"},
        {8, L"\u6A19\u6E96MIDI\u30D5\u30A1\u30A4\u30EB (*.mid)\n*.mid\n\u3059\u3079\u3066\u306E\u30D5\u30A1\u30A4\u30EB (*.*)\n*.*\n"},
        {9, L"\u4E88\u671F\u305B\u306C\u30A8\u30E9\u30FC\u304C\u767A\u751F\u3057\u307E\u3057\u305F\u3002"},
        {10, L"WWW\u30D6\u30E9\u30A6\u30B6\u3092\u8D77\u52D5\u3057\u3001\u30A4\u30F3\u30BF\u30FC\u30CD\u30C3\u30C8\u3078"
             L"\u306E\u63A5\u7D9A\u3092\u8A66\u307F\u307E\u3059\u304B?"},
        {11, L"https://metrova.example.org/"},
        {12, L"metrova@example.org"},
        {13, L"\u78BA\u8A8D"},
        {14, L"\u30C0\u30A4\u30A2\u30ED\u30B0\u30DC\u30C3\u30AF\u30B9\u3092\u4F5C\u6210\u3067\u304D\u307E\u305B\u3093\u3067"
             L"\u3057\u305F\u3002\u30D7\u30ED\u30B0\u30E9\u30E0\u3092\u7D42\u4E86\u3057\u307E\u3059\u3002"},
        {15, L"SMF\u30E1\u30C8\u30ED\u30FC\u30D0"},
        {16, L"\u57FA\u6E96\u97F3\u7B26\u306E\u5024\u304C\u4E0D\u6B63\u3067\u3059\u3002"},
        {17, L"\u30BF\u30C3\u30D7\u306E\u53D6\u5F97\u65B9\u6CD5\u304C\u4E0D\u6B63\u3067\u3059\u3002"},
        {18, L"\u6307\u5B9A\u3055\u308C\u305FMIDI\u5165\u529B\u30C7\u30D0\u30A4\u30B9\u306F\u3001\u30B7\u30B9\u30C6\u30E0"
             L"\u306B\u5B58\u5728\u3057\u307E\u305B\u3093\u3002\n\u300C\u30AA\u30D7\u30B7\u30E7\u30F3\u300D\u306E\u300C"
             L"\u30BF\u30C3\u30D7\u306E\u5165\u529B\u624B\u6BB5\u300D\u3092\u5909\u66F4\u3059\u308B\u5FC5\u8981\u304C\u3042"
             L"\u308A\u307E\u3059\u3002"},
        {19, L"\u57FA\u6E96\u97F3\u7B26\u3092\u5909\u66F4\u3059\u308B\u3068\u3001\u30E1\u30A4\u30F3\u30A6\u30A3\u30F3\u30C9"
             L"\u30A6\u306E\u30EA\u30B9\u30C8\u30D3\u30E5\u30FC\u306B\u5B58\u5728\u3059\u308B\u5168\u9805\u76EE\u304C\u524A"
             L"\u9664\u3055\u308C\u307E\u3059\u3002\n\u51E6\u7406\u3092\u7D9A\u3051\u307E\u3059\u304B?"},
        {20, L"\u30D1\u30BD\u30B3\u30F3\u306E\u30AD\u30FC\u30DC\u30FC\u30C9"},
        {21, L"\u57FA\u6E96\u97F3\u7B26:"},
        {22, L"\u5165\u529B\u624B\u6BB5:"},
        {23, L"\u30BF\u30C3\u30D7\u6570:"},
        {24, L"\u3053\u306E\u30D5\u30A1\u30A4\u30EB\u5F62\u5F0F\u306B\u306F\u5BFE\u5FDC\u3057\u3066\u3044\u307E\u305B\u3093\u3002"},
        {25, L"\u30C6\u30A4\u30AF\u306E\u30D5\u30A1\u30A4\u30EB (*.takes;*.txt;*.csv)\n*.takes;*.txt;*.csv\n\u3059\u3079\u3066\u306E\u30D5\u30A1\u30A4\u30EB (*.*)\n*.*\n"},
        {26, L"%1\u884C\u76EE\u3092\u8AAD\u307F\u8FBC\u3081\u307E\u305B\u3093: %2\n\u3053\u306E\u30D5\u30A1\u30A4\u30EB\u304B\u3089\u306F\u30C6\u30A4\u30AF\u3092\u8FFD\u52A0\u3057\u307E\u305B\u3093\u3002"},
        {27, L"\u30D5\u30A1\u30A4\u30EB\u304C%1\u884C\u76EE\u3067\u9014\u5207\u308C\u3066\u3044\u307E\u3059\u3002\n\u3053\u306E\u30D5\u30A1\u30A4\u30EB\u304B\u3089\u306F\u30C6\u30A4\u30AF\u3092\u8FFD\u52A0\u3057\u307E\u305B\u3093\u3002"},
        {28, L"\u65B0\u3057\u3044\u30D0\u30FC\u30B8\u30E7\u30F3\u3067\u4FDD\u5B58\u3055\u308C\u305F\u30C6\u30A4\u30AF\u306E\u30D5\u30A1\u30A4\u30EB\u3067\u3059\u3002\n\u3053\u306E\u30D5\u30A1\u30A4\u30EB\u304B\u3089\u306F\u30C6\u30A4\u30AF\u3092\u8FFD\u52A0\u3057\u307E\u305B\u3093\u3002"},
        {29, L"\u524D\u56DE\u306E\u30C6\u30A4\u30AF\u306E\u30D5\u30A1\u30A4\u30EB\u304C\u58CA\u308C\u3066\u3044\u3066\u8AAD\u307F\u8FBC\u3081\u307E\u305B\u3093\u3067\u3057\u305F\u3002\n\u30D5\u30A1\u30A4\u30EB\u306F\u6B21\u306E\u540D\u524D\u3067\u6B8B\u3057\u3066\u3042\u308A\u307E\u3059:\n%1"},
        {30, L"\u629C\u3051%1"},
        {31, L"\u4F59\u5206%1"},
        {32, L"\u51FA\u3060\u3057%1"},
        {33, L"\u5916\u308C%1"},
        {34, L"\u30C6\u30A4\u30AF\u306E\u30EA\u30B9\u30C8\u306F\u7A7A\u306E\u72B6\u614B\u3067\u59CB\u307E\u308A\u307E\u3059\u3002"},
        {35, L"\u8AAD\u307F\u8FBC\u3081\u305F\u30C6\u30A4\u30AF%1\u500B\u306F\u30EA\u30B9\u30C8\u306B\u3042\u308A\u307E\u3059\u3002"},
        {36, L"\u524D\u56DE\u3001\u30BF\u30C3\u30D7\u306E\u9014\u4E2D\u3067\u7D42\u4E86\u3057\u305F\u30C6\u30A4\u30AF (\u30BF\u30C3\u30D7%1\u500B) \u3092\u5FA9\u5143\u3057\u3001\u30EA\u30B9\u30C8\u306B\u52A0\u3048\u307E\u3057\u305F\u3002"},
        {37, L"\u76F4\u524D\u306E\u30BF\u30C3\u30D7\u3068\u540C\u3058\u6642\u523B\u306E\u30BF\u30C3\u30D7\u304C%1\u500B\u3042\u308A\u307E\u3057\u305F\u3002\u540C\u3058\u62CD\u3068\u3057\u30661\u3064\u306B\u307E\u3068\u3081\u307E\u3057\u305F\u3002"},
        {38, L"\u30C6\u30A4\u30AF\u3092\u6B21\u306E\u30D5\u30A9\u30EB\u30C0\u30FC\u306B\u4FDD\u5B58\u3067\u304D\u307E\u305B\u3093:\n%1\n\n\u3053\u306E\u307E\u307E\u3067\u306F\u3001\u30D7\u30ED\u30B0\u30E9\u30E0\u3092\u7D42\u4E86\u3059\u308B\u3068\u30C6\u30A4\u30AF\u304C\u5931\u308F\u308C\u307E\u3059\u3002\n\u300C\u30C6\u30A4\u30AF\u3092\u4FDD\u5B58\u300D\u3067\u5225\u306E\u5834\u6240\u306B\u4FDD\u5B58\u3057\u307E\u3059\u304B?"},
        {39, L"'%1'\n\u3053\u306E\u30D5\u30A1\u30A4\u30EB\u306E\u30C6\u30F3\u30DD\u30DE\u30C3\u30D7\u304B\u3089\u306F\u30C6\u30A4\u30AF\u3092\u4F5C\u308C\u307E\u305B\u3093 (2\u62CD\u4EE5\u4E0A\u304C\u5FC5\u8981\u3067\u3059)\u3002"},
        {40, L"\u60C5\u5831"},
        {134, L"FileDescription"},
        {135, L"LegalCopyright"},
        {136, L"Comments"},
    };
    for (const auto& s : strings) EXPECT_EQ(s.text, FromAnsi(LoadAnsiString(s.id).c_str())) << "string " << s.id;
    // No other string in the ranges the program uses.
    // The recording's texts: every one there, and valid in the code page.
    for (UINT id = IDS_AUDIO_FILTER; id <= IDS_SNAP_COUNTS; ++id) {
        EXPECT_NE("", LoadAnsiString(id)) << "string " << id;
        EXPECT_NE(L"<not valid in the code page>", FromAnsi(LoadAnsiString(id).c_str())) << "string " << id;
    }
    for (UINT id : {52u, 133u, 137u}) EXPECT_EQ("", LoadAnsiString(id)) << "string " << id;
}

TEST(ResourcesStringTable, LineBreaksAreSingleLineFeeds) {
    const struct { UINT id; size_t feeds; } breaks[] = {{8, 4}, {18, 1}, {19, 1}, {25, 4}, {26, 1}, {27, 1}, {28, 1}, {29, 2}, {38, 4}};
    for (const auto& b : breaks) {
        const std::string text = LoadAnsiString(b.id);
        size_t feeds = 0;
        for (char c : text) feeds += c == '\n';
        EXPECT_EQ(b.feeds, feeds) << "string " << b.id;
        EXPECT_EQ(std::string::npos, text.find('\r')) << "string " << b.id;
    }
    // Exact CP932 bytes of string 3 (katakana "era-", long vowel mark 81 5B).
    EXPECT_EQ("\x83\x47\x83\x89\x81\x5B", LoadAnsiString(3));
}

struct ExpectedItem { UINT id; const wchar_t* text; };  // text nullptr: separator

void ExpectPopup(HMENU popup, const std::vector<ExpectedItem>& items) {
    ASSERT_NE(nullptr, popup);
    ASSERT_EQ(static_cast<int>(items.size()), GetMenuItemCount(popup));
    for (UINT i = 0; i < items.size(); ++i) {
        char text[128] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(popup, i, TRUE, &info));
        SCOPED_TRACE("item " + std::to_string(i));
        if (!items[i].text) {
            EXPECT_TRUE(info.fType & MFT_SEPARATOR);
            continue;
        }
        EXPECT_FALSE(info.fType & MFT_SEPARATOR);
        EXPECT_EQ(items[i].id, info.wID);
        EXPECT_EQ(items[i].text, FromAnsi(text));
    }
}

const wchar_t kAdd[] = L"\u8FFD\u52A0(&A)...", kDelete[] = L"\u524A\u9664(&R)", kDeleteAll[] = L"\u5168\u524A\u9664(&E)";
const wchar_t kCopy[] = L"\u30C6\u30F3\u30DD\u306E\u30B3\u30D4\u30FC(&C)\tCtrl+C";
const wchar_t kSave[] = L"\u30C6\u30F3\u30DD\u306E\u4FDD\u5B58(&S)...\tCtrl+S";
const wchar_t kImport[] = L"\u30C6\u30F3\u30DD\u306E\u30A4\u30F3\u30DD\u30FC\u30C8(&O)...\tCtrl+O";
const wchar_t kRepair[] = L"\u30C6\u30A4\u30AF\u306E\u4FEE\u5FA9(&F)", kRepairAll[] = L"\u3059\u3079\u3066\u306E\u30C6\u30A4\u30AF\u3092\u4FEE\u5FA9";
const wchar_t kGraph[] = L"\u30C6\u30F3\u30DD\u30B0\u30E9\u30D5(&G)\tCtrl+G";

TEST(ResourcesMenus, MenuBarHasFourPopupsWithTheirItemsInOrder) {
    HMENU bar = LoadMenuA(Module(), MAKEINTRESOURCEA(IDM_MAINMENU));
    ASSERT_NE(nullptr, bar);
    ASSERT_EQ(4, GetMenuItemCount(bar));
    const wchar_t* titles[] = {L"\u30D5\u30A1\u30A4\u30EB(&F)", L"\u7DE8\u96C6(&E)", L"\u8868\u793A(&V)",
                               L"\u30D8\u30EB\u30D7(&H)"};
    for (int i = 0; i < 4; ++i) {
        char text[64] = {};
        GetMenuStringA(bar, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        EXPECT_EQ(titles[i], FromAnsi(text));
    }
    ExpectPopup(GetSubMenu(bar, 0), {{IDM_COPYTEMPO, kCopy}, {IDM_SAVETEMPO, kSave}, {0, nullptr},
                                     {IDM_IMPORT, kImport}, {0, nullptr},
                                     {IDM_OPENTAKES, L"\u30C6\u30A4\u30AF\u3092\u958B\u304F(&T)..."},
                                     {IDM_SAVETAKES, L"\u30C6\u30A4\u30AF\u3092\u4FDD\u5B58(&K)..."}, {0, nullptr},
                                     {IDM_OPENRECORDING, L"\u9332\u97F3\u3092\u958B\u304F(&R)..."},
                                     {IDM_CLOSERECORDING, L"\u9332\u97F3\u3092\u9589\u3058\u308B(&W)"},
                                     {IDM_MEASURELATENCY, L"\u30BF\u30C3\u30D7\u306E\u9045\u308C\u3092\u6E2C\u308B(&L)..."}, {0, nullptr},
                                     {IDM_EXIT, L"\u7D42\u4E86(&X)"}});
    ExpectPopup(GetSubMenu(bar, 1), {{IDM_UNDO, L"\u5143\u306B\u623B\u3059(&U)\tCtrl+Z"}, {IDM_REDO, L"\u3084\u308A\u76F4\u3057(&Y)\tCtrl+Y"}, {0, nullptr},
                                     {IDM_ADD, kAdd}, {IDM_DELETE, kDelete}, {IDM_DELETEALL, kDeleteAll}, {0, nullptr},
                                     {IDM_REPAIR, kRepair}, {IDM_REPAIRALL, kRepairAll}, {0, nullptr},
                                     {IDM_OPTIONS, L"\u30AA\u30D7\u30B7\u30E7\u30F3(&O)..."}});
    ExpectPopup(GetSubMenu(bar, 2), {{IDM_TEMPOGRAPH, kGraph}, {IDM_LISTEN, L"\u8A66\u8074(&L)\tCtrl+L"}});
    ExpectPopup(GetSubMenu(bar, 3), {{IDM_HELP, L"\u8AAC\u660E\u66F8(&H)\tF1"}, {0, nullptr},
                                     {IDM_ABOUT, L"\u30D0\u30FC\u30B8\u30E7\u30F3\u60C5\u5831(&V)..."}});
    DestroyMenu(bar);
}

TEST(ResourcesMenus, ContextMenuIsTheFirstPopupOfMenu109) {
    HMENU menu = LoadMenuA(Module(), MAKEINTRESOURCEA(IDM_CONTEXTMENU));
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(1, GetMenuItemCount(menu));
    ExpectPopup(GetSubMenu(menu, 0), {{IDM_ADD, kAdd}, {IDM_DELETE, kDelete}, {IDM_DELETEALL, kDeleteAll}, {0, nullptr},
                                      {IDM_REPAIR, kRepair}, {IDM_REPAIRALL, kRepairAll}, {IDM_TEMPOGRAPH, kGraph},
                                      {0, nullptr}, {IDM_COPYTEMPO, kCopy}, {IDM_SAVETEMPO, kSave}, {0, nullptr}, {IDM_IMPORT, kImport}});
    DestroyMenu(menu);
}

TEST(ResourcesAccelerators, VirtualKeysThatDoNotFlashTheMenu) {
    HACCEL table = LoadAcceleratorsA(Module(), MAKEINTRESOURCEA(IDA_MAIN));
    ASSERT_NE(nullptr, table);
    ACCEL entries[9] = {};
    ASSERT_EQ(8, CopyAcceleratorTableA(table, entries, 9));
    const ACCEL expected[] = {{FVIRTKEY | FCONTROL | FNOINVERT, 'C', IDM_COPYTEMPO},
                              {FVIRTKEY | FCONTROL | FNOINVERT, 'S', IDM_SAVETEMPO},
                              {FVIRTKEY | FNOINVERT, VK_F1, IDM_HELP},
                              {FVIRTKEY | FCONTROL | FNOINVERT, 'O', IDM_IMPORT},
                              {FVIRTKEY | FCONTROL | FNOINVERT, 'Z', IDM_UNDO},
                              {FVIRTKEY | FCONTROL | FNOINVERT, 'Y', IDM_REDO},
                              {FVIRTKEY | FCONTROL | FNOINVERT, 'G', IDM_TEMPOGRAPH},
                              {FVIRTKEY | FCONTROL | FNOINVERT, 'L', IDM_LISTEN}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(expected[i].fVirt, entries[i].fVirt) << i;
        EXPECT_EQ(expected[i].key, entries[i].key) << i;
        EXPECT_EQ(expected[i].cmd, entries[i].cmd) << i;
    }
}

TEST(ResourcesIcon, HoldsImagesOf16And32And48Pixels) {
    for (int size : {16, 32}) {
        HANDLE icon = LoadImageA(Module(), MAKEINTRESOURCEA(IDI_METROVA), IMAGE_ICON, size, size, 0);
        EXPECT_NE(nullptr, icon) << size;
        if (icon) DestroyIcon(static_cast<HICON>(icon));
    }
    // Each size is an image of its own in the group, not a scaled one.
    HRSRC group = FindResourceA(Module(), MAKEINTRESOURCEA(IDI_METROVA), RT_GROUP_ICON);
    ASSERT_NE(nullptr, group);
    auto* directory = static_cast<PBYTE>(LockResource(LoadResource(Module(), group)));
    for (int size : {16, 32, 48}) {
        const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        HRSRC image = FindResourceA(Module(), MAKEINTRESOURCEA(id), RT_ICON);
        ASSERT_NE(nullptr, image) << size;
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Module(), image)));
        EXPECT_EQ(size, header->biWidth);
        EXPECT_EQ(32, header->biBitCount);
    }
}

std::wstring VersionString(const std::vector<char>& block, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\041104B0\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) return L"<missing>";
    return FromAnsi(value);
}

TEST(ResourcesVersion, NumbersComeFromTheProjectVersion) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_NE(0u, size);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(METROVA_VERSION_MINOR, METROVA_VERSION_MAJOR)), fixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, METROVA_VERSION_PATCH)), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(4u, length);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0x0411, 1200)), translation[0]);

    const std::wstring title = L"SMF\u30E1\u30C8\u30ED\u30FC\u30D0";
    const std::wstring version = FromAnsi(METROVA_VERSION_STRING);
    EXPECT_EQ(FromAnsi(METROVA_VERSION_RC_STRING), VersionString(block, "FileVersion"));
    EXPECT_EQ(FromAnsi(METROVA_VERSION_RC_STRING), VersionString(block, "ProductVersion"));
    EXPECT_EQ(title + L" version " + version, VersionString(block, "FileDescription"));
    EXPECT_EQ(title + L" version " + version, VersionString(block, "ProductName"));
    EXPECT_EQ(title, VersionString(block, "InternalName"));
    EXPECT_EQ(L"Metrova.exe", VersionString(block, "OriginalFilename"));
    EXPECT_EQ(L"Copyright (C) 2026 Metrova project", VersionString(block, "LegalCopyright"));
    EXPECT_EQ(L"\u30D1\u30BD\u30B3\u30F3\u306E\u30AD\u30FC\u30DC\u30FC\u30C9\u307E\u305F\u306FMIDI\u5165\u529B\u306E"
              L"\u30CE\u30FC\u30C8\u30AA\u30F3\u306B\u3088\u308B\u30BF\u30C3\u30D7\u3092\u3001SMF\u306E\u30C6\u30F3"
              L"\u30DD\u306B\u5909\u63DB\u3059\u308B\u30D7\u30ED\u30B0\u30E9\u30E0\u3067\u3059\u3002",
              VersionString(block, "Comments"));
}

TEST(ResourcesManifest, BindsCommonControls6ForThisProcessor) {
    HRSRC found = FindResourceA(Module(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, found);
    const char* data = static_cast<const char*>(LockResource(LoadResource(Module(), found)));
    const std::string xml(data, SizeofResource(Module(), found));
#ifdef _WIN64
    const char* arch = "processorArchitecture=\"amd64\"";
#else
    const char* arch = "processorArchitecture=\"X86\"";
#endif
    size_t archCount = 0;
    for (size_t at = xml.find(arch); at != std::string::npos; at = xml.find(arch, at + 1)) ++archCount;
    EXPECT_EQ(2u, archCount);
    EXPECT_EQ(std::string::npos, xml.find('@'));
    EXPECT_NE(std::string::npos, xml.find("name=\"Microsoft.Windows.Common-Controls\""));
    EXPECT_NE(std::string::npos, xml.find("version=\"6.0.0.0\""));
    EXPECT_NE(std::string::npos, xml.find("publicKeyToken=\"6595b64144ccf1df\""));
    EXPECT_NE(std::string::npos, FromAnsi(xml.c_str(), CP_UTF8).find(
        L"<description>\u30D1\u30BD\u30B3\u30F3\u306E\u30AD\u30FC\u30BF\u30C3\u30D7\u3092\u3001SMF\u306E\u30C6\u30F3"
        L"\u30DD\u30DE\u30C3\u30D7\u306B\u5909\u63DB\u3057\u307E\u3059\u3002</description>"));
}

}  // namespace
