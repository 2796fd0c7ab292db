// The registration table's decisions: placeholders, which keys 64-bit
// Windows and Wine keep per view, what one DLL's removal takes while the
// other kind's DLL stays, and which empty parents go with a key.
#include "component/com/registration_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "component/com/registration_rows.h"

namespace orbenix::com {
namespace {

const RegistrationValues kValues{L"orbenix.vexarel", L"{C}", L"{L}", L"{I}", L"C:\\Program Files\\orbenix\\orbenix.dll",
                                 L"win64"};

TEST(RegistrationExpand, ReplacesEveryPlaceholderAndLeavesOtherText) {
    const struct {
        const wchar_t* text;
        const wchar_t* want;
    } cases[] = {
        {L"CLSID\\%CLSID%\\InprocServer32", L"CLSID\\{C}\\InprocServer32"},
        {L"%PROGID%", L"orbenix.vexarel"},
        {L"TypeLib\\%LIBID%\\1.0\\409\\%PLATFORM%", L"TypeLib\\{L}\\1.0\\409\\win64"},
        {L"Interface\\%IID%", L"Interface\\{I}"},
        {L"%DLL%", L"C:\\Program Files\\orbenix\\orbenix.dll"},
        {L"%DIR%", L"C:\\Program Files\\orbenix\\"},
        {L"%DIR%%DIR%", L"C:\\Program Files\\orbenix\\C:\\Program Files\\orbenix\\"},
        {L"100% %UNKNOWN% %", L"100% %UNKNOWN% %"},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(Expand(c.text, kValues), c.want) << c.text;
}

TEST(RegistrationFolderOf, KeepsTheTrailingSeparatorAsWindowsInstallerDoes) {
    EXPECT_EQ(FolderOf(L"C:\\a\\orbenix.dll"), L"C:\\a\\");
    EXPECT_EQ(FolderOf(L"C:\\orbenix.dll"), L"C:\\");
    EXPECT_EQ(FolderOf(L"\\\\server\\share\\orbenix.dll"), L"\\\\server\\share\\");
    EXPECT_EQ(FolderOf(L"Z:/build/orbenix.dll"), L"Z:/build/");
    EXPECT_EQ(FolderOf(L"orbenix.dll"), L"");
}

TEST(RegistrationViews, WindowsSharesProgIdsAndTypeLibWineOnlyTypeLib) {
    const struct {
        const wchar_t* key;
        bool windows;
        bool wine;
    } cases[] = {
        {L"CLSID\\{C}", false, false},
        {L"clsid\\{C}\\InprocServer32", false, false},
        {L"Interface\\{I}\\TypeLib", false, false},
        {L"Media Type\\x", false, false},
        {L"MediaFoundation\\x", false, false},
        {L"DirectShow\\x", false, false},
        {L"TypeLib\\{L}\\1.0\\HELPDIR", true, true},
        {L"typelib\\{L}", true, true},
        {L"orbenix.vexarel", true, false},
        {L"orbenix.vexarel\\CLSID", true, false},
        {L"CLSIDs\\x", true, false},  // a name that only begins like one
        {L"TypeLibs\\x", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OneForBothViews(c.key, RegistryKind::Windows), c.windows) << c.key;
        EXPECT_EQ(OneForBothViews(c.key, RegistryKind::Wine), c.wine) << c.key;
    }
}

std::set<std::wstring> RemovedKeys(RegistryKind kind) {
    std::set<std::wstring> keys;
    for (const RegistrationRow& row : kRegistrationRows) {
        if (RemovedBesideTheOther(row, kind)) keys.insert(Expand(row.key, kValues));
    }
    return keys;
}

TEST(RegistrationBesideTheOther, RemovesOnlyThisDllsViewAndItsTypeLibraryEntry) {
    const std::set<std::wstring> own_view = {
        L"CLSID\\{C}",         L"CLSID\\{C}\\InprocServer32",    L"CLSID\\{C}\\ProgID",
        L"CLSID\\{C}\\TypeLib", L"CLSID\\{C}\\VERSION",           L"Interface\\{I}",
        L"Interface\\{I}\\ProxyStubClsid", L"Interface\\{I}\\ProxyStubClsid32", L"Interface\\{I}\\TypeLib",
        L"TypeLib\\{L}\\1.0\\409\\win64",
    };
    EXPECT_EQ(RemovedKeys(RegistryKind::Windows), own_view);
    std::set<std::wstring> wine = own_view;
    wine.insert({L"orbenix.vexarel", L"orbenix.vexarel\\CLSID"});  // Wine keeps the ProgID per view
    EXPECT_EQ(RemovedKeys(RegistryKind::Wine), wine);
}

TEST(RegistrationPrune, TakesEmptyParentsButNeverATopLevelKey) {
    using Keys = std::vector<std::wstring>;
    EXPECT_EQ(ParentsToPrune(L"TypeLib\\{L}\\1.0\\409\\win64"),
              (Keys{L"TypeLib\\{L}\\1.0\\409", L"TypeLib\\{L}\\1.0", L"TypeLib\\{L}"}));
    EXPECT_EQ(ParentsToPrune(L"CLSID\\{C}\\InprocServer32"), Keys{L"CLSID\\{C}"});
    EXPECT_EQ(ParentsToPrune(L"CLSID\\{C}"), Keys{});
    EXPECT_EQ(ParentsToPrune(L"orbenix.vexarel\\CLSID"), Keys{});
    EXPECT_EQ(ParentsToPrune(L"orbenix.vexarel"), Keys{});
}

}  // namespace
}  // namespace orbenix::com
