#include "platform/standalone/status_text.h"

#include "platform/text.h"

namespace ruvo {

namespace {

struct StatusWords {
  RegistryResult status;
  const wchar_t* words;
};

constexpr StatusWords kStatusWords[] = {
    {kErrorSuccess, L"The operation completed successfully."},
    {kErrorFileNotFound, L"The system cannot find the file specified."},
    {kErrorAccessDenied, L"Access is denied."},
    {kErrorInvalidHandle, L"The handle is invalid."},
    {kErrorInvalidData, L"The data is invalid."},
    {kErrorOutOfMemory, L"Not enough storage is available to complete this operation."},
    {kErrorInvalidParameter, L"The parameter is incorrect."},
    {kErrorDiskFull, L"There is not enough space on the disk."},
    {kErrorBadPathname, L"The specified path is invalid."},
    {kErrorBusy, L"The requested resource is in use."},
    {kErrorBadDb, L"The configuration registry database is corrupt."},
    {kErrorRegistryIoFailed,
     L"An I/O operation initiated by the registry failed unrecoverably. The registry could not "
     L"read in, or write out, or flush, one of the files that contain the system's image of the "
     L"registry."},
    {kErrorKeyDeleted,
     L"Illegal operation attempted on a registry key that has been marked for deletion."},
    {kErrorNoUnicodeTranslation,
     L"No mapping for the Unicode character exists in the target multi-byte code page."},
};

}  // namespace

Text WindowsStatusText(RegistryResult status) {
  for (const StatusWords& entry : kStatusWords) {
    if (entry.status == status) return entry.words;
  }
  return L"Error " + DecimalText(status) + L".";
}

}  // namespace ruvo
