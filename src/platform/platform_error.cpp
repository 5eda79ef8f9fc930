#include <utility>

#include "platform/platform_services.h"
#include "platform/text.h"

namespace ruvo {

PlatformError::PlatformError(FileFailure failure, std::int32_t code, Text reason)
    : failure_(failure), code_(code), reason_(std::move(reason)), what_(ToUtf8(reason_)) {}

}  // namespace ruvo
