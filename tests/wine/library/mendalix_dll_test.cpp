// The built Mendalix.dll as an application on Windows meets it, with no driver installed.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "library/include/Mendalix.h"

namespace {

// Each test loads the library afresh, in a scratch current directory, and unloads it.
class MendalixDll : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCurrentDirectoryA(sizeof(oldDir_), oldDir_);
    GetTempPathA(sizeof(dir_), dir_);
    strcat(dir_, "mendalix_dll_test");
    CreateDirectoryA(dir_, NULL);
    DeleteFileA((std::string(dir_) + "\\Quorvex.ini").c_str());
    ASSERT_TRUE(SetCurrentDirectoryA(dir_));
    lib_ = LoadLibraryA(MENDALIX_DLL_PATH);
    ASSERT_NE(lib_, nullptr) << "LoadLibraryA(" << MENDALIX_DLL_PATH << ") " << GetLastError();
  }
  void TearDown() override {
    if (lib_) FreeLibrary(lib_);
    SetCurrentDirectoryA(oldDir_);
  }
  template <typename T>
  T Bind(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(lib_, name)));
  }
  const IMAGE_DATA_DIRECTORY& Directory(int which) {
    auto* base = reinterpret_cast<const unsigned char*>(lib_);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);   // of this bitness
    return nt->OptionalHeader.DataDirectory[which];
  }
  const unsigned char* At(DWORD rva) { return reinterpret_cast<const unsigned char*>(lib_) + rva; }

  HMODULE lib_ = nullptr;
  char oldDir_[MAX_PATH] = {};
  char dir_[MAX_PATH] = {};
};

TEST_F(MendalixDll, LoadsWithoutADriverAndEveryCallBindsByNameAndOrdinal) {
  struct {
    const char* name;
    int ordinal;
  } exportsWanted[] = {{"BT_OnQuery", MENDALIX_ORDINAL_BT_ONQUERY},
                       {"BT_OnConnect", MENDALIX_ORDINAL_BT_ONCONNECT},
                       {"BT_OnMonitor", MENDALIX_ORDINAL_BT_ONMONITOR},
                       {"BT_OnReset", MENDALIX_ORDINAL_BT_ONRESET},
                       {"BT_long", MENDALIX_ORDINAL_BT_LONG}};
  for (auto& e : exportsWanted) {
    FARPROC byName = GetProcAddress(lib_, e.name);
    ASSERT_NE(byName, nullptr) << e.name;
    EXPECT_EQ(byName, GetProcAddress(lib_, MAKEINTRESOURCEA(e.ordinal))) << e.name;
  }
  for (int unused = 5; unused <= 9; ++unused)
    EXPECT_EQ(GetProcAddress(lib_, MAKEINTRESOURCEA(unused)), nullptr) << unused;

  int value = 77;
  EXPECT_EQ(Bind<BT_long_t>("BT_long")(&value), 3);
  // The stdcall exports clean their own arguments: a wrong convention would wreck the stack
  // across these repeated calls.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Bind<BT_OnQuery_t>("BT_OnQuery")("COM1", "NONE"), 2);
    EXPECT_EQ(Bind<BT_OnReset_t>("BT_OnReset")("COM2", "NONE"), 2);
    EXPECT_EQ(Bind<BT_OnMonitor_t>("BT_OnMonitor")("COM4", "MON_ON"), 2);
  }
  EXPECT_EQ(GetFileAttributesA("Quorvex.ini") != INVALID_FILE_ATTRIBUTES, true);
}

TEST_F(MendalixDll, TheExportDirectoryNamesTheLibraryAndHoldsExactlyTheFiveCalls) {
  const IMAGE_DATA_DIRECTORY& d = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  ASSERT_NE(d.VirtualAddress, 0u);
  auto* ex = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(At(d.VirtualAddress));
  EXPECT_STREQ(reinterpret_cast<const char*>(At(ex->Name)), "Mendalix.dll");
  EXPECT_EQ(ex->Base, 1u);
  ASSERT_EQ(ex->NumberOfFunctions, 10u);
  ASSERT_EQ(ex->NumberOfNames, 5u);
  auto* functions = reinterpret_cast<const DWORD*>(At(ex->AddressOfFunctions));
  auto* names = reinterpret_cast<const DWORD*>(At(ex->AddressOfNames));
  auto* ordinals = reinterpret_cast<const WORD*>(At(ex->AddressOfNameOrdinals));
  std::string got;
  for (DWORD i = 0; i < ex->NumberOfNames; ++i) {
    got += reinterpret_cast<const char*>(At(names[i]));
    got += "@" + std::to_string(ordinals[i] + ex->Base) + " ";
  }
  // Names are sorted by the linker, as the loader's binary search needs.
  EXPECT_EQ(got, "BT_OnConnect@2 BT_OnMonitor@3 BT_OnQuery@1 BT_OnReset@4 BT_long@10 ");
  for (int unused = 5; unused <= 9; ++unused) EXPECT_EQ(functions[unused - 1], 0u) << unused;
}

TEST_F(MendalixDll, TheVersionRecordGives307AndTheLibrarysTexts) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(MENDALIX_DLL_PATH, &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(MENDALIX_DLL_PATH, 0, size, &block[0]));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&fixed), &len));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00030000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00070000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00030000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00070000u);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(&block[0], "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &len));
  ASSERT_GE(len, 4u);
  EXPECT_EQ(translation[0], 0x0404);
  EXPECT_EQ(translation[1], 1200);

  struct {
    const char* key;
    const char* value;
  } strings[] = {{"Comments", "Wireless Printer Library"},
                 {"FileDescription", "Mendalix DLL"},
                 {"FileVersion", "3, 0, 7, 0"},
                 {"InternalName", "Mendalix"},
                 {"OriginalFilename", "Mendalix.DLL"},
                 {"ProductName", "Mendalix Dynamic Link Library"},
                 {"ProductVersion", "3, 0, 7, 0"}};
  for (auto& s : strings) {
    std::string path = std::string("\\StringFileInfo\\040404b0\\") + s.key;
    char* text = nullptr;
    ASSERT_TRUE(VerQueryValueA(&block[0], path.c_str(), reinterpret_cast<void**>(&text), &len))
        << s.key;
    EXPECT_STREQ(text, s.value) << s.key;
  }
}

TEST_F(MendalixDll, ItImportsOnlySystemLibraries) {
  const IMAGE_DATA_DIRECTORY& d = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  auto* imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(At(d.VirtualAddress));
  int count = 0;
  for (; imp->Name; ++imp, ++count) {
    std::string name = reinterpret_cast<const char*>(At(imp->Name));
    for (auto& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(name == "kernel32.dll" || name == "msvcrt.dll" || name == "user32.dll" ||
                name == "advapi32.dll")
        << name;
  }
  EXPECT_GT(count, 0);
}

}  // namespace

// The VARIANT form is decided on the port's first two bytes. A text that only starts like a
// VARIANT, or a VARIANT whose string runs into memory that cannot be read, must never make a
// call follow a stray pointer: such a text reads as far as it can be read, and the calls
// return as for any port they cannot use.
TEST_F(MendalixDll, TextsThatOnlyLookLikeVariantsNeverMakeACallReadStrayMemory) {
  auto query = Bind<BT_OnQuery_t>("BT_OnQuery");
  auto monitor = Bind<BT_OnMonitor_t>("BT_OnMonitor");
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  // Two pages: the first readable, the second not; and an address whose pages are gone.
  auto* pages = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old;
  ASSERT_TRUE(VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old));
  void* gone = VirtualAlloc(nullptr, si.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  ASSERT_TRUE(VirtualFree(gone, 0, MEM_RELEASE));

  // A narrow text "\b": its first two bytes read as VT_BSTR.
  EXPECT_EQ(2, query("\b", "NONE"));
  // A VARIANT-looking text whose string pointer leads nowhere, as port and as second argument.
  VARIANT stray;
  memset(&stray, 0, sizeof stray);
  stray.vt = VT_BSTR;
  stray.bstrVal = static_cast<BSTR>(gone);
  EXPECT_EQ(2, query(&stray, "NONE"));
  // A VARIANT-looking text whose own 16 (24) bytes run into the unreadable page.
  unsigned char* edge = pages + si.dwPageSize - 2;
  edge[0] = VT_BSTR;
  edge[1] = 0;
  EXPECT_EQ(2, monitor(edge, "NONE"));
  // A string of "COM4" and no terminating NUL, ending where the unreadable page begins.
  auto* com4 = reinterpret_cast<wchar_t*>(pages + si.dwPageSize - 4 * sizeof(wchar_t));
  memcpy(com4, L"COM4", 4 * sizeof(wchar_t));
  VARIANT port;
  memset(&port, 0, sizeof port);
  port.vt = VT_BSTR;
  port.bstrVal = com4;
  EXPECT_EQ(2, query(&port, &stray));
  VirtualFree(pages, 0, MEM_RELEASE);
}
