#include "platform/standalone/status_text.h"

#include "platform/text.h"

namespace ruvo {

Text WindowsStatusText(RegistryResult status) {
  switch (status) {
    case kErrorSuccess:
      return L"The operation completed successfully.";
    case kErrorFileNotFound:
      return L"The system cannot find the file specified.";
    case kErrorAccessDenied:
      return L"Access is denied.";
    case kErrorInvalidHandle:
      return L"The handle is invalid.";
    case kErrorInvalidData:
      return L"The data is invalid.";
    case kErrorOutOfMemory:
      return L"Not enough storage is available to complete this operation.";
    case kErrorInvalidParameter:
      return L"The parameter is incorrect.";
    case kErrorDiskFull:
      return L"There is not enough space on the disk.";
    case kErrorBadPathname:
      return L"The specified path is invalid.";
    case kErrorBusy:
      return L"The requested resource is in use.";
    case kErrorBadDb:
      return L"The configuration registry database is corrupt.";
    case kErrorRegistryIoFailed:
      return L"An I/O operation initiated by the registry failed unrecoverably. The registry "
             L"could not read in, or write out, or flush, one of the files that contain the "
             L"system's image of the registry.";
    case kErrorKeyDeleted:
      return L"Illegal operation attempted on a registry key that has been marked for deletion.";
    case kErrorNoUnicodeTranslation:
      return L"No mapping for the Unicode character exists in the target multi-byte code page.";
    default:
      return L"Error " + DecimalText(status) + L".";
  }
}

}  // namespace ruvo
