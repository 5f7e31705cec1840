// The list of takes in-process: check boxes decide what is exported, takes
// with findings are marked and repaired, and undo and redo give back the
// exact takes, base note included. The real main window from its template,
// driven with the messages a user's actions produce.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "AppGlobals.h"
#include "Dpi.h"
#include "UiLanguage.h"
#include "IniFile.h"
#include "MainWindow.h"
#include "OptionsDialog.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "Take.h"
#include "ImportTempoWin32.h"
#include "SmfImages.h"
#include "TakeColours.h"
#include "TakeListView.h"
#include "TapTestSupport.h"
#include "TempoGraphWindow.h"
#include "TempoPipeline.h"
#include "WineTestSupport.h"
#include "ControlIds.h"
#include "resource.h"

namespace {

using namespace wine_test;
using Times = std::vector<uint32_t>;

// A steady take of `beats` beats at 500 ms with a little alternating jitter,
// without the beats in `missing` (a missed tap each).
Times Steady(int beats, std::vector<int> missing = {})
{
    Times times;
    for (int i = 0; i < beats; ++i) {
        if (std::find(missing.begin(), missing.end(), i) == missing.end())
            times.push_back(static_cast<uint32_t>(1000 + i * 500 + (i % 3) * 7));
    }
    return times;
}


class TakesListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(PrepareMainWindowClass()); }

    void SetUp() override
    {
        settings.emplace(BesideTestProgram("Metrova.ini"));
        OpenClipboard(nullptr);
        EmptyClipboard();
        CloseClipboard();
        SettingsFile = IniFile();
        LoadSettingsFile();
        window = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
        ASSERT_NE(nullptr, window);
        PumpMessages();
    }

    void TearDown() override
    {
        if (window && IsWindow(window))
            DestroyWindow(window);
        TakeQuitMessage();
        CurrentTake.HandOver();
        settings.reset();
    }

    HWND List() const { return GetDlgItem(window, IDC_TAKELIST); }
    int Rows() const { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

    void AddTake(const Times& times) { ListTake(times); }
    void Command(UINT id) { SendCommand(window, id); }

    void Select(int row)
    {
        LVITEMA state = {};
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
        PumpMessages();
    }

    // What a click on the row's check box does: the list changes the state
    // image and tells the main window.
    void SetChecked(int row, bool checked)
    {
        LVITEMA state = {};
        state.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
        state.stateMask = LVIS_STATEIMAGEMASK;
        SendMessageA(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
        PumpMessages();
    }

    bool BoxChecked(int row) const
    {
        const UINT state =
            static_cast<UINT>(SendMessageA(List(), LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
        return state == INDEXTOSTATEIMAGEMASK(2);
    }

    std::string TapCountText(int row) const
    {
        char text[16] = "";
        LVITEMA item = {};
        item.iSubItem = 1;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(List(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }

    static const TakeBook& Book() { return MainWindowTakeBook(); }

    int RowImage(int row) const
    {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        SendMessageA(List(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }
    // Whether the row shows the warning sign: the second image of its pair.
    bool RowWarns(int row) const { return RowImage(row) % 2 == 1; }

    // The row's image drawn on white: the colour at its left edge, half way
    // down (the bar), and whether anything is drawn in its right two thirds
    // (the warning sign).
    struct DrawnImage {
        COLORREF Bar = 0;
        bool RightInked = false;
    };
    DrawnImage DrawRowImage(int row) const
    {
        HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageA(List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        int width = 0, height = 0;
        ImageList_GetIconSize(images, &width, &height);
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP canvas = CreateCompatibleBitmap(screen, width, height);
        const HGDIOBJ old = SelectObject(dc, canvas);
        PatBlt(dc, 0, 0, width, height, WHITENESS);
        ImageList_Draw(images, RowImage(row), dc, 0, 0, ILD_NORMAL);
        DrawnImage drawn;
        drawn.Bar = GetPixel(dc, 0, height / 2);
        for (int y = 0; y < height; ++y) {
            for (int x = width / 3; x < width; ++x)
                drawn.RightInked = drawn.RightInked || GetPixel(dc, x, y) != RGB(255, 255, 255);
        }
        SelectObject(dc, old);
        DeleteObject(canvas);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        return drawn;
    }

    bool MenuEnabled(UINT id) const
    {
        return !(GetMenuState(GetMenu(window), id, MF_BYCOMMAND) & MF_GRAYED);
    }

    // The list as the user sees it: the takes, their check marks, the base
    // note.
    struct Seen {
        std::vector<Times> Takes;
        std::vector<bool> Checked;
        int Base = 0;
        bool operator==(const Seen& o) const { return Takes == o.Takes && Checked == o.Checked && Base == o.Base; }
    };
    Seen Now() const
    {
        Seen seen;
        for (const SessionTake& take : Book().Takes()) {
            seen.Takes.push_back(take.Taps);
            seen.Checked.push_back(take.Checked);
        }
        // The list shows the book: a row per take, its check mark and its
        // tap count.
        EXPECT_EQ(static_cast<int>(seen.Takes.size()), Rows());
        for (int row = 0; row < Rows() && row < static_cast<int>(seen.Takes.size()); ++row) {
            EXPECT_EQ(seen.Checked[static_cast<size_t>(row)], BoxChecked(row)) << "row " << row;
            EXPECT_EQ(std::to_string(seen.Takes[static_cast<size_t>(row)].size()), TapCountText(row)) << "row " << row;
        }
        seen.Base = g_AppSettings.TimeSigBase;
        return seen;
    }

    std::optional<FileAside> settings;
    HWND window = nullptr;
};

// Only the checked takes are exported: the clipboard holds the bytes of the
// checked takes alone, the uniformity question looks at them only, and with
// none checked copy and save are off.
TEST_F(TakesListTest, CheckBoxesDecideWhatIsExported)
{
    const Times a = Steady(16), b = Steady(16), odd = Steady(11);
    AddTake(a);
    AddTake(b);
    AddTake(odd);
    EXPECT_TRUE(BoxChecked(0) && BoxChecked(1) && BoxChecked(2));  // new takes come checked

    SetChecked(2, false);
    {
        DialogAnswerer answerer;  // no question: the checked takes are uniform
        Command(IDM_COPYTEMPO);
        EXPECT_TRUE(answerer.Boxes().empty());
    }
    const Take ta(a), tb(b);
    const int interp = static_cast<int>(SendDlgItemMessageA(window, IDC_INTERPCOUNT, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(ClipboardMidi(), ExportTempoBytes({&ta, &tb}, interp, g_AppSettings.TimeSigBase, AnalysisOptions()));

    SetChecked(0, false);
    SetChecked(1, false);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDM_COPYTEMPO)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDM_SAVETEMPO)));
    EXPECT_FALSE(MenuEnabled(IDM_SAVETAKES));
    SetChecked(2, true);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDM_COPYTEMPO)));
}

// A take with a missed tap is marked and its tooltip names the finding; a
// repair fills the beat in, the mark goes, and undo brings the take back.
TEST_F(TakesListTest, FindingsAreMarkedRepairedAndUndone)
{
    const Times clean = Steady(24), missed = Steady(24, {10});
    AddTake(clean);
    AddTake(missed);
    EXPECT_FALSE(RowWarns(0));
    EXPECT_TRUE(RowWarns(1));
    EXPECT_EQ(FindingsSummary(Book(), 0), "");
    EXPECT_EQ(FindingsSummary(Book(), 1), LoadResString(IDS_FINDING_MISSED, "1"));

    Select(0);
    EXPECT_FALSE(MenuEnabled(IDM_REPAIR));
    Select(1);
    EXPECT_TRUE(MenuEnabled(IDM_REPAIR));
    EXPECT_TRUE(MenuEnabled(IDM_REPAIRALL));
    Command(IDM_REPAIR);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(MainWindowTakeBook().ListedTaps()[1]->size(), 24u);
    EXPECT_EQ(FindingsSummary(Book(), 1), "");
    EXPECT_FALSE(RowWarns(1));
    EXPECT_FALSE(MenuEnabled(IDM_REPAIRALL));

    Command(IDM_UNDO);
    Take expected(missed);
    NormalizeTake(expected);
    EXPECT_EQ(*MainWindowTakeBook().ListedTaps()[1], expected);

    // Turned down, the finding is no longer repaired or marked.
    ASSERT_FALSE(Book().Findings().Takes[1].Findings.empty());
    SendMessageA(window, WM_GRAPHFINDING, 1, 0);
    PumpMessages();
    EXPECT_EQ(FindingsSummary(Book(), 1), "");
    EXPECT_FALSE(MenuEnabled(IDM_REPAIRALL));
    Command(IDM_REPAIRALL);
    EXPECT_EQ(*MainWindowTakeBook().ListedTaps()[1], expected);

    // Of two missed beats, the one turned down stays so when the other is
    // repaired: the take gains one beat, and nothing is left to repair.
    AddTake(Steady(24, {6, 16}));
    ASSERT_EQ(Book().Findings().Takes[2].Findings.size(), 2u);
    SendMessageA(window, WM_GRAPHFINDING, 2, 0);
    PumpMessages();
    Select(2);
    Command(IDM_REPAIR);
    EXPECT_EQ(MainWindowTakeBook().ListedTaps()[2]->size(), 23u);
    EXPECT_EQ(FindingsSummary(Book(), 2), "");
    EXPECT_FALSE(MenuEnabled(IDM_REPAIR));
    EXPECT_FALSE(MenuEnabled(IDM_REPAIRALL));
}

// Each row carries its take's colour, the one its line has in the graph,
// also after a row above it has gone; the warning sign goes beside it. An
// imported take names its file in the row's tooltip.
TEST_F(TakesListTest, RowsShowTheirGraphColourAndImportedTakesTheirFile)
{
    AddTake(Steady(24));
    AddTake(Steady(24, {10}));
    AddTake(Steady(24));
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        const DrawnImage drawn = DrawRowImage(row);
        EXPECT_EQ(TakeColour(row), drawn.Bar);
        EXPECT_EQ(row == 1, RowWarns(row));
        EXPECT_EQ(row == 1, drawn.RightInked) << "the warning sign beside the bar";
    }

    Select(0);
    Command(IDM_DELETE);
    ASSERT_EQ(2, Rows());
    EXPECT_EQ(TakeColour(0), DrawRowImage(0).Bar);
    EXPECT_EQ(TakeColour(1), DrawRowImage(1).Bar);
    EXPECT_TRUE(RowWarns(0));

    const std::string path = BesideTestProgram("tempo map 1.mid");
    WriteBytes(path, smfimg::SmfBuilder(0, 480).Track(smfimg::EndOfTrack(1920)).Build());
    ASSERT_TRUE(ImportTempoFile(window, MainWindowTakeBook(), path));
    DeleteFileA(path.c_str());
    PumpMessages();
    char text[256] = "";
    NMLVGETINFOTIPA tip = {};
    tip.pszText = text;
    tip.cchTextMax = sizeof text;
    tip.iItem = 2;
    FillTakeInfoTip(tip, MainWindowTakeBook());
    EXPECT_STREQ("tempo map 1.mid", text);
    tip.iItem = 0;
    text[0] = '\0';
    FillTakeInfoTip(tip, MainWindowTakeBook());
    EXPECT_EQ(FindingsSummary(Book(), 0), text) << "a tapped take: its findings alone";
}

// Any sequence of changes to the list (adding, deleting, delete all,
// checking, repairing, turning findings down) undoes step by step to exactly
// the states it went through, and redoes forward again.
TEST_F(TakesListTest, UndoAndRedoRestoreTheExactTakes)
{
    std::vector<Seen> seen{Now()};
    const auto change = [&](int step) {
        switch (step % 6) {
        case 0:
            AddTake(Steady(20 + step, step % 2 ? std::vector<int>{7} : std::vector<int>{}));
            break;
        case 1:
            SetChecked(0, !BoxChecked(0));
            break;
        case 2:
            Select(Rows() - 1);
            Command(IDM_REPAIR);
            break;
        case 3:
            Select(0);
            Command(IDM_DELETE);
            break;
        case 4:
            AddTake(Steady(30, {4, 12}));
            break;
        default: {
            DialogAnswerer answerer;
            answerer.Press(IDYES);
            Command(IDM_DELETEALL);
            break;
        }
        }
        if (!(Now() == seen.back()))
            seen.push_back(Now());
    };
    for (int step = 0; step < 14; ++step)
        change(step);
    ASSERT_GE(seen.size(), 10u);

    for (size_t i = seen.size() - 1; i-- > 0;) {
        EXPECT_TRUE(MenuEnabled(IDM_UNDO));
        Command(IDM_UNDO);
        ASSERT_TRUE(Now() == seen[i]) << "undo to state " << i;
    }
    EXPECT_FALSE(MenuEnabled(IDM_UNDO));
    for (size_t i = 1; i < seen.size(); ++i) {
        Command(IDM_REDO);
        ASSERT_TRUE(Now() == seen[i]) << "redo to state " << i;
    }
    EXPECT_FALSE(MenuEnabled(IDM_REDO));
}

// A double-click on a take opens the tempo graph and leaves the take's check
// box as it was (a list with check boxes would toggle it); Ctrl+G's command
// opens it too.
TEST_F(TakesListTest, DoubleClickOnATakeOpensTheGraphAndKeepsItsCheckBox)
{
    AddTake(Steady(16));
    AddTake(Steady(16, {3}));
    ASSERT_EQ(nullptr, TempoGraphWindow());
    RECT label = {};
    label.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageA(List(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&label)));
    const LPARAM at = MAKELPARAM((label.left + label.right) / 2, (label.top + label.bottom) / 2);
    SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(List(), WM_LBUTTONUP, 0, at);
    SendMessageA(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageA(List(), WM_LBUTTONUP, 0, at);
    PumpMessages();
    EXPECT_TRUE(BoxChecked(1));
    EXPECT_TRUE(Book().Takes()[1].Checked);
    EXPECT_NE(nullptr, TempoGraphWindow());
    CloseTempoGraph();
    EXPECT_EQ(nullptr, TempoGraphWindow());
    Command(IDM_TEMPOGRAPH);
    EXPECT_NE(nullptr, TempoGraphWindow());
    CloseTempoGraph();
}

// A new base note deletes the takes, tapped to the old one; undoing that
// brings back the takes and the base note together, and redo both again.
TEST_F(TakesListTest, UndoingABaseNoteChangeRestoresTheNoteWithTheTakes)
{
    const Times a = Steady(12), b = Steady(12, {5});
    AddTake(a);
    AddTake(b);
    SetChecked(0, false);
    const Seen before = Now();
    const int oldBase = g_AppSettings.TimeSigBase;
    const int newBase = oldBase == 3 ? 2 : 3;

    HWND options = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_OPTIONS), window, OptionsDialogProc, 0);
    ASSERT_NE(nullptr, options);
    ShowWindow(options, SW_SHOW);
    PumpMessages();
    SendDlgItemMessageA(options, IDC_OPT_BASENOTE, CB_SETCURSEL, static_cast<WPARAM>(newBase), 0);
    {
        DialogAnswerer answerer;
        answerer.Press(IDYES);
        SendMessageA(options, WM_COMMAND, IDOK, 0);
        PumpMessages();
        // (The options dialog, active again once the question is
        // answered, is recorded after it.)
        ASSERT_LE(1u, answerer.Boxes().size());
        EXPECT_EQ(LoadResString(IDS_BASENOTE_CHANGE), answerer.Boxes()[0].text);
        EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), answerer.Boxes()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), answerer.Boxes()[0].style);
    }
    if (IsWindow(options))
        DestroyWindow(options);
    PumpMessages();
    EXPECT_EQ(0, Rows());
    EXPECT_EQ(newBase, g_AppSettings.TimeSigBase);

    Command(IDM_UNDO);
    EXPECT_TRUE(Now() == before);
    EXPECT_EQ(oldBase, g_AppSettings.TimeSigBase);
    Command(IDM_REDO);
    EXPECT_EQ(0, Rows());
    EXPECT_EQ(newBase, g_AppSettings.TimeSigBase);
    Command(IDM_UNDO);
    EXPECT_TRUE(Now() == before);
}

// The main window's template in a language, shown with nothing but its list's
// columns set up as the main window sets them.
INT_PTR CALLBACK TemplateOnly(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

class TakeListColumns : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(PrepareMainWindowClass()); }

    void TearDown() override
    {
        if (dialog && IsWindow(dialog))
            DestroyWindow(dialog);
        PumpMessages();
    }

    // The language's main window, from its own template.
    HWND OpenList(UiLanguage language)
    {
        HRSRC found = FindResourceExA(g_hInstance, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_MAIN), UiLanguageId(language));
        const auto* dialogTemplate =
            found ? static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(g_hInstance, found))) : nullptr;
        if (!dialogTemplate)
            return nullptr;
        dialog = CreateDialogIndirectParamA(g_hInstance, dialogTemplate, nullptr, TemplateOnly, 0);
        if (!dialog)
            return nullptr;
        ShowWindow(dialog, SW_SHOW);
        HWND list = GetDlgItem(dialog, IDC_TAKELIST);
        InsertTakeListColumns(list, language);
        PumpMessages();
        return list;
    }

    static int Width(HWND list, int column)
    {
        return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    }

    // The columns within the list's client area, so it has no horizontal
    // scroll bar, and in the proportion 135:70 (to the pixel).
    static void ExpectColumnsFit(HWND list)
    {
        RECT client = {};
        GetClientRect(list, &client);
        const int time = Width(list, 0), taps = Width(list, 1);
        EXPECT_FALSE(GetWindowLongA(list, GWL_STYLE) & WS_HSCROLL);
        EXPECT_LE(time + taps, client.right) << time << " + " << taps << " px";
        EXPECT_GT(time + taps, client.right * 3 / 4) << "the columns use the list's width";
        EXPECT_LE(std::abs(time * 70 - taps * 135), 135 + 70) << time << ":" << taps;
    }

    HWND dialog = nullptr;
};

// In the English interface the list is narrower than the Japanese columns (135
// and 70 pixels at 96 DPI): the columns share its width instead, with a
// vertical scroll bar as well as without, at every DPI a monitor may have.
TEST_F(TakeListColumns, EnglishColumnsFitTheListAtEveryDpi)
{
    HWND list = OpenList(UiLanguage::English);
    ASSERT_NE(nullptr, list);
    ExpectColumnsFit(list);

    // Enough takes for a vertical scroll bar.
    TakeBook book;
    std::vector<SessionTake> takes(40);
    for (SessionTake& take : takes) {
        take.ListedAt = "2026-12-07T10:00:00";
        take.Taps = Steady(4);
    }
    ASSERT_TRUE(book.Append(takes, 2));
    ShowAddedTakes(list, book);
    PumpMessages();
    ASSERT_EQ(40, static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
    EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL);
    ExpectColumnsFit(list);

    for (UINT dpi : {96u, 120u, 144u, 192u}) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        SetTakeListColumnWidths(list, dpi, UiLanguage::English);
        PumpMessages();
        ExpectColumnsFit(list);
    }
}

// The Japanese interface keeps its columns' widths, scaled with the DPI.
TEST_F(TakeListColumns, JapaneseColumnsKeepTheirWidthsScaledWithTheDpi)
{
    HWND list = OpenList(UiLanguage::Japanese);
    ASSERT_NE(nullptr, list);
    const UINT dpi = DpiOfWindow(list);
    EXPECT_EQ(ScaleToDpi(135, dpi), Width(list, 0));
    EXPECT_EQ(ScaleToDpi(70, dpi), Width(list, 1));
    for (UINT other : {96u, 120u, 144u, 192u}) {
        SetTakeListColumnWidths(list, other, UiLanguage::Japanese);
        EXPECT_EQ(ScaleToDpi(135, other), Width(list, 0));
        EXPECT_EQ(ScaleToDpi(70, other), Width(list, 1));
    }
}

}  // namespace
