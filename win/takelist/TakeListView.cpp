#include "TakeListView.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "Dpi.h"
#include "Messages.h"
#include "Session.h"
#include "TakeColours.h"
#include "resource.h"

namespace {

// The columns' widths in pixels at DesignDpi.
constexpr int TimeColumnWidth = 135;
constexpr int TapsColumnWidth = 70;
// The rows' small icons: the take's colour (its line's in the graph) as a
// bar at the left, with a warning sign beside it for a take with findings.
// Two images a colour: RowImage(row, false) and RowImage(row, true).
constexpr int SmallIconSize = 16;  // at DesignDpi

int RowImage(int row, bool warning)
{
    return (((row % TakeColourCount) + TakeColourCount) % TakeColourCount) * 2 + (warning ? 1 : 0);
}

// State images of a list with check boxes: 1 unchecked, 2 checked.
UINT CheckStateImage(bool checked)
{
    return INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
}

// Set while the list itself inserts rows or sets their check boxes, so
// that those notifications are not taken for the user's clicks.
int quietChecks = 0;

struct QuietChecks {
    QuietChecks() { ++quietChecks; }
    ~QuietChecks() { --quietChecks; }
    QuietChecks(const QuietChecks&) = delete;
    QuietChecks& operator=(const QuietChecks&) = delete;
};

int RowCount(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

// Set while the list handles a double-click away from a row's check box.
// A list view with check boxes toggles the row's check box on such a
// double-click; here a double-click opens the tempo graph instead, and
// toggling the take in or out of the export on the way would surprise.
bool inDoubleClick = false;

LRESULT CALLBACK TakeListSubclass(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    if (message == WM_LBUTTONDBLCLK) {
        LVHITTESTINFO hit = {};
        hit.pt = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        if (!(hit.flags & LVHT_ONITEMSTATEICON)) {
            inDoubleClick = true;
            const LRESULT result = DefSubclassProc(list, message, wParam, lParam);
            inDoubleClick = false;
            return result;
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(list, TakeListSubclass, id);
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

// The rows' images at the size for `dpi`: for each take colour, its bar
// alone and its bar beside the system's warning sign (drawn a little
// smaller to make room). The list view keeps the list (LVS_SHAREIMAGELISTS
// is not set) and destroys it with itself or when it is replaced.
void SetRowIcons(HWND list, UINT dpi)
{
    const int size = ScaleToDpi(SmallIconSize, dpi);
    const int bar = std::max(3, size / 5);
    // 24 bits and a mask: the sign is drawn with its alpha channel, and a
    // 32-bit list would take that channel for the whole image's and lose the
    // bar, which has none.
    HIMAGELIST icons = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, TakeColourCount * 2, 0);
    if (!icons)
        return;
    HICON warning = static_cast<HICON>(LoadImageA(nullptr, MAKEINTRESOURCEA(32515) /* IDI_WARNING */, IMAGE_ICON,
                                                  size - bar, size - bar, LR_SHARED));
    HDC screen = GetDC(nullptr);
    HDC colours = CreateCompatibleDC(screen);
    HDC masks = CreateCompatibleDC(screen);
    for (int colour = 0; colour < TakeColourCount; ++colour) {
        for (int warned = 0; warned < 2; ++warned) {
            HBITMAP image = CreateCompatibleBitmap(screen, size, size);
            HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
            if (colours && masks && image && mask) {
                const HGDIOBJ oldImage = SelectObject(colours, image);
                const HGDIOBJ oldMask = SelectObject(masks, mask);
                // Transparent (white in the mask, black in the image)
                // everywhere but the bar and the sign.
                PatBlt(colours, 0, 0, size, size, BLACKNESS);
                PatBlt(masks, 0, 0, size, size, WHITENESS);
                const RECT barRect = {0, 1, bar, size - 1};
                HBRUSH brush = CreateSolidBrush(TakeColour(colour));
                FillRect(colours, &barRect, brush);
                DeleteObject(brush);
                FillRect(masks, &barRect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
                if (warned && warning) {
                    DrawIconEx(colours, bar, bar / 2, warning, size - bar, size - bar, 0, nullptr, DI_IMAGE);
                    DrawIconEx(masks, bar, bar / 2, warning, size - bar, size - bar, 0, nullptr, DI_MASK);
                }
                SelectObject(colours, oldImage);
                SelectObject(masks, oldMask);
                ImageList_Add(icons, image, mask);
            }
            if (image)
                DeleteObject(image);
            if (mask)
                DeleteObject(mask);
        }
    }
    if (masks)
        DeleteDC(masks);
    if (colours)
        DeleteDC(colours);
    ReleaseDC(nullptr, screen);
    HIMAGELIST previous =
        reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons)));
    if (previous)
        ImageList_Destroy(previous);
}

void SetRowTapCount(HWND list, int row, size_t taps)
{
    char countText[16];
    std::snprintf(countText, sizeof countText, "%d", static_cast<int>(taps));
    LVITEMA count = {};
    count.iSubItem = 1;
    count.pszText = countText;
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&count));
}

void SelectRow(HWND list, int row)
{
    LVITEMA state = {};
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void InsertColumn(HWND list, int index, UINT textId, int width, int format)
{
    std::string text = LoadResString(textId);
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = format;
    column.cx = width;
    column.pszText = &text[0];
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

// The listed time in the user's time format, as the column has always
// shown it; empty when the system cannot format it.
std::string TimeColumnText(const std::string& listedAt)
{
    ListedTime listed;
    SYSTEMTIME time = {};
    if (!ParseListedTime(listedAt, listed))
        return std::string();
    time.wYear = static_cast<WORD>(listed.Year);
    time.wMonth = static_cast<WORD>(listed.Month);
    time.wDay = static_cast<WORD>(listed.Day);
    time.wHour = static_cast<WORD>(listed.Hour);
    time.wMinute = static_cast<WORD>(listed.Minute);
    time.wSecond = static_cast<WORD>(listed.Second);
    char text[256];
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, text, 256) == 0)
        return std::string();
    return text;
}

struct ColumnWidths {
    int Time = 0;
    int Taps = 0;
};

ColumnWidths WidthsFor(HWND list, UINT dpi, UiLanguage language)
{
    ColumnWidths widths{ScaleToDpi(TimeColumnWidth, dpi), ScaleToDpi(TapsColumnWidth, dpi)};
    if (language != UiLanguage::English)
        return widths;
    // The room the list's client area gives, less a vertical scroll bar's
    // width while it has none: enough rows bring one, and the columns must
    // still fit then.
    RECT client = {};
    GetClientRect(list, &client);
    int room = client.right - client.left;
    if (!(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL))
        room -= SystemMetricForDpi(SM_CXVSCROLL, dpi);
    if (room <= 0)
        return widths;
    widths.Time = room * TimeColumnWidth / (TimeColumnWidth + TapsColumnWidth);
    widths.Taps = room - widths.Time;
    return widths;
}

// The row's warning icon (or none) and tap count as the book has them.
void ShowRowState(HWND list, const TakeBook& book, int row)
{
    const size_t index = static_cast<size_t>(row);
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = RowImage(row, book.CountFindings(index).Any());
    SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    SetRowTapCount(list, row, book.Takes()[index].Taps.size());

    const UINT check = CheckStateImage(book.Takes()[index].Checked);
    if (static_cast<UINT>(SendMessageA(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK)) !=
        check) {
        QuietChecks quiet;
        LVITEMA state = {};
        state.state = check;
        state.stateMask = LVIS_STATEIMAGEMASK;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    }
}

// Appends a row for the take, selected and scrolled into view.
void AppendRow(HWND list, const SessionTake& take)
{
    std::string timeText = TimeColumnText(take.ListedAt);
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_STATE | LVIF_IMAGE;
    item.iItem = RowCount(list);
    item.pszText = &timeText[0];
    item.iImage = RowImage(item.iItem, false);
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    QuietChecks quiet;
    const int inserted = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (inserted < 0)
        return;

    // The check box after the insertion: a list view with check boxes gives
    // every new row the unchecked image whatever the insertion asked for.
    LVITEMA check = {};
    check.state = CheckStateImage(take.Checked);
    check.stateMask = LVIS_STATEIMAGEMASK;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(inserted), reinterpret_cast<LPARAM>(&check));
    SetRowTapCount(list, inserted, take.Taps.size());
    SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(inserted), FALSE);
}

}  // namespace

void InsertTakeListColumns(HWND list, UiLanguage language)
{
    const UINT dpi = DpiOfWindow(list);
    const ColumnWidths widths = WidthsFor(list, dpi, language);
    InsertColumn(list, 0, IDS_COL_TIME, widths.Time, LVCFMT_LEFT);
    InsertColumn(list, 1, IDS_COL_TAPS, widths.Taps, LVCFMT_RIGHT);
    const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_INFOTIP;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    SetRowIcons(list, dpi);
    SetWindowSubclass(list, TakeListSubclass, 1, 0);
}

void SetTakeListColumnWidths(HWND list, UINT dpi, UiLanguage language)
{
    const ColumnWidths widths = WidthsFor(list, dpi, language);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(widths.Time, 0));
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(widths.Taps, 0));
    SetRowIcons(list, dpi);
}

void ShowAddedTakes(HWND list, const TakeBook& book)
{
    for (size_t i = static_cast<size_t>(RowCount(list)); i < book.Size(); ++i)
        AppendRow(list, book.Takes()[i]);
    ShowTakeStates(list, book);
}

void ShowAllTakes(HWND list, const TakeBook& book)
{
    const int selected = SelectedTakeRow(list);
    {
        QuietChecks quiet;
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
        for (const SessionTake& take : book.Takes())
            AppendRow(list, take);
        const int rows = RowCount(list);
        LVITEMA none = {};
        none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
        if (rows > 0 && selected >= 0)
            SelectRow(list, std::min(selected, rows - 1));
    }
    ShowTakeStates(list, book);
}

void ShowTakeStates(HWND list, const TakeBook& book)
{
    const int rows = std::min(RowCount(list), static_cast<int>(book.Size()));
    for (int row = 0; row < rows; ++row)
        ShowRowState(list, book, row);
}

int SelectedTakeRow(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool TakeListChangeAllowed(const NMLISTVIEW& changing)
{
    return !(inDoubleClick && (changing.uChanged & LVIF_STATE) &&
             ((changing.uNewState ^ changing.uOldState) & LVIS_STATEIMAGEMASK));
}

bool CheckBoxClicked(const NMLISTVIEW& changed, int& row, bool& checked)
{
    if (quietChecks > 0 || changed.iItem < 0 || !(changed.uChanged & LVIF_STATE) ||
        !((changed.uNewState ^ changed.uOldState) & LVIS_STATEIMAGEMASK))
        return false;
    // A row's state image is 0 until the list has given it a check box.
    const UINT image = changed.uNewState & LVIS_STATEIMAGEMASK;
    if (image != CheckStateImage(true) && image != CheckStateImage(false))
        return false;
    row = changed.iItem;
    checked = image == CheckStateImage(true);
    return true;
}

std::string FindingsSummary(const TakeBook& book, size_t take)
{
    if (take >= book.Size())
        return std::string();
    const FindingCounts counts = book.CountFindings(take);
    std::string summary;
    const struct {
        int count;
        UINT word;
    } parts[] = {{counts.Missed, IDS_FINDING_MISSED},
                 {counts.Extra, IDS_FINDING_EXTRA},
                 {counts.Start, IDS_FINDING_START},
                 {counts.Outlier, IDS_FINDING_OUTLIER}};
    for (const auto& part : parts) {
        if (part.count == 0)
            continue;
        if (!summary.empty())
            summary += ' ';
        summary += LoadResString(part.word, std::to_string(part.count));
    }
    return summary;
}

void FillTakeInfoTip(NMLVGETINFOTIPA& tip, const TakeBook& book)
{
    if (!tip.pszText || tip.cchTextMax <= 0 || tip.iItem < 0)
        return;
    const size_t index = static_cast<size_t>(tip.iItem);
    if (index >= book.Size())
        return;
    // The file the take came from, then its findings.
    std::string summary = book.Takes()[index].Source;
    const std::string findings = FindingsSummary(book, index);
    if (!findings.empty())
        summary += (summary.empty() ? "" : "\n") + findings;
    if (summary.empty())
        return;  // the list shows its own tip (a cut-off text), if any
    // The list passes its own tip text in the buffer when the text is cut
    // off; the findings replace it.
    const size_t room = static_cast<size_t>(tip.cchTextMax) - 1;
    const size_t n = std::min(room, summary.size());
    summary.copy(tip.pszText, n);
    tip.pszText[n] = '\0';
}
