// The one seam between the installer's logic and the operating system.
//
// The logic (window, registration, handler page, registry helpers) talks to the
// system only through these four interfaces. Each backend (win32/, standalone/)
// implements them; the tests use an in-memory fake.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ruvo {

// Every text is held wide and converted to the ANSI code page at the registry and
// file boundaries, inside the backends.
using Text = std::wstring;

using KeyHandle = std::uint32_t;      // 0 means no key is open
using RegistryResult = std::int32_t;  // a Windows status code; 0 is success
using PredefinedRoot = std::uint32_t;

inline constexpr PredefinedRoot kHkeyClassesRoot = 0x80000000u;
inline constexpr PredefinedRoot kHkeyCurrentUser = 0x80000001u;
inline constexpr PredefinedRoot kHkeyLocalMachine = 0x80000002u;
inline constexpr PredefinedRoot kHkeyUsers = 0x80000003u;

// The Windows status codes that callers and the stand-in rely on.
inline constexpr RegistryResult kErrorSuccess = 0;
inline constexpr RegistryResult kErrorFileNotFound = 2;
inline constexpr RegistryResult kErrorAccessDenied = 5;
inline constexpr RegistryResult kErrorInvalidHandle = 6;
inline constexpr RegistryResult kErrorInvalidData = 13;
inline constexpr RegistryResult kErrorInvalidParameter = 87;
inline constexpr RegistryResult kErrorNoMoreItems = 259;
inline constexpr RegistryResult kErrorBadDb = 1009;
inline constexpr RegistryResult kErrorKeyDeleted = 1018;
inline constexpr RegistryResult kErrorNoUnicodeTranslation = 1113;

inline constexpr std::int32_t kRegSz = 1;
inline constexpr std::int32_t kRegDword = 4;

// Access rights a key handle is opened with; each value call needs its own.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;        // reading values
inline constexpr std::uint32_t kKeySetValue = 0x0002;          // RegSetValueExA
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;  // RegEnumKeyExA
// What the installer asks for: every right specific to keys, without the standard
// rights (delete, read and write the security) that KEY_ALL_ACCESS (0xF003F) adds.
inline constexpr std::uint32_t kKeyEverySpecificRight = 0x003F;
inline constexpr std::uint32_t kRegOptionNonVolatile = 0;
inline constexpr std::uint32_t kRegCreatedNewKey = 1;
inline constexpr std::uint32_t kRegOpenedExistingKey = 2;

// Registry calls mirror the Windows ANSI functions and return the status the system
// gave. Nothing that crosses this seam throws: every failure is a returned value.
class Registry {
 public:
  virtual ~Registry() = default;

  // `key` is non-zero exactly when the key exists and was opened.
  virtual RegistryResult RegOpenKeyA(PredefinedRoot root, const Text& subKey, KeyHandle& key) = 0;
  virtual RegistryResult RegOpenKeyExA(PredefinedRoot root, const Text& subKey,
                                       std::uint32_t options, std::uint32_t access,
                                       KeyHandle& key) = 0;
  // Creates the key and any missing parents, or opens it; `disposition` tells which.
  virtual RegistryResult RegCreateKeyExA(PredefinedRoot root, const Text& subKey,
                                         std::uint32_t options, std::uint32_t access,
                                         KeyHandle& key, std::uint32_t& disposition) = 0;
  // The value holds exactly `data` afterwards; "" names the key's default value.
  virtual RegistryResult RegSetValueExA(KeyHandle key, const Text& valueName, std::int32_t type,
                                        const std::vector<std::uint8_t>& data) = 0;
  // The name of the key's `index`th subkey (from 0, in the registry's order, as first
  // spelled); ERROR_NO_MORE_ITEMS past the last.
  virtual RegistryResult RegEnumKeyExA(KeyHandle key, std::uint32_t index, Text& name) = 0;
  // Fails with access denied while the key has subkeys, as Windows does. A key that
  // is a registry link is deleted itself; its target stays.
  virtual RegistryResult RegDeleteKeyA(PredefinedRoot root, const Text& subKey) = 0;
  // Writes the key's changes (and its subkeys' and deletions below it) to the disk
  // before it returns; Windows otherwise writes them lazily.
  virtual RegistryResult RegFlushKey(KeyHandle key) = 0;
  virtual RegistryResult RegCloseKey(KeyHandle key) = 0;

  // The system's own words for a status code, for messages to the user.
  virtual Text DescribeStatus(RegistryResult status) = 0;
  // The bytes the registry stores for a text, in the system's ANSI code page. A
  // character that code page cannot hold exactly fails the conversion
  // (kErrorNoUnicodeTranslation): nothing is replaced by a look-alike or a '?'.
  virtual RegistryResult ToAnsiCodePage(const Text& text, std::string& bytes) = 0;
};

// Why a file or folder operation failed, as far as the logic needs to tell.
enum class FileFailure {
  NotFound,       // the file or folder (or its parent) does not exist
  AlreadyExists,  // make folder: it is there already
  NotEmpty,       // remove folder: it still holds something
  Other,
};

// What a file or folder operation returns: success, or the portable kind of failure
// with the system's code and its own words.
class [[nodiscard]] FileResult {
 public:
  static FileResult Done() { return FileResult(); }
  static FileResult Failed(FileFailure failure, std::int32_t code, Text reason) {
    FileResult result;
    result.ok_ = false;
    result.failure_ = failure;
    result.code_ = code;
    result.reason_ = std::move(reason);
    return result;
  }

  bool ok() const { return ok_; }
  // The rest describes a failure; on success they say nothing.
  FileFailure failure() const { return failure_; }
  std::int32_t code() const { return code_; }
  const Text& reason() const { return reason_; }

 private:
  FileResult() = default;

  bool ok_ = true;
  FileFailure failure_ = FileFailure::Other;
  std::int32_t code_ = 0;
  Text reason_;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Fails when the folder exists already or cannot be created.
  virtual FileResult MakeFolder(const Text& path) = 0;
  // Fails when the file does not exist or cannot be deleted. Removing never follows
  // a link: a link is removed itself, or the removal is refused.
  virtual FileResult RemoveFile(const Text& path) = 0;
  // Fails when the folder does not exist, is not empty, or cannot be removed.
  virtual FileResult RemoveFolder(const Text& path) = 0;
  // Done when nothing stands at `path` any more (or what stands there is being
  // deleted as its last user lets it go). Fails AlreadyExists, with words that say
  // so, when a file, folder or link is still there, as after a deletion the system
  // accepted and then could not carry out; with the system's reason when that cannot
  // be told.
  virtual FileResult ConfirmGone(const Text& path) = 0;
  // Gives the file at `path` a second name, `alias`, in the same folder: a hard link,
  // the same file and not a copy, that stays when `path` is replaced. Fails NotFound
  // when no file is at `path` (nothing, or a folder), AlreadyExists when something is
  // at `alias`.
  virtual FileResult LinkFile(const Text& path, const Text& alias) = 0;
  // Renames the file `from` over whatever file is at `to` in the same folder, in one
  // step.
  virtual FileResult RenameFile(const Text& from, const Text& to) = 0;
  // Writes each line in the ANSI code page followed by CR LF to PartialFileFor(path)
  // (replacing what an interrupted run left there), flushes it to disk and renames it
  // over `path`. On failure the partial file is gone and whatever stood at `path` is
  // untouched; once the rename is done, nothing fails any more.
  virtual FileResult ReplaceTextFile(const Text& path, const std::vector<Text>& lines) = 0;
};

// The one name a file is written under before it is renamed into place: fixed, so
// that a leftover of a run that was killed is recognisably ours to remove.
inline Text PartialFileFor(const Text& path) {
  return path + L".partial";
}

// What trying to take the instance lock came to.
enum class LockState {
  Held,            // this program holds it until it releases it or ends
  Busy,            // another program's action held it all the while
  CloseRequested,  // the user asked for the window to close while it waited
  Failed,          // the system refused the lock itself
};

struct LockResult {
  LockState state;
  Text failure;  // when Failed: what failed and the system's reason, "... failed: ..."
};

// One install or uninstall at a time across the running programs: on Windows for the
// whole machine, as the page's folder is the machine's; in the stand-alone program
// for its data folder.
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;

  // Waits up to `patience` for another program's action to end, the window answering
  // meanwhile.
  virtual LockResult AcquireForAction(std::chrono::milliseconds patience) = 0;
  // Lets the lock go; nothing when it is not held.
  virtual void Release() = 0;
};

// What the program tells the system when it ends.
enum class ExitStatus : int {
  Done = 0,    // closed, or the action succeeded
  Failed = 1,  // the action, or the start, failed (the user was told why), or the
               // user closed the window while the action waited to begin
};

enum class MessageIcon : std::uint32_t {
  Error = 0x10,        // MB_ICONERROR
  Information = 0x40,  // MB_ICONINFORMATION
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Modal, one OK button, the application title as caption; returns when dismissed.
  virtual void ShowMessage(const Text& text, MessageIcon icon) = 0;
  virtual Text ActionButtonCaption() = 0;
  virtual void SetActionButtonCaption(const Text& caption) = 0;
  virtual void SetActionButtonFontName(const Text& face) = 0;
  // Unloads the window and ends the program with `status` once the running handler
  // returns; nothing the user does reaches the window after this. The logic makes no
  // other call after this one.
  virtual void EndProgram(ExitStatus status) = 0;
};

// What the logic is handed: the parts of the seam.
struct PlatformServices {
  Registry& registry;
  FileSystem& files;
  UserInterface& ui;
  InstanceLock& lock;
};

}  // namespace ruvo
