#pragma once

#include <cstdint>
#include <vector>

// An HTTP response body exactly as received: no terminator is added.
// size always equals data.size(); both are kept because records that embed
// a received body (the backup record) are read by their size field.
struct ReceiveBuffer {
    std::uint64_t size = 0;
    std::vector<std::uint8_t> data;
};
