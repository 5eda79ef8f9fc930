// One of the suite's online services, as the service table describes it.
#pragma once

#include <cstddef>
#include <string_view>

namespace ruvo {

struct ServiceRecord {
  std::wstring_view address;       // scheme and host, as configured
  std::wstring_view pathAndQuery;  // what follows the host, up to the link's address
  // The file-name extensions the service opens, each with its dot.
  const std::wstring_view* extensions;
  std::size_t extensionCount;

  template <std::size_t N>
  constexpr ServiceRecord(std::wstring_view address, std::wstring_view pathAndQuery,
                          const std::wstring_view (&list)[N])
      : address(address),
        pathAndQuery(pathAndQuery),
        extensions(list),
        extensionCount(N) {}
};

}  // namespace ruvo
