// SHA-256 (FIPS 180-4), used where a name must be shortened without two
// names ever sharing the short form.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace corvane::detail {

using sha256_digest = std::array<uint8_t, 32>;

sha256_digest sha256(std::string_view bytes);

}  // namespace corvane::detail
