#include "fake_platform.h"

#include <algorithm>
#include <cwctype>

#include "platform/standalone/status_text.h"
#include "platform/text.h"

namespace ruvo::fake {
namespace {

Text Fold(Text text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
  return text;
}

bool IsPredefined(PredefinedRoot root) {
  return root == kHkeyClassesRoot || root == kHkeyCurrentUser || root == kHkeyLocalMachine ||
         root == kHkeyUsers;
}

// The ANSI functions take names in the code page, ASCII here: a name it cannot hold
// exactly is refused, never replaced.
bool FitsTheCodePage(const Text& name) {
  std::string bytes;
  return ToAscii(name, bytes);
}

// KEY_ALL_ACCESS: what RegOpenKeyA's handles hold (it asks for MAXIMUM_ALLOWED).
constexpr std::uint32_t kFullAccess = 0xF003F;

// ERROR_FILE_NOT_FOUND, in Windows' words.
FileResult FileNotFound() {
  return FileResult::Failed(FileFailure::NotFound, 2,
                            L"The system cannot find the file specified.");
}

}  // namespace

// --- registry ---------------------------------------------------------------------

FakeRegistry::KeyId FakeRegistry::Identify(PredefinedRoot root, const Text& path) {
  return {root, Fold(path)};
}

std::optional<RegistryResult> FakeRegistry::InjectedFailure(const std::string& operation) {
  journal_.push_back(operation);
  const auto found = failures_.find(operation);
  if (found == failures_.end()) return std::nullopt;
  const RegistryResult status = found->second;
  failures_.erase(found);
  return status;
}

void FakeRegistry::FailNext(const std::string& operation, RegistryResult status) {
  failures_[operation] = status;
}

void FakeRegistry::FailNextAfterDoing(const std::string& operation, RegistryResult status) {
  failuresAfterDoing_[operation] = status;
}

RegistryResult FakeRegistry::Open(PredefinedRoot root, const Text& subKey, std::uint32_t access,
                                  KeyHandle& key) {
  key = 0;
  if (!IsPredefined(root)) return kErrorInvalidHandle;
  if (!FitsTheCodePage(subKey)) return kErrorNoUnicodeTranslation;
  const KeyId id = Identify(root, subKey);
  // The root itself ("") is always there.
  if (!subKey.empty() && keys_.count(id) == 0) return kErrorFileNotFound;
  key = nextHandle_;
  nextHandle_ += 4;
  handles_[key] = OpenKey{id, access};
  return kErrorSuccess;
}

RegistryResult FakeRegistry::Target(KeyHandle key, std::uint32_t right,
                                    std::map<KeyId, Key>::iterator& found) {
  const auto handle = handles_.find(key);
  if (handle == handles_.end()) return kErrorInvalidHandle;
  // As on Windows, the handle's rights are checked before the key itself.
  if ((handle->second.access & right) != right) return kErrorAccessDenied;
  found = keys_.find(handle->second.id);
  return found == keys_.end() ? kErrorKeyDeleted : kErrorSuccess;
}

RegistryResult FakeRegistry::RegOpenKeyA(PredefinedRoot root, const Text& subKey, KeyHandle& key) {
  if (auto failure = InjectedFailure("RegOpenKeyA")) {
    key = 0;
    return *failure;
  }
  return Open(root, subKey, kFullAccess, key);
}

RegistryResult FakeRegistry::RegOpenKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t,
                                           std::uint32_t access, KeyHandle& key) {
  if (auto failure = InjectedFailure("RegOpenKeyExA")) {
    key = 0;
    return *failure;
  }
  return Open(root, subKey, access, key);
}

RegistryResult FakeRegistry::RegCreateKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t,
                                             std::uint32_t access, KeyHandle& key,
                                             std::uint32_t& disposition) {
  if (auto failure = InjectedFailure("RegCreateKeyExA")) {
    key = 0;
    return *failure;
  }
  if (!IsPredefined(root)) return kErrorInvalidHandle;
  if (!FitsTheCodePage(subKey)) return kErrorNoUnicodeTranslation;
  const KeyId id = Identify(root, subKey);
  disposition = keys_.count(id) != 0 ? kRegOpenedExistingKey : kRegCreatedNewKey;
  Emplace(root, subKey);  // missing parents come into being with the key
  if (const auto after = failuresAfterDoing_.find("RegCreateKeyExA");
      after != failuresAfterDoing_.end()) {
    const RegistryResult status = after->second;
    failuresAfterDoing_.erase(after);
    key = 0;
    return status;
  }
  return Open(root, subKey, access, key);
}

RegistryResult FakeRegistry::RegSetValueExA(KeyHandle key, const Text& valueName, std::int32_t type,
                                            const std::vector<std::uint8_t>& data) {
  if (auto failure = InjectedFailure("RegSetValueExA " + ToUtf8(valueName))) return *failure;
  std::map<KeyId, Key>::iterator found;
  if (const RegistryResult status = Target(key, kKeySetValue, found); status != kErrorSuccess) {
    return status;
  }
  if (!FitsTheCodePage(valueName)) return kErrorNoUnicodeTranslation;
  found->second.values[Fold(valueName)] = Value{type, data};
  return kErrorSuccess;
}

RegistryResult FakeRegistry::RegEnumKeyExA(KeyHandle key, std::uint32_t index, Text& name) {
  name.clear();
  if (auto failure = InjectedFailure("RegEnumKeyExA")) return *failure;
  std::map<KeyId, Key>::iterator found;
  if (const RegistryResult refused = Target(key, kKeyEnumerateSubKeys, found)) return refused;
  const Text prefix = found->first.second + L"\\";
  for (const auto& [other, child] : keys_) {
    const bool isChild = other.first == found->first.first &&
                         other.second.compare(0, prefix.size(), prefix) == 0 &&
                         other.second.find(L'\\', prefix.size()) == Text::npos;
    if (isChild && index-- == 0) {
      name = child.spelling.substr(child.spelling.rfind(L'\\') + 1);
      return kErrorSuccess;
    }
  }
  return kErrorNoMoreItems;
}

RegistryResult FakeRegistry::RegDeleteKeyA(PredefinedRoot root, const Text& subKey) {
  if (auto failure = InjectedFailure("RegDeleteKeyA")) return *failure;
  if (!IsPredefined(root)) return kErrorInvalidHandle;
  if (!FitsTheCodePage(subKey)) return kErrorNoUnicodeTranslation;
  const KeyId id = Identify(root, subKey);
  if (keys_.count(id) == 0) return kErrorFileNotFound;
  const Text prefix = id.second + L"\\";
  for (const auto& [other, key] : keys_) {
    if (other.first == root && other.second.compare(0, prefix.size(), prefix) == 0) {
      return kErrorAccessDenied;
    }
  }
  keys_.erase(id);
  return kErrorSuccess;
}

RegistryResult FakeRegistry::RegFlushKey(KeyHandle key) {
  if (auto failure = InjectedFailure("RegFlushKey")) return *failure;
  return handles_.count(key) != 0 ? kErrorSuccess : kErrorInvalidHandle;
}

RegistryResult FakeRegistry::RegCloseKey(KeyHandle key) {
  journal_.push_back("RegCloseKey");
  return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

Text FakeRegistry::DescribeStatus(RegistryResult status) {
  return WindowsStatusText(status);
}

RegistryResult FakeRegistry::ToAnsiCodePage(const Text& text, std::string& bytes) {
  // An ASCII code page: anything else cannot be held exactly.
  return ToAscii(text, bytes) ? kErrorSuccess : kErrorNoUnicodeTranslation;
}

void FakeRegistry::Emplace(PredefinedRoot root, const Text& path) {
  for (std::size_t at = 0; at != Text::npos;) {
    at = path.find(L'\\', at + 1);
    const Text spelled = path.substr(0, at);
    const auto [key, added] = keys_.try_emplace(Identify(root, spelled));
    if (added) key->second.spelling = spelled;
  }
}

void FakeRegistry::AddKey(PredefinedRoot root, const Text& path) {
  Emplace(root, path);
}

bool FakeRegistry::HasKey(PredefinedRoot root, const Text& path) const {
  return keys_.count(Identify(root, path)) != 0;
}

std::optional<Value> FakeRegistry::GetValue(PredefinedRoot root, const Text& path,
                                            const Text& name) const {
  const auto key = keys_.find(Identify(root, path));
  if (key == keys_.end()) return std::nullopt;
  const auto value = key->second.values.find(Fold(name));
  if (value == key->second.values.end()) return std::nullopt;
  return value->second;
}

std::vector<Text> FakeRegistry::ValueNames(PredefinedRoot root, const Text& path) const {
  std::vector<Text> names;
  const auto key = keys_.find(Identify(root, path));
  if (key != keys_.end()) {
    for (const auto& entry : key->second.values) names.push_back(entry.first);
  }
  return names;
}

// --- files --------------------------------------------------------------------------

FakeFileSystem::FakeFileSystem(std::vector<std::string>& journal) : journal_(journal) {
  AddFolder(L"c:");
  AddFolder(L"c:\\Program Files");
}

Text FakeFileSystem::Normalise(const Text& path) {
  Text normalised = Fold(path);
  std::replace(normalised.begin(), normalised.end(), L'/', L'\\');
  while (normalised.size() > 2 && normalised.back() == L'\\') normalised.pop_back();
  return normalised;
}

Text FakeFileSystem::Parent(const Text& normalised) {
  const std::size_t at = normalised.rfind(L'\\');
  return at == Text::npos ? Text() : normalised.substr(0, at);
}

void FakeFileSystem::FailNext(const std::string& operation, FileFailure failure, std::int32_t code,
                              const Text& reason) {
  failures_[operation] = Failure{failure, code, reason};
}

std::optional<FileResult> FakeFileSystem::InjectedFailure(const std::string& operation) {
  journal_.push_back(operation);
  const auto found = failures_.find(operation);
  if (found == failures_.end()) return std::nullopt;
  const Failure failure = found->second;
  failures_.erase(found);
  return FileResult::Failed(failure.failure, failure.code, failure.reason);
}

bool FakeFileSystem::HasChildren(const Text& normalised) const {
  const auto isChild = [&](const Text& entry) { return Parent(entry) == normalised; };
  return std::any_of(folders_.begin(), folders_.end(), isChild) ||
         std::any_of(files_.begin(), files_.end(),
                     [&](const auto& file) { return isChild(file.first); });
}

FileResult FakeFileSystem::MakeFolder(const Text& path) {
  if (auto failure = InjectedFailure("MakeFolder")) return *failure;
  const Text folder = Normalise(path);
  if (folders_.count(folder) != 0 || files_.count(folder) != 0) {
    return FileResult::Failed(FileFailure::AlreadyExists, 183,
                              L"Cannot create a file when that file already exists.");
  }
  if (folders_.count(Parent(folder)) == 0) {
    return FileResult::Failed(FileFailure::NotFound, 3,
                              L"The system cannot find the path specified.");
  }
  folders_.insert(folder);
  return FileResult::Done();
}

FileResult FakeFileSystem::RemoveFile(const Text& path) {
  if (auto failure = InjectedFailure("RemoveFile")) return *failure;
  // Windows refuses to delete a folder as a file.
  if (folders_.count(Normalise(path)) != 0) {
    return FileResult::Failed(FileFailure::Other, 5, L"Access is denied.");
  }
  if (files_.erase(Normalise(path)) == 0) {
    return FileNotFound();
  }
  return FileResult::Done();
}

FileResult FakeFileSystem::RemoveFolder(const Text& path) {
  if (auto failure = InjectedFailure("RemoveFolder")) return *failure;
  const Text folder = Normalise(path);
  if (folders_.count(folder) == 0) {
    return FileNotFound();
  }
  if (HasChildren(folder)) {
    return FileResult::Failed(FileFailure::NotEmpty, 145, L"The directory is not empty.");
  }
  folders_.erase(folder);
  return FileResult::Done();
}

FileResult FakeFileSystem::ConfirmGone(const Text& path) {
  if (auto failure = InjectedFailure("ConfirmGone")) return *failure;
  const Text item = Normalise(path);
  if (folders_.count(item) != 0 || files_.count(item) != 0) {
    return FileResult::Failed(FileFailure::AlreadyExists, 183, L"It is still there.");
  }
  return FileResult::Done();
}

FileResult FakeFileSystem::LinkFile(const Text& path, const Text& alias) {
  if (auto failure = InjectedFailure("LinkFile")) return *failure;
  const auto file = files_.find(Normalise(path));
  if (file == files_.end()) {
    return FileNotFound();
  }
  const Text name = Normalise(alias);
  if (files_.count(name) != 0 || folders_.count(name) != 0) {
    return FileResult::Failed(FileFailure::AlreadyExists, 183,
                              L"Cannot create a file when that file already exists.");
  }
  files_[name] = file->second;  // the fake keeps bytes, not identities
  return FileResult::Done();
}

FileResult FakeFileSystem::RenameFile(const Text& from, const Text& to) {
  if (auto failure = InjectedFailure("RenameFile")) return *failure;
  const auto file = files_.find(Normalise(from));
  if (file == files_.end()) {
    return FileNotFound();
  }
  if (folders_.count(Normalise(to)) != 0) {
    return FileResult::Failed(FileFailure::Other, 5, L"Access is denied.");
  }
  files_[Normalise(to)] = file->second;
  files_.erase(Normalise(from));
  return FileResult::Done();
}

FileResult FakeFileSystem::ReplaceTextFile(const Text& path, const std::vector<Text>& lines) {
  if (auto failure = InjectedFailure("ReplaceTextFile")) return *failure;
  const Text file = Normalise(path);
  if (folders_.count(Parent(file)) == 0) {
    return FileResult::Failed(FileFailure::NotFound, 3,
                              L"The system cannot find the path specified.");
  }
  if (folders_.count(file) != 0) {
    return FileResult::Failed(FileFailure::Other, 5, L"Access is denied.");
  }
  std::string bytes, line;
  for (const Text& text : lines) {
    if (!ToAscii(text, line)) {
      return FileResult::Failed(FileFailure::Other, 1113, WindowsStatusText(1113));
    }
    bytes += line + "\r\n";
  }
  files_[file] = bytes;
  return FileResult::Done();
}

void FakeFileSystem::AddFolder(const Text& path) {
  folders_.insert(Normalise(path));
}

void FakeFileSystem::AddFile(const Text& path, const std::string& bytes) {
  files_[Normalise(path)] = bytes;
}

bool FakeFileSystem::HasFolder(const Text& path) const {
  return folders_.count(Normalise(path)) != 0;
}

bool FakeFileSystem::HasFile(const Text& path) const {
  return files_.count(Normalise(path)) != 0;
}

std::string FakeFileSystem::FileBytes(const Text& path) const {
  const auto found = files_.find(Normalise(path));
  return found == files_.end() ? std::string() : found->second;
}

// --- user interface -----------------------------------------------------------------

void FakeUserInterface::Record(const std::string& call) {
  if (endCount_ > 0) ++callsAfterEnd_;
  journal_.push_back(call);
}

void FakeUserInterface::ShowMessage(const Text& text, MessageIcon icon) {
  Record("ShowMessage");
  messages_.push_back({text, icon});
}

Text FakeUserInterface::ActionButtonCaption() {
  Record("ActionButtonCaption");
  return caption_;
}

void FakeUserInterface::SetActionButtonCaption(const Text& caption) {
  Record("SetActionButtonCaption");
  caption_ = caption;
}

void FakeUserInterface::SetActionButtonFontName(const Text& face) {
  Record("SetActionButtonFontName");
  fontName_ = face;
}

void FakeUserInterface::EndProgram(ExitStatus status) {
  Record("EndProgram");
  ++endCount_;
  exitStatus_ = status;
}

}  // namespace ruvo::fake
