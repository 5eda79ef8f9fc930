// RuvoLinkLens.exe as built: what Windows and Explorer read from the file before a
// line of it runs. Its import table, its headers, its version record, its icon, its
// manifest and its banner.
#include <windows.h>

#include <imagehlp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/resource_ids.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The built program file, or another copy (the signed one) that RUVO_PROGRAM_FILE names.
const wchar_t* const kProgramFile = [] {
  const wchar_t* other = ::_wgetenv(L"RUVO_PROGRAM_FILE");
  return other != nullptr ? other : L"" RUVO_PROGRAM_FILE;
}();

Bytes ReadFileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename T>
T Read(const Bytes& bytes, std::size_t offset) {
  T value{};
  if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

// The program file mapped as the loader lays it out, and its version record; nothing
// of it runs.
class ProgramFile : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = ::LoadLibraryExW(kProgramFile, nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "error " << ::GetLastError();
    DWORD ignored = 0;
    version_.resize(::GetFileVersionInfoSizeW(kProgramFile, &ignored));
    ASSERT_FALSE(version_.empty()) << "no version record";
    ASSERT_TRUE(::GetFileVersionInfoW(kProgramFile, 0, static_cast<DWORD>(version_.size()),
                                      version_.data()));
  }
  void TearDown() override {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }

  // What lies at an address relative to the image's base (the handle's low bits say
  // how it was loaded).
  template <typename T>
  const T* At(DWORD rva) const {
    return reinterpret_cast<const T*>((reinterpret_cast<ULONG_PTR>(module_) & ~ULONG_PTR{3}) + rva);
  }
  const IMAGE_NT_HEADERS32& Headers() const {
    return *At<IMAGE_NT_HEADERS32>(static_cast<DWORD>(At<IMAGE_DOS_HEADER>(0)->e_lfanew));
  }

  Bytes Resource(LPCWSTR type, int id) const {
    const HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return {};
    const auto* bytes =
        static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module_, found)));
    return Bytes(bytes, bytes + ::SizeofResource(module_, found));
  }

  template <typename T>
  const T* Version(const std::wstring& path, UINT* length = nullptr) {
    void* value = nullptr;
    UINT size = 0;
    if (!::VerQueryValueW(version_.data(), path.c_str(), &value, &size)) return nullptr;
    if (length != nullptr) *length = size;
    return static_cast<const T*>(value);
  }

  HMODULE module_ = nullptr;
  Bytes version_;
};

TEST_F(ProgramFile, ImportsOnlyDllsThatWindowsLoadsFromItsOwnFolder) {
  // KnownDLLs: never searched for beside the program.
  const std::set<std::string> known = {"kernel32.dll", "user32.dll",   "gdi32.dll",  "advapi32.dll",
                                       "ole32.dll",    "oleaut32.dll", "msvcrt.dll", "ntdll.dll"};
  const DWORD imports =
      Headers().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  int count = 0;
  for (auto* dll = At<IMAGE_IMPORT_DESCRIPTOR>(imports); imports != 0 && dll->Name != 0; ++dll) {
    std::string name = At<char>(dll->Name);
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    EXPECT_TRUE(known.count(name) == 1) << name << " is not a KnownDLL";
    ++count;
  }
  EXPECT_GT(count, 0);
}

TEST_F(ProgramFile, IsAWindowedProgramForVistaAndLaterWithAslrAndDep) {
  const IMAGE_NT_HEADERS32& headers = Headers();
  EXPECT_EQ(headers.Signature, IMAGE_NT_SIGNATURE);
  EXPECT_EQ(headers.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(headers.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_EQ(headers.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  EXPECT_EQ(headers.OptionalHeader.MajorSubsystemVersion, 6);
  const WORD characteristics = headers.OptionalHeader.DllCharacteristics;
  EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
  EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
  EXPECT_FALSE(headers.FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);  // ASLR moves it
}

// No link time, so the same sources give the same bytes; and the checksum Windows
// computes, which signing tools and scanners check.
TEST_F(ProgramFile, CarriesNoLinkTimeAndItsOwnChecksum) {
  EXPECT_EQ(Headers().FileHeader.TimeDateStamp, 0u);
  DWORD in_header = 0;
  DWORD computed = 0;
  ASSERT_EQ(::MapFileAndCheckSumW(kProgramFile, &in_header, &computed), CHECKSUM_SUCCESS);
  EXPECT_EQ(in_header, computed);
  EXPECT_NE(computed, 0u);
}

TEST_F(ProgramFile, FileAndProductVersionAre1000InUsEnglish) {
  const auto* fixed = Version<VS_FIXEDFILEINFO>(L"\\");
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  UINT length = 0;
  const auto* translation = Version<WORD>(L"\\VarFileInfo\\Translation", &length);
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);  // U.S. English
  EXPECT_EQ(translation[1], 1200);    // Unicode
}

TEST_F(ProgramFile, NamesTheProductAndItsMaker) {
  const std::pair<const wchar_t*, const wchar_t*> entries[] = {
      {L"CompanyName", L"Ruvo"},
      {L"ProductName", L"RUVO LinkLens"},
      {L"InternalName", L"RuvoLinkLens"},
      {L"OriginalFilename", L"RuvoLinkLens.exe"},
      {L"FileDescription", L"RUVO LinkLens installer"},
      {L"FileVersion", L"1.00"},
      {L"ProductVersion", L"1.00"},
  };
  for (const auto& [name, expected] : entries) {
    const auto* value = Version<wchar_t>(std::wstring(L"\\StringFileInfo\\040904b0\\") + name);
    ASSERT_NE(value, nullptr) << "no " << std::string(name, name + std::wcslen(name));
    EXPECT_EQ(std::wstring(value), expected);
  }
}

BOOL CALLBACK KeepFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR first) {
  *reinterpret_cast<ULONG_PTR*>(first) = reinterpret_cast<ULONG_PTR>(name);
  return FALSE;  // the first group is the one Explorer shows
}

// Windows Vista and later read PNG files as icon images.
bool IsPng(const Bytes& image) {
  static const std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return image.size() >= sizeof kSignature &&
         std::equal(std::begin(kSignature), std::end(kSignature), image.begin());
}

// An icon image's entry: in the icon group (GRPICONDIRENTRY) it ends with the image's
// resource id, in the .ico file (ICONDIRENTRY) with its offset in the file.
#pragma pack(push, 2)
template <typename Place>
struct IconEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  Place place;
};
#pragma pack(pop)
using IconGroupEntry = IconEntry<WORD>;
using IconFileEntry = IconEntry<DWORD>;

TEST_F(ProgramFile, TheFirstIconGroupIsThePackageIconWithItsTwelveImages) {
  ULONG_PTR first = 0;
  ::EnumResourceNamesW(module_, RT_GROUP_ICON, KeepFirstName, reinterpret_cast<LONG_PTR>(&first));
  ASSERT_TRUE(IS_INTRESOURCE(first));
  const Bytes group = Resource(RT_GROUP_ICON, static_cast<int>(first));
  const Bytes file = ReadFileBytes(RUVO_PACKAGE_ICON_FILE);
  ASSERT_GE(group.size(), 6u);
  const WORD count = Read<WORD>(group, 4);
  ASSERT_EQ(count, 12);
  ASSERT_EQ(Read<WORD>(file, 4), count);

  std::set<std::pair<int, int>> sizesAndDepths;
  for (WORD i = 0; i < count; ++i) {
    SCOPED_TRACE("image " + std::to_string(i));
    const auto entry = Read<IconGroupEntry>(group, 6 + i * sizeof(IconGroupEntry));
    const auto original = Read<IconFileEntry>(file, 6 + i * sizeof(IconFileEntry));
    sizesAndDepths.insert({entry.width, entry.bitCount});
    EXPECT_EQ(entry.width, entry.height);
    // Each image is the icon file's, byte for byte.
    const Bytes image = Resource(RT_ICON, entry.place);
    ASSERT_EQ(image.size(), original.bytes);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), file.begin() + original.place));
    // The 32-bit images are PNG files; the 16- and 256-colour ones DIBs with AND masks.
    if (entry.bitCount == 32) {
      EXPECT_TRUE(IsPng(image));
    } else {
      EXPECT_EQ(Read<DWORD>(image, 0), sizeof(BITMAPINFOHEADER));
    }
  }
  const std::set<std::pair<int, int>> expected = {{48, 4},  {48, 8},  {48, 32}, {32, 4},
                                                  {32, 8},  {32, 32}, {24, 4},  {24, 8},
                                                  {24, 32}, {16, 4},  {16, 8},  {16, 32}};
  EXPECT_EQ(sizesAndDepths, expected);
}

// An icon image as Windows reads and draws it, on white, at its own size: the
// pixels as 0x00RRGGBB, top row first; none when Windows cannot read it.
std::vector<std::uint32_t> DrawnOnWhite(const Bytes& image, int size) {
  const HICON icon =
      ::CreateIconFromResourceEx(const_cast<PBYTE>(image.data()), static_cast<DWORD>(image.size()),
                                 TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
  if (icon == nullptr) return {};
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HDC dc = ::CreateCompatibleDC(nullptr);
  const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<std::uint32_t> pixels;
  if (bitmap != nullptr) {
    const HGDIOBJ previous = ::SelectObject(dc, bitmap);
    std::memset(bits, 0xFF, static_cast<std::size_t>(size) * size * 4);
    if (::DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL)) {
      ::GdiFlush();
      const auto* first = static_cast<const std::uint32_t*>(bits);
      for (const std::uint32_t* p = first; p != first + size * size; ++p) {
        pixels.push_back(*p & 0xFFFFFFu);
      }
    }
    ::SelectObject(dc, previous);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(dc);
  ::DestroyIcon(icon);
  return pixels;
}

// Each size's PNG image covers every pixel its 256-colour image covers, with the
// same colour in the middle: Windows read it whole, the right way up.
TEST_F(ProgramFile, WindowsDrawsEachPngImageOverItsDibImage) {
  const Bytes group = Resource(RT_GROUP_ICON, RUVO_IDI_PACKAGE);
  std::map<std::pair<int, int>, Bytes> images;  // by size and bit count
  for (WORD i = 0; i < Read<WORD>(group, 4); ++i) {
    const auto entry = Read<IconGroupEntry>(group, 6 + i * sizeof(IconGroupEntry));
    images[{entry.width, entry.bitCount}] = Resource(RT_ICON, entry.place);
  }
  constexpr std::uint32_t kWhite = 0xFFFFFF;
  for (const int size : {48, 32, 24, 16}) {
    SCOPED_TRACE(std::to_string(size) + " pixels");
    const auto png = DrawnOnWhite(images[{size, 32}], size);
    const auto dib = DrawnOnWhite(images[{size, 8}], size);
    ASSERT_EQ(png.size(), static_cast<std::size_t>(size * size)) << "the PNG image was not read";
    ASSERT_EQ(dib.size(), png.size());
    const int middle = size / 2 * size + size / 2;
    EXPECT_NE(dib[middle], kWhite);
    EXPECT_EQ(png[middle], dib[middle]);
    for (const int corner : {0, size - 1, size * (size - 1), size * size - 1}) {
      EXPECT_EQ(png[corner], kWhite) << "corner " << corner;
    }
    int uncovered = 0;
    for (std::size_t k = 0; k < png.size(); ++k) {
      if (dib[k] != kWhite && png[k] == kWhite) ++uncovered;
    }
    EXPECT_EQ(uncovered, 0);
  }
}

TEST_F(ProgramFile, TheBannerIsTheJpegByteForByte) {
  const Bytes banner = Resource(RT_RCDATA, RUVO_IDR_BANNER);
  EXPECT_FALSE(banner.empty());
  EXPECT_TRUE(banner == ReadFileBytes(RUVO_BANNER_FILE));
}

TEST_F(ProgramFile, TheManifestAsksForWhatTheProgramNeeds) {
  const Bytes bytes = Resource(RT_MANIFEST, 1);  // CREATEPROCESS_MANIFEST_RESOURCE_ID
  const std::string manifest(bytes.begin(), bytes.end());
  ASSERT_FALSE(manifest.empty());
  for (const char* needed : {
           "level=\"highestAvailable\"", "uiAccess=\"false\"",
           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", ">true</dpiAware>",
           "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Windows Vista
           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
       }) {
    EXPECT_NE(manifest.find(needed), std::string::npos) << needed;
  }
}

}  // namespace
