// An RPC request read from the wire: the procedure (by name, or by the number
// of a well-known one such as sp_executesql) and its parameters.
#pragma once

#include "tests/tds/tds_executor.h"

#include <string>
#include <string_view>
#include <vector>

namespace tdstest {

struct RpcRequest {
    std::string name;
    std::vector<RpcParam> params;
    std::string paramsText;  // "@a=N'x', @b=NULL", as recorded
};

// Reads the request that starts at `at` (after ALL_HEADERS); throws
// std::runtime_error on a parameter type it does not know.
RpcRequest ParseRpc(std::string_view body, std::size_t at);

}  // namespace tdstest
