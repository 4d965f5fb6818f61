#pragma once
// Index of the built-in resources; the table is generated at build time.
#include <cstddef>
#include <cstdint>

extern "C" const unsigned char vpl_resource_blob[];

namespace velmo::resources_detail {

struct ResourceEntry {
    int Id;
    std::uint32_t Offset;  // into vpl_resource_blob
    std::uint32_t Size;
    const char* Name;  // predefined CMap name, "" for the others
};

extern const ResourceEntry kResourceIndex[];
extern const std::size_t kResourceCount;

}  // namespace velmo::resources_detail
