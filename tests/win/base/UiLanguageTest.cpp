// The English interface beside the Japanese one: every dialog, menu and
// string of the Japanese resources has an English copy with the same structure (the
// same controls and commands in the same order, the same placeholders and
// filter parts), and the English texts are plain ASCII, which every ANSI
// code page shows as written. Read from the resources directly, whatever
// the interface language of the running system.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "UiLanguage.h"
#include "resource.h"

namespace {

const LANGID Japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
const LANGID English = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

const WORD* Resource(const char* type, UINT id, LANGID language, DWORD* size = nullptr)
{
    HRSRC found = FindResourceExA(Module(), type, MAKEINTRESOURCEA(id), language);
    if (!found)
        return nullptr;
    if (size)
        *size = SizeofResource(Module(), found);
    return static_cast<const WORD*>(LockResource(LoadResource(Module(), found)));
}

bool IsPlainAscii(const std::wstring& text)
{
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0x20 ? c < 0x7F : c == L'\n' || c == L'\t'; });
}

const WORD* ReadSzOrOrd(const WORD* p, std::wstring& text)
{
    text.clear();
    if (*p == 0xFFFF) {
        text = L"#" + std::to_wstring(p[1]);
        return p + 2;
    }
    text = reinterpret_cast<const wchar_t*>(p);
    return p + text.size() + 1;
}

struct Control {
    int id;
    std::wstring className, text;
};

struct Dialog {
    std::wstring caption, menu, className;
    std::vector<Control> controls;
};

Dialog ReadDialog(const WORD* p)
{
    Dialog d;
    const WORD count = p[8];
    p = ReadSzOrOrd(p + 13, d.menu);
    p = ReadSzOrOrd(p, d.className);
    p = ReadSzOrOrd(p, d.caption);
    std::wstring face;
    p = ReadSzOrOrd(p + 3, face);
    for (WORD i = 0; i < count; ++i) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~static_cast<UINT_PTR>(3));
        Control c;
        c.id = static_cast<int>(MAKELONG(p[10], p[11]));
        p = ReadSzOrOrd(ReadSzOrOrd(p + 12, c.className), c.text);
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p + 1) + *p);
        d.controls.push_back(c);
    }
    return d;
}

// A menu's items in order: the command id (0 for a popup or separator) and
// the text, popups' contents following their popup.
struct MenuItem {
    UINT id;
    std::wstring text;
};

const WORD* ReadMenuItems(const WORD* p, std::vector<MenuItem>& items)
{
    for (;;) {
        const WORD flags = *p++;
        UINT id = 0;
        if (!(flags & MF_POPUP))
            id = *p++;
        const std::wstring text(reinterpret_cast<const wchar_t*>(p));
        p += text.size() + 1;
        items.push_back({id, text});
        if (flags & MF_POPUP)
            p = ReadMenuItems(p, items);
        if (flags & MF_END)
            return p;
    }
}

std::vector<MenuItem> ReadMenu(const WORD* p)
{
    std::vector<MenuItem> items;
    if (p && p[0] == 0)
        ReadMenuItems(p + 2 + p[1] / 2, items);
    return items;
}

// A string of the string table in the given language; empty when missing.
std::wstring StringIn(UINT id, LANGID language)
{
    const WORD* p = Resource(MAKEINTRESOURCEA(6), id / 16 + 1, language);
    if (!p)
        return std::wstring();
    for (UINT i = 0; i < id % 16; ++i)
        p += 1 + *p;
    return std::wstring(reinterpret_cast<const wchar_t*>(p + 1), *p);
}

// What a text must keep in every language: the placeholders, the line breaks
// that separate filter parts, and the accelerator hint after a tab.
std::wstring Skeleton(const std::wstring& text)
{
    std::wstring kept;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 1 < text.size())
            kept += text.substr(i++, 2);
        else if (text[i] == L'\n')
            kept += L'|';
        else if (text[i] == L'\t')
            return kept + text.substr(i);
    }
    return kept;
}

TEST(EnglishFace, EveryDialogHasAnEnglishCopyOfTheSameControls)
{
    for (UINT id : {IDD_MAIN, IDD_TAPINPUT, IDD_ABOUT, IDD_OPTIONS}) {
        SCOPED_TRACE(id);
        const WORD* japanese = Resource(MAKEINTRESOURCEA(5), id, Japanese);
        const WORD* english = Resource(MAKEINTRESOURCEA(5), id, English);
        ASSERT_NE(nullptr, japanese);
        ASSERT_NE(nullptr, english);
        const Dialog ja = ReadDialog(japanese);
        const Dialog en = ReadDialog(english);
        EXPECT_TRUE(IsPlainAscii(en.caption));
        EXPECT_FALSE(en.caption.empty());
        EXPECT_EQ(ja.menu, en.menu);
        EXPECT_EQ(ja.className, en.className);
        ASSERT_EQ(ja.controls.size(), en.controls.size());
        for (size_t i = 0; i < ja.controls.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(ja.controls[i].id, en.controls[i].id);
            EXPECT_EQ(ja.controls[i].className, en.controls[i].className);
            EXPECT_TRUE(IsPlainAscii(en.controls[i].text));
            EXPECT_EQ(ja.controls[i].text.empty(), en.controls[i].text.empty());
            EXPECT_EQ(ja.controls[i].text.find(L'&') != std::wstring::npos,
                      en.controls[i].text.find(L'&') != std::wstring::npos)
                << "a mnemonic in one language only";
        }
    }
}

TEST(EnglishFace, EveryMenuHasAnEnglishCopyOfTheSameCommands)
{
    for (UINT id : {IDM_MAINMENU, IDM_CONTEXTMENU, IDR_GRAPHBEATMENU}) {
        SCOPED_TRACE(id);
        const std::vector<MenuItem> ja = ReadMenu(Resource(MAKEINTRESOURCEA(4), id, Japanese));
        const std::vector<MenuItem> en = ReadMenu(Resource(MAKEINTRESOURCEA(4), id, English));
        ASSERT_FALSE(ja.empty());
        ASSERT_EQ(ja.size(), en.size());
        for (size_t i = 0; i < ja.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(ja[i].id, en[i].id);
            EXPECT_TRUE(IsPlainAscii(en[i].text));
            EXPECT_EQ(ja[i].text.empty(), en[i].text.empty());
            EXPECT_EQ(Skeleton(ja[i].text), Skeleton(en[i].text));
        }
    }
}

TEST(EnglishFace, EveryStringHasAnEnglishCopyWithTheSamePlaceholders)
{
    int compared = 0;
    for (UINT id = 1; id < 256; ++id) {
        const std::wstring ja = StringIn(id, Japanese);
        const std::wstring en = StringIn(id, English);
        SCOPED_TRACE(id);
        EXPECT_EQ(ja.empty(), en.empty());
        if (ja.empty())
            continue;
        EXPECT_TRUE(IsPlainAscii(en));
        EXPECT_EQ(Skeleton(ja), Skeleton(en));
        ++compared;
    }
    EXPECT_GE(compared, 34);  // every string of the program, whatever is added later
    // Texts that are not words are the same in both languages.
    for (UINT id : {IDS_WEB_ADDRESS, IDS_MAIL_ADDRESS, IDS_FILEDESCRIPTION, IDS_LEGALCOPYRIGHT, IDS_COMMENTS})
        EXPECT_EQ(StringIn(id, Japanese), StringIn(id, English));
}

TEST(EnglishFace, VersionResourceHasAnEnglishCopyDeclaringItsTranslation)
{
    DWORD size = 0;
    const WORD* english = Resource(MAKEINTRESOURCEA(16), 1, English, &size);
    ASSERT_NE(nullptr, english);
    const std::wstring block(reinterpret_cast<const wchar_t*>(english), size / 2);
    EXPECT_NE(std::wstring::npos, block.find(L"040904B0"));
    EXPECT_EQ(std::wstring::npos, block.find(L"041104B0"));
}

TEST(EnglishFace, JapaneseExactlyInCodePage932)
{
    EXPECT_EQ(UiLanguage::Japanese, UiLanguageForCodePage(932));
    for (UINT codePage : {437u, 850u, 936u, 949u, 950u, 1250u, 1252u, 65001u})
        EXPECT_EQ(UiLanguage::English, UiLanguageForCodePage(codePage)) << codePage;
    EXPECT_EQ(Japanese, UiLanguageId(UiLanguage::Japanese));
    EXPECT_EQ(English, UiLanguageId(UiLanguage::English));
}

}  // namespace
