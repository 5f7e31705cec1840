#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Messages.h"
#include "resource.h"

namespace {

// ---------------------------------------------------------------------------
// Helpers

// The texts of tests/support/test_strings.rc: the letters a to z repeated.
std::string Letters(size_t length)
{
    std::string text(length, ' ');
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>('a' + i % 26);
    return text;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

RECT WindowRect(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

RECT PrimaryWorkArea()
{
    RECT r{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    return r;
}

// Where a window of `r`'s size sits when its centre is the centre of
// `reference` (no work-area limit involved).
POINT CentreOf(const RECT& reference, const RECT& r)
{
    return {(reference.left + reference.right) / 2 - Width(r) / 2,
            (reference.top + reference.bottom) / 2 - Height(r) / 2};
}

::testing::AssertionResult IsAt(POINT expected, const RECT& r)
{
    if (r.left == expected.x && r.top == expected.y)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "window at (" << r.left << ", " << r.top << "), expected at ("
                                         << expected.x << ", " << expected.y << ")";
}

// A window of the STATIC class, destroyed with the object. With WS_POPUP or
// WS_OVERLAPPED the handle passed is the owner; with WS_CHILD the parent.
class TestWindow {
public:
    TestWindow(DWORD style, const RECT& r, HWND parentOrOwner = nullptr)
        : handle_(CreateWindowExA(0, "STATIC", "owner", style, r.left, r.top, Width(r), Height(r), parentOrOwner,
                                  nullptr, GetModuleHandleA(nullptr), nullptr))
    {
    }
    ~TestWindow() { DestroyWindow(handle_); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND get() const { return handle_; }

private:
    HWND handle_;
};

constexpr DWORD OwnerStyle = WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE;

// A hidden modeless dialog without controls. Its template places it at the
// top-left corner of the screen (DS_ABSALIGN: screen, not owner,
// coordinates), so a dialog that nobody moves is easy to tell from one
// centred on an owner in the middle of the screen.
struct alignas(4) EmptyDialogTemplate {
    DLGTEMPLATE header;
    WORD menu;
    WORD windowClass;
    WORD title;
};

// Where the dialog stood when its own procedure first saw WM_INITDIALOG.
RECT rectAtInitDialog{};

INT_PTR CALLBACK EmptyDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        GetWindowRect(dialog, &rectAtInitDialog);
    return FALSE;
}

class TestDialog {
public:
    explicit TestDialog(HWND owner, short cx = 120, short cy = 60)
    {
        EmptyDialogTemplate t{};
        t.header.style = WS_POPUP | WS_CAPTION | DS_ABSALIGN;
        t.header.cx = cx;
        t.header.cy = cy;
        rectAtInitDialog = RECT{-1, -1, -1, -1};
        handle_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &t.header, owner, EmptyDialogProc, 0);
    }
    ~TestDialog() { DestroyWindow(handle_); }
    TestDialog(const TestDialog&) = delete;
    TestDialog& operator=(const TestDialog&) = delete;
    HWND get() const { return handle_; }
    RECT Rect() const { return WindowRect(handle_); }

private:
    HWND handle_ = nullptr;
};

// What a message box showed, read while it was on screen.
struct SeenBox {
    std::string caption;
    std::string text;
    // Where the box stood when its own procedure received WM_INITDIALOG (that
    // is, after the centring hook) and where it stood on screen.
    RECT rectAtInitDialog{};
    RECT rect{};
    HICON icon = nullptr;
    bool ok = false;
    bool yes = false;
    bool no = false;
    int defaultButton = 0;
};

BOOL CALLBACK FindIcon(HWND child, LPARAM found)
{
    char className[16] = "";
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") != 0 || (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        return TRUE;
    *reinterpret_cast<HICON*>(found) = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    return FALSE;
}

// The icon a box shows, found by the kind of control rather than by its id,
// which differs between platforms.
HICON IconOf(HWND box)
{
    HICON icon = nullptr;
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&icon));
    return icon;
}

bool ShowsButton(HWND box, int id)
{
    const HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

int DefaultButton(HWND box)
{
    for (const int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
        const HWND button = GetDlgItem(box, id);
        if (button && (GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return id;
    }
    return 0;
}

// Answers every message box of this thread with one command and records
// what it showed. A thread timer fires inside the box's modal loop, that is
// once the box is complete and on screen (a hook on its activation would
// come before the box has laid itself out). A window-procedure hook of its
// own notes where each dialog stands when its procedure gets WM_INITDIALOG:
// installed before the box's centring hook, it is called after it.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int answer)
        : answer_(answer),
          hook_(SetWindowsHookExA(WH_CALLWNDPROC, CallWndProc, nullptr, GetCurrentThreadId())),
          timer_(SetTimer(nullptr, 0, 10, TimerProc))
    {
        current_ = this;
    }
    ~BoxAnswerer()
    {
        KillTimer(nullptr, timer_);
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    bool Ready() const { return hook_ && timer_; }
    const std::vector<SeenBox>& Boxes() const { return boxes_; }

private:
    static LRESULT CALLBACK CallWndProc(int code, WPARAM wParam, LPARAM lParam)
    {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code >= 0 && current_ && call->message == WM_INITDIALOG)
            current_->initDialogRects_.push_back({call->hwnd, WindowRect(call->hwnd)});
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD)
    {
        if (current_)
            EnumThreadWindows(GetCurrentThreadId(), AnswerIfVisible, 0);
    }

    static BOOL CALLBACK AnswerIfVisible(HWND window, LPARAM)
    {
        if (IsWindowVisible(window))
            current_->Answer(window);
        return TRUE;
    }

    void Answer(HWND box)
    {
        char className[16] = "";
        GetClassNameA(box, className, sizeof className);
        if (std::strcmp(className, "#32770") != 0 ||
            std::find(answered_.begin(), answered_.end(), box) != answered_.end())
            return;
        answered_.push_back(box);

        SeenBox seen;
        char buffer[2048] = "";
        GetWindowTextA(box, buffer, sizeof buffer);
        seen.caption = buffer;
        buffer[0] = '\0';
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        seen.text = buffer;
        for (const auto& [window, rect] : initDialogRects_) {
            if (window == box)
                seen.rectAtInitDialog = rect;
        }
        seen.rect = WindowRect(box);
        seen.icon = IconOf(box);
        seen.ok = ShowsButton(box, IDOK);
        seen.yes = ShowsButton(box, IDYES);
        seen.no = ShowsButton(box, IDNO);
        seen.defaultButton = DefaultButton(box);
        boxes_.push_back(seen);

        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer_), 0);
    }

    static BoxAnswerer* current_;
    int answer_;
    HHOOK hook_;
    UINT_PTR timer_;
    std::vector<std::pair<HWND, RECT>> initDialogRects_;
    std::vector<HWND> answered_;
    std::vector<SeenBox> boxes_;
};

BoxAnswerer* BoxAnswerer::current_ = nullptr;

// Wine's message boxes lay themselves out in their own WM_INITDIALOG handling
// and put themselves in the middle of the desktop there, after any centring
// hook has run; Windows sizes and places a message box before it is created.
// Under Wine the tests therefore check a box's position where the centring
// happens, at WM_INITDIALOG, and its final position only on Windows.
bool RunningUnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Checks that a box was centred as `expected` says, given the box's size.
template <typename Expected>
void ExpectPlaced(const SeenBox& box, Expected expected)
{
    EXPECT_TRUE(IsAt(expected(box.rectAtInitDialog), box.rectAtInitDialog)) << "at WM_INITDIALOG";
    if (!RunningUnderWine()) {
        EXPECT_TRUE(IsAt(expected(box.rect), box.rect)) << "on screen";
    }
}

HICON SystemIcon(LPCSTR id)
{
    return LoadIconA(nullptr, id);
}

// Strings 3 and 9 of the program's string table; a missing one would make
// the comparisons with them meaningless.
std::string ErrorCaption()
{
    bool found = false;
    std::string text = LoadResString(IDS_CAPTION_ERROR, &found);
    EXPECT_TRUE(found) << "string " << IDS_CAPTION_ERROR;
    return text;
}

std::string UnexpectedErrorText()
{
    bool found = false;
    std::string text = LoadResString(IDS_UNEXPECTED_ERROR, &found);
    EXPECT_TRUE(found) << "string " << IDS_UNEXPECTED_ERROR;
    return text;
}

// Every test loads its strings from the test program itself, which carries
// the program's string table and the test strings.
class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override { g_hInstance = GetModuleHandleA(nullptr); }
};

// The owner used by most box and dialog tests: visible, well inside the
// screen and away from its centre, so that "centred on the owner" and
// "centred on the screen" differ.
const RECT OwnerRect{300, 200, 800, 600};

// ---------------------------------------------------------------------------
// LoadResString

class LoadResStringTest : public MessagesTest {};

TEST_F(LoadResStringTest, LoadsStringsOfEveryLengthCompletely)
{
    // Around both buffer sizes: 253 bytes leave exactly three bytes free in
    // the first buffer, everything from 256 on needs a larger one.
    const struct {
        UINT id;
        size_t length;
    } cases[] = {{9000, 253}, {9001, 254}, {9002, 255}, {9003, 256},
                 {9004, 300}, {9005, 509}, {9006, 510}, {9016, 600}};
    for (const auto& c : cases) {
        bool found = false;
        const std::string text = LoadResString(c.id, &found);
        EXPECT_EQ(c.length, text.size()) << "string " << c.id;
        EXPECT_EQ(Letters(c.length), text) << "string " << c.id;
        EXPECT_TRUE(found) << "string " << c.id;
    }
    EXPECT_EQ(Letters(600), LoadResString(9016));
}

TEST_F(LoadResStringTest, MissingOrEmptyStringIsEmptyAndNotFound)
{
    // 9007 is missing from a block that exists, 60000 from one that does not,
    // 9017 is there but empty.
    for (const UINT id : {9007u, 60000u, 9017u}) {
        bool found = true;
        EXPECT_EQ("", LoadResString(id, &found)) << "string " << id;
        EXPECT_FALSE(found) << "string " << id;
    }
}

TEST_F(LoadResStringTest, LoadsFromTheGlobalInstance)
{
    // A module without our test strings: the loader must not fall back to
    // some other module.
    g_hInstance = GetModuleHandleA("kernel32.dll");
    ASSERT_NE(nullptr, g_hInstance);
    bool found = true;
    EXPECT_EQ("", LoadResString(9004, &found));
    EXPECT_FALSE(found);
}

// ---------------------------------------------------------------------------
// The placement rule, on made-up work areas

TEST(CenterPlacement, CentresOnTheReferenceInsideTheArea)
{
    const RECT area{0, 0, 1000, 800};
    const POINT p = CenteredPosition(RECT{100, 100, 301, 201}, area, 50, 21);
    // Centre (200, 150); the halves of the size are 25 and 10.
    EXPECT_EQ(175, p.x);
    EXPECT_EQ(140, p.y);
}

TEST(CenterPlacement, HalvesTruncateTowardsZeroOnNegativeCoordinates)
{
    // A monitor left of and above the primary one. (-301 + -100) / 2 is
    // -200.5, which truncates to -200 (flooring would give -201).
    const RECT area{-2000, -2000, 0, 0};
    const POINT p = CenteredPosition(RECT{-301, -501, -100, -100}, area, 51, 31);
    EXPECT_EQ(-200 - 25, p.x);
    EXPECT_EQ(-300 - 15, p.y);
}

TEST(CenterPlacement, IsPushedBackInsideTheArea)
{
    const RECT area{50, 40, 500, 400};
    // Centred position left of and above the area: moved onto its left and
    // top edges.
    POINT p = CenteredPosition(RECT{0, 0, 100, 60}, area, 80, 70);
    EXPECT_EQ(50, p.x);
    EXPECT_EQ(40, p.y);
    // Centred position past the right and bottom edges: moved back so that
    // the right and bottom edges meet the area's.
    p = CenteredPosition(RECT{400, 350, 560, 450}, area, 80, 70);
    EXPECT_EQ(500 - 80, p.x);
    EXPECT_EQ(400 - 70, p.y);
    // Exactly on the edges: left alone.
    p = CenteredPosition(RECT{50, 40, 130, 110}, area, 80, 70);
    EXPECT_EQ(50, p.x);
    EXPECT_EQ(40, p.y);
    p = CenteredPosition(RECT{420, 330, 500, 400}, area, 80, 70);
    EXPECT_EQ(420, p.x);
    EXPECT_EQ(330, p.y);
}

TEST(CenterPlacement, WindowLargerThanTheAreaTheFirstTestWins)
{
    const RECT area{0, 0, 300, 200};
    // Centred position starts outside the area: the left (top) edge goes on
    // the area's edge, although the window then passes the right (bottom).
    POINT p = CenteredPosition(RECT{0, 0, 100, 100}, area, 400, 300);
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(0, p.y);
    // Centred position starts inside the area: the right (bottom) edge goes
    // on the area's edge, and the left (top) edge ends up outside it.
    p = CenteredPosition(RECT{200, 150, 300, 200}, area, 400, 300);
    EXPECT_EQ(300 - 400, p.x);
    EXPECT_EQ(200 - 300, p.y);
}

// ---------------------------------------------------------------------------
// CenteredMessageBox

class CenteredMessageBoxTest : public MessagesTest {};

TEST_F(CenteredMessageBoxTest, ShowsTextCaptionAndStyleAndReturnsTheAnswer)
{
    const TestWindow owner(OwnerStyle, OwnerRect);
    // Code page 932 text: "\x83\x47\x83\x89\x81\x5b" is the error caption's
    // katakana, "\x83\x5c" a character whose second byte is a backslash.
    const std::string text = "\x83\x5c\x83\x74\x83\x67 first line\nsecond line?";
    const std::string caption = "\x83\x47\x83\x89\x81\x5b";

    const struct {
        UINT style;
        int answer;
        LPCSTR icon;
        bool ok, yesNo;
        int defaultButton;
    } kinds[] = {
        {MB_ICONERROR, IDOK, IDI_HAND, true, false, IDOK},
        {MB_ICONEXCLAMATION, IDOK, IDI_EXCLAMATION, true, false, IDOK},
        {MB_YESNO | MB_ICONEXCLAMATION, IDYES, IDI_EXCLAMATION, false, true, IDYES},
        {MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2, IDNO, IDI_EXCLAMATION, false, true, IDNO},
        {MB_YESNO | MB_ICONQUESTION, IDNO, IDI_QUESTION, false, true, IDYES},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(testing::Message() << "style 0x" << std::hex << k.style);
        BoxAnswerer answerer(k.answer);
        ASSERT_TRUE(answerer.Ready());
        EXPECT_EQ(k.answer, CenteredMessageBox(owner.get(), text, caption, k.style));
        ASSERT_EQ(1u, answerer.Boxes().size());
        const SeenBox& box = answerer.Boxes()[0];
        EXPECT_EQ(caption, box.caption);
        EXPECT_EQ(text, box.text);
        EXPECT_EQ(SystemIcon(k.icon), box.icon);
        EXPECT_EQ(k.ok, box.ok);
        EXPECT_EQ(k.yesNo, box.yes);
        EXPECT_EQ(k.yesNo, box.no);
        EXPECT_EQ(k.defaultButton, box.defaultButton);
    }
}

TEST_F(CenteredMessageBoxTest, IsCentredOnAVisibleOwner)
{
    const TestWindow owner(OwnerStyle, OwnerRect);
    BoxAnswerer answerer(IDOK);
    CenteredMessageBox(owner.get(), "centred", "caption", MB_OK);
    ASSERT_EQ(1u, answerer.Boxes().size());
    ExpectPlaced(answerer.Boxes()[0], [](const RECT& box) { return CentreOf(OwnerRect, box); });
}

TEST_F(CenteredMessageBoxTest, StaysInsideTheWorkAreaWhenTheOwnerIsNearItsEdge)
{
    // An owner reaching past the bottom-right corner of the work area.
    const RECT area = PrimaryWorkArea();
    const TestWindow owner(OwnerStyle, RECT{area.right - 100, area.bottom - 60, area.right + 100, area.bottom + 60});
    BoxAnswerer answerer(IDOK);
    CenteredMessageBox(owner.get(), "near the corner", "caption", MB_OK);
    ASSERT_EQ(1u, answerer.Boxes().size());
    ExpectPlaced(answerer.Boxes()[0],
                 [&](const RECT& box) { return POINT{area.right - Width(box), area.bottom - Height(box)}; });
}

TEST_F(CenteredMessageBoxTest, HiddenMinimisedOrMissingOwnerCentresOnTheWorkArea)
{
    // The owner sits at the top-left corner, so centring on it would keep the
    // box there.
    const RECT area = PrimaryWorkArea();
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromWindow(nullptr, MONITOR_DEFAULTTONEAREST), &info));
    EXPECT_EQ(area.left, info.rcWork.left);

    const TestWindow hidden(WS_OVERLAPPED | WS_CAPTION, RECT{0, 0, 200, 100});
    const TestWindow minimised(OwnerStyle, RECT{0, 0, 200, 100});
    ShowWindow(minimised.get(), SW_MINIMIZE);
    ASSERT_TRUE(GetWindowLongA(minimised.get(), GWL_STYLE) & WS_MINIMIZE);

    for (const HWND owner : {hidden.get(), minimised.get(), HWND{}}) {
        BoxAnswerer answerer(IDOK);
        CenteredMessageBox(owner, "work area", "caption", MB_OK);
        ASSERT_EQ(1u, answerer.Boxes().size());
        SCOPED_TRACE(testing::Message() << "owner " << owner);
        ExpectPlaced(answerer.Boxes()[0], [&](const RECT& box) { return CentreOf(info.rcWork, box); });
    }
}

TEST_F(CenteredMessageBoxTest, CentresNothingOnceItHasReturned)
{
    const TestWindow owner(OwnerStyle, OwnerRect);
    {
        BoxAnswerer answerer(IDOK);
        CenteredMessageBox(owner.get(), "text", "caption", MB_OK);
        ASSERT_EQ(1u, answerer.Boxes().size());
    }
    const TestDialog dialog(owner.get());
    ASSERT_NE(nullptr, dialog.get());
    EXPECT_FALSE(IsAt(CentreOf(OwnerRect, dialog.Rect()), dialog.Rect()));
}

// ---------------------------------------------------------------------------
// DialogCenteringScope

class DialogCenteringScopeTest : public MessagesTest {};

TEST_F(DialogCenteringScopeTest, CentresDialogsOnlyWhileAScopeLives)
{
    const TestWindow owner(OwnerStyle, OwnerRect);
    {
        const TestDialog before(owner.get());
        ASSERT_NE(nullptr, before.get());
        EXPECT_FALSE(IsAt(CentreOf(OwnerRect, before.Rect()), before.Rect()));
    }
    {
        const DialogCenteringScope scope;
        const TestDialog during(owner.get());
        EXPECT_TRUE(IsAt(CentreOf(OwnerRect, during.Rect()), during.Rect()));
        // Already in place when the dialog's own procedure saw WM_INITDIALOG.
        EXPECT_TRUE(IsAt(CentreOf(OwnerRect, during.Rect()), rectAtInitDialog));
    }
    const TestDialog after(owner.get());
    EXPECT_FALSE(IsAt(CentreOf(OwnerRect, after.Rect()), after.Rect()));
}

TEST_F(DialogCenteringScopeTest, EndOfAnInnerScopeEndsCentringForTheOuterOne)
{
    const TestWindow owner(OwnerStyle, OwnerRect);
    {
        const DialogCenteringScope outer;
        {
            const TestDialog inOuter(owner.get());
            EXPECT_TRUE(IsAt(CentreOf(OwnerRect, inOuter.Rect()), inOuter.Rect()));
        }
        {
            const DialogCenteringScope inner;
            const TestDialog inInner(owner.get());
            EXPECT_TRUE(IsAt(CentreOf(OwnerRect, inInner.Rect()), inInner.Rect()));
        }
        {
            const TestDialog afterInner(owner.get());
            EXPECT_FALSE(IsAt(CentreOf(OwnerRect, afterInner.Rect()), afterInner.Rect()));
        }
        // A message box opens a scope of its own and centres itself again...
        BoxAnswerer answerer(IDOK);
        CenteredMessageBox(owner.get(), "inside the outer scope", "caption", MB_OK);
        ASSERT_EQ(1u, answerer.Boxes().size());
        ExpectPlaced(answerer.Boxes()[0], [](const RECT& box) { return CentreOf(OwnerRect, box); });
        // ...and, being an inner scope, takes the hook with it.
        const TestDialog afterBox(owner.get());
        EXPECT_FALSE(IsAt(CentreOf(OwnerRect, afterBox.Rect()), afterBox.Rect()));
    }
    // All scopes over: nothing is centred, and the next scope starts afresh.
    {
        const TestDialog afterAll(owner.get());
        EXPECT_FALSE(IsAt(CentreOf(OwnerRect, afterAll.Rect()), afterAll.Rect()));
    }
    const DialogCenteringScope again;
    const TestDialog inAgain(owner.get());
    EXPECT_TRUE(IsAt(CentreOf(OwnerRect, inAgain.Rect()), inAgain.Rect()));
}

TEST_F(DialogCenteringScopeTest, DialogWithHiddenOwnerGoesToTheMiddleOfTheWorkArea)
{
    const TestWindow hidden(WS_OVERLAPPED | WS_CAPTION, OwnerRect);
    const DialogCenteringScope scope;
    const TestDialog dialog(hidden.get());
    EXPECT_TRUE(IsAt(CentreOf(PrimaryWorkArea(), dialog.Rect()), dialog.Rect()));
}

TEST_F(DialogCenteringScopeTest, DialogLargerThanTheWorkAreaKeepsItsLeftAndTopEdgesOnScreen)
{
    // Centred on the middle of the work area, a dialog larger than the area
    // starts left of and above it, and is moved onto its left and top edges.
    const RECT area = PrimaryWorkArea();
    const DialogCenteringScope scope;
    const TestDialog huge(nullptr, 2000, 1500);
    const RECT r = huge.Rect();
    ASSERT_GT(Width(r), Width(area));
    ASSERT_GT(Height(r), Height(area));
    EXPECT_EQ(area.left, r.left);
    EXPECT_EQ(area.top, r.top);
}

// ---------------------------------------------------------------------------
// CenterWindow

class CenterWindowTest : public MessagesTest {};

TEST_F(CenterWindowTest, ChildIsCentredInItsParentsClientArea)
{
    const TestWindow parent(OwnerStyle, OwnerRect);
    RECT client{};
    GetClientRect(parent.get(), &client);
    const TestWindow child(WS_CHILD | WS_VISIBLE, RECT{0, 0, 101, 51}, parent.get());

    const DialogCenteringScope scope;
    CenterWindow(nullptr, child.get());
    // Client coordinates of the parent.
    RECT r = WindowRect(child.get());
    MapWindowPoints(HWND_DESKTOP, parent.get(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_TRUE(IsAt(CentreOf(client, r), r));
}

TEST_F(CenterWindowTest, ChildCentredOnASiblingStaysInsideTheParent)
{
    const TestWindow parent(OwnerStyle, OwnerRect);
    const TestWindow sibling(WS_CHILD | WS_VISIBLE, RECT{20, 30, 120, 90}, parent.get());
    const TestWindow child(WS_CHILD | WS_VISIBLE, RECT{0, 0, 60, 40}, parent.get());
    const TestWindow wide(WS_CHILD | WS_VISIBLE, RECT{0, 0, 300, 40}, parent.get());

    const DialogCenteringScope scope;
    CenterWindow(sibling.get(), child.get());
    RECT r = WindowRect(child.get());
    MapWindowPoints(HWND_DESKTOP, parent.get(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(70 - 30, r.left);
    EXPECT_EQ(60 - 20, r.top);

    // Centred on the sibling it would start at x = -80: it goes onto the
    // parent's left edge instead.
    CenterWindow(sibling.get(), wide.get());
    r = WindowRect(wide.get());
    MapWindowPoints(HWND_DESKTOP, parent.get(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(60 - 20, r.top);
}

TEST_F(CenterWindowTest, PopupWithoutGivenOwnerTakesItsOwnerWindow)
{
    const TestWindow owner(OwnerStyle, OwnerRect);
    const TestWindow other(OwnerStyle, RECT{50, 60, 250, 160});
    const TestWindow popup(WS_POPUP | WS_CAPTION, RECT{0, 0, 150, 90}, owner.get());
    ASSERT_EQ(owner.get(), GetWindow(popup.get(), GW_OWNER));

    const DialogCenteringScope scope;
    CenterWindow(nullptr, popup.get());
    EXPECT_TRUE(IsAt(CentreOf(OwnerRect, WindowRect(popup.get())), WindowRect(popup.get())));
    // A given owner beats the owner window.
    CenterWindow(other.get(), popup.get());
    EXPECT_TRUE(IsAt(CentreOf(WindowRect(other.get()), WindowRect(popup.get())), WindowRect(popup.get())));
}

TEST_F(CenterWindowTest, TopLevelWindowIsKeptInsideTheWorkArea)
{
    const RECT area = PrimaryWorkArea();
    const TestWindow owner(OwnerStyle, RECT{area.left - 150, area.top - 100, area.left + 50, area.top + 40});
    const TestWindow popup(WS_POPUP | WS_CAPTION, RECT{500, 500, 700, 650}, owner.get());

    const DialogCenteringScope scope;
    CenterWindow(nullptr, popup.get());
    const RECT r = WindowRect(popup.get());
    EXPECT_EQ(area.left, r.left);
    EXPECT_EQ(area.top, r.top);
    EXPECT_EQ(200, Width(r));
    EXPECT_EQ(150, Height(r));
}

// ---------------------------------------------------------------------------
// Platform errors

class SystemErrorMessagesTest : public MessagesTest {};

TEST_F(SystemErrorMessagesTest, CodeZeroShowsNothing)
{
    const TestWindow owner(OwnerStyle, OwnerRect);
    BoxAnswerer answerer(IDOK);
    ReportSystemError(owner.get(), 0);
    EXPECT_TRUE(answerer.Boxes().empty());
}

TEST_F(SystemErrorMessagesTest, ShowsThePlatformTextInACentredErrorBox)
{
    const std::string caption = ErrorCaption();
    const TestWindow owner(OwnerStyle, OwnerRect);
    BoxAnswerer answerer(IDOK);
    ReportSystemError(owner.get(), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(1u, answerer.Boxes().size());
    const SeenBox& box = answerer.Boxes()[0];
    EXPECT_EQ(caption, box.caption);
    EXPECT_EQ(GetSystemErrorText(ERROR_FILE_NOT_FOUND), box.text);
    EXPECT_EQ(SystemIcon(IDI_HAND), box.icon);
    EXPECT_TRUE(box.ok);
    EXPECT_FALSE(box.yes);
    ExpectPlaced(box, [](const RECT& r) { return CentreOf(OwnerRect, r); });
}

TEST_F(SystemErrorMessagesTest, KnownCodeGivesThePlatformsOwnWordsUnchanged)
{
    const std::string text = GetSystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_GT(text.size(), 2u);
    EXPECT_NE(UnexpectedErrorText(), text);
    EXPECT_NE(GetSystemErrorText(ERROR_ACCESS_DENIED), text);
    // The platform ends its messages with a line break, which stays.
    EXPECT_EQ("\r\n", text.substr(text.size() - 2));
}

TEST_F(SystemErrorMessagesTest, CodeWithoutAUsableMessageGivesTheUnexpectedErrorString)
{
    const std::string unexpected = UnexpectedErrorText();
    // Bit 29 marks application-defined codes, which the system never has a
    // message for.
    for (const DWORD code : {DWORD{0x20001234}, DWORD{0x2FFFFFFF}})
        EXPECT_EQ(unexpected, GetSystemErrorText(code)) << "code " << code;
    // This message has an insert ("%1 is not a valid application") and
    // nothing to fill it with.
    EXPECT_EQ(unexpected, GetSystemErrorText(ERROR_BAD_EXE_FORMAT));
}

// ---------------------------------------------------------------------------
// ShellOpen

class ShellOpenTest : public MessagesTest {};

TEST_F(ShellOpenTest, TargetThatCannotBeOpenedShowsOneErrorBoxWithTheLastError)
{
    const std::string caption = ErrorCaption();
    char temp[MAX_PATH] = "";
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    const std::string missing = "metrova-missing-" + std::to_string(GetCurrentProcessId());
    // A missing file in an existing folder, and a file in a missing folder:
    // the shell's result is "file not found" for both under Wine, but the
    // thread's last error tells them apart.
    const struct {
        std::string target;
        DWORD error;
    } cases[] = {{std::string(temp) + missing + ".html", ERROR_FILE_NOT_FOUND},
                 {std::string(temp) + missing + "\\help.html", ERROR_PATH_NOT_FOUND}};

    const TestWindow owner(OwnerStyle, OwnerRect);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(c.target.c_str()));
        BoxAnswerer answerer(IDOK);
        ShellOpen(c.target, owner.get());
        ASSERT_EQ(1u, answerer.Boxes().size());
        const SeenBox& box = answerer.Boxes()[0];
        EXPECT_EQ(caption, box.caption);
        EXPECT_EQ(GetSystemErrorText(c.error), box.text);
        EXPECT_EQ(SystemIcon(IDI_HAND), box.icon);
        ExpectPlaced(box, [](const RECT& r) { return CentreOf(OwnerRect, r); });
    }
}

// The UTF-16 form reports the same way, also for a folder the code page
// cannot spell (the manual beside a program in such a folder).
TEST_F(ShellOpenTest, WideTargetThatCannotBeOpenedShowsOneErrorBoxWithTheLastError)
{
    wchar_t temp[MAX_PATH] = L"";
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring missing = L"metrova-missing-\u266A caf\u00E9 \uD55C\uAD6D-" + std::to_wstring(GetCurrentProcessId());
    const struct {
        std::wstring target;
        DWORD error;
    } cases[] = {{temp + missing + L".html", ERROR_FILE_NOT_FOUND},
                 {temp + missing + L"\\Metrova.html", ERROR_PATH_NOT_FOUND}};

    const TestWindow owner(OwnerStyle, OwnerRect);
    for (const auto& c : cases) {
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(c.target.c_str()));
        BoxAnswerer answerer(IDOK);
        ShellOpen(c.target, owner.get());
        ASSERT_EQ(1u, answerer.Boxes().size());
        const SeenBox& box = answerer.Boxes()[0];
        EXPECT_EQ(ErrorCaption(), box.caption);
        EXPECT_EQ(GetSystemErrorText(c.error), box.text);
        EXPECT_EQ(SystemIcon(IDI_HAND), box.icon);
    }
}

// ---------------------------------------------------------------------------
// WaitCursorScope

class WaitCursorScopeTest : public MessagesTest {};

TEST_F(WaitCursorScopeTest, NestedScopesRestoreTheCursorOnlyWhenTheOuterOneEnds)
{
    const HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    const HCURSOR cross = LoadCursorA(nullptr, IDC_CROSS);
    const HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    ASSERT_NE(wait, cross);
    SetCursor(cross);
    {
        const WaitCursorScope outer;
        EXPECT_EQ(wait, GetCursor());
        // Something else shows its own cursor in between; an inner scope must
        // neither keep nor bring back that one.
        SetCursor(arrow);
        {
            const WaitCursorScope inner;
            EXPECT_EQ(wait, GetCursor());
        }
        EXPECT_EQ(wait, GetCursor());
    }
    EXPECT_EQ(cross, GetCursor());
}

TEST_F(WaitCursorScopeTest, EachOutermostScopeSavesTheCursorAfresh)
{
    const HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    const HCURSOR ibeam = LoadCursorA(nullptr, IDC_IBEAM);
    const HCURSOR cross = LoadCursorA(nullptr, IDC_CROSS);
    SetCursor(ibeam);
    {
        const WaitCursorScope first;
        EXPECT_EQ(wait, GetCursor());
    }
    EXPECT_EQ(ibeam, GetCursor());
    SetCursor(cross);
    {
        const WaitCursorScope second;
        const WaitCursorScope nested;
        EXPECT_EQ(wait, GetCursor());
    }
    EXPECT_EQ(cross, GetCursor());
}

}  // namespace
