// An in-memory stand-in for the four interfaces of the seam, for the logic's tests.
// It keeps a journal of every call, lets a test make any operation fail, and
// behaves as Windows does where the logic can tell (case-insensitive names, status
// 2 for a missing key, status 5 for a key with subkeys or for a value call the
// handle was not opened for, file failures of the right kind).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform_services.h"

namespace ruvo::fake {

struct Value {
  std::int32_t type = 0;
  std::vector<std::uint8_t> data;
};

struct Key {
  std::map<Text, Value> values;  // by folded name
  Text spelling;                 // the path as first spelled
};

class FakeRegistry : public Registry {
 public:
  explicit FakeRegistry(std::vector<std::string>& journal) : journal_(journal) {}

  RegistryResult RegOpenKeyA(PredefinedRoot root, const Text& subKey, KeyHandle& key) override;
  RegistryResult RegOpenKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t options,
                               std::uint32_t access, KeyHandle& key) override;
  RegistryResult RegCreateKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t options,
                                 std::uint32_t access, KeyHandle& key,
                                 std::uint32_t& disposition) override;
  RegistryResult RegSetValueExA(KeyHandle key, const Text& valueName, std::int32_t type,
                                const std::vector<std::uint8_t>& data) override;
  RegistryResult RegEnumKeyExA(KeyHandle key, std::uint32_t index, Text& name) override;
  RegistryResult RegDeleteKeyA(PredefinedRoot root, const Text& subKey) override;
  RegistryResult RegFlushKey(KeyHandle key) override;
  RegistryResult RegCloseKey(KeyHandle key) override;
  Text DescribeStatus(RegistryResult status) override;
  RegistryResult ToAnsiCodePage(const Text& text, std::string& bytes) override;

  // Test controls and inspection.
  void FailNext(const std::string& operation, RegistryResult status);
  // The next call of `operation` does its work, then reports `status` (as a commit
  // whose unlock failed would). RegCreateKeyExA only.
  void FailNextAfterDoing(const std::string& operation, RegistryResult status);
  void AddKey(PredefinedRoot root, const Text& path);
  bool HasKey(PredefinedRoot root, const Text& path) const;
  std::optional<Value> GetValue(PredefinedRoot root, const Text& path, const Text& name) const;
  std::size_t KeyCount() const { return keys_.size(); }
  std::size_t OpenHandleCount() const { return handles_.size(); }
  std::vector<Text> ValueNames(PredefinedRoot root, const Text& path) const;

 private:
  using KeyId = std::pair<PredefinedRoot, Text>;  // root and folded path
  struct OpenKey {
    KeyId id;
    std::uint32_t access;  // the rights the handle was opened with
  };
  std::optional<RegistryResult> InjectedFailure(const std::string& operation);
  RegistryResult Open(PredefinedRoot root, const Text& subKey, std::uint32_t access,
                      KeyHandle& key);
  // The key behind a handle that holds `right`, or the status that refuses the call.
  RegistryResult Target(KeyHandle key, std::uint32_t right, std::map<KeyId, Key>::iterator& found);
  static KeyId Identify(PredefinedRoot root, const Text& path);
  // Adds the key and its missing parents, each spelled as first given.
  void Emplace(PredefinedRoot root, const Text& path);

  std::vector<std::string>& journal_;
  std::map<KeyId, Key> keys_;
  std::map<KeyHandle, OpenKey> handles_;
  KeyHandle nextHandle_ = 0x100;
  std::map<std::string, RegistryResult> failures_;
  std::map<std::string, RegistryResult> failuresAfterDoing_;
};

class FakeFileSystem : public FileSystem {
 public:
  explicit FakeFileSystem(std::vector<std::string>& journal);

  FileResult MakeFolder(const Text& path) override;
  FileResult RemoveFile(const Text& path) override;
  FileResult RemoveFolder(const Text& path) override;
  FileResult ConfirmGone(const Text& path) override;
  FileResult LinkFile(const Text& path, const Text& alias) override;
  FileResult RenameFile(const Text& from, const Text& to) override;
  FileResult ReplaceTextFile(const Text& path, const std::vector<Text>& lines) override;

  // Test controls and inspection. Paths are Windows paths with either slash.
  void FailNext(const std::string& operation, FileFailure failure, std::int32_t code,
                const Text& reason);
  void AddFolder(const Text& path);
  void AddFile(const Text& path, const std::string& bytes);
  bool HasFolder(const Text& path) const;
  bool HasFile(const Text& path) const;
  std::string FileBytes(const Text& path) const;
  std::size_t EntryCount() const { return folders_.size() + files_.size(); }

 private:
  static Text Normalise(const Text& path);
  static Text Parent(const Text& normalised);
  // Journals the call; the failure injected for it, if any.
  std::optional<FileResult> InjectedFailure(const std::string& operation);
  bool HasChildren(const Text& normalised) const;

  std::vector<std::string>& journal_;
  std::set<Text> folders_;
  std::map<Text, std::string> files_;
  struct Failure {
    FileFailure failure;
    std::int32_t code;
    Text reason;
  };
  std::map<std::string, Failure> failures_;
};

struct ShownMessage {
  Text text;
  MessageIcon icon;
};

class FakeUserInterface : public UserInterface {
 public:
  explicit FakeUserInterface(std::vector<std::string>& journal) : journal_(journal) {}

  void ShowMessage(const Text& text, MessageIcon icon) override;
  Text ActionButtonCaption() override;
  void SetActionButtonCaption(const Text& caption) override;
  void SetActionButtonFontName(const Text& face) override;
  void EndProgram(ExitStatus status) override;

  const std::vector<ShownMessage>& messages() const { return messages_; }
  const Text& caption() const { return caption_; }
  const Text& fontName() const { return fontName_; }
  int endCount() const { return endCount_; }
  ExitStatus exitStatus() const { return exitStatus_; }
  // Calls made after the program was ended: the logic must make none.
  int callsAfterEnd() const { return callsAfterEnd_; }

 private:
  void Record(const std::string& call);

  std::vector<std::string>& journal_;
  std::vector<ShownMessage> messages_;
  Text caption_;
  Text fontName_;
  int endCount_ = 0;
  int callsAfterEnd_ = 0;
  ExitStatus exitStatus_ = ExitStatus::Done;
};

class FakeInstanceLock : public InstanceLock {
 public:
  explicit FakeInstanceLock(std::vector<std::string>& journal) : journal_(journal) {}

  LockResult AcquireForAction(std::chrono::milliseconds) override {
    journal_.push_back("AcquireForAction");
    return next;
  }
  void Release() override { journal_.push_back("Release"); }

  LockResult next{LockState::Held, {}};  // what the next AcquireForAction answers

 private:
  std::vector<std::string>& journal_;
};

// The four fakes wired together with one journal.
struct FakePlatform {
  std::vector<std::string> journal;
  FakeRegistry registry{journal};
  FakeFileSystem files{journal};
  FakeUserInterface ui{journal};
  FakeInstanceLock lock{journal};
  PlatformServices services{registry, files, ui, lock};
};

}  // namespace ruvo::fake
