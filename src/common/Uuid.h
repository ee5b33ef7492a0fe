#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace palaverly {

// A 128-bit identifier, written as its canonical upper-case 8-4-4-4-12 string.
class Uuid {
public:
    Uuid() = default;

    // A random (version 4) identifier. Any thread.
    static Uuid generate();
    // Accepts the canonical form in either letter case; nothing else.
    static std::optional<Uuid> parse(std::string_view text);

    std::string toString() const;
    bool isNull() const;
    const std::array<std::uint8_t, 16>& bytes() const { return m_bytes; }

    auto operator<=>(const Uuid&) const = default;

private:
    std::array<std::uint8_t, 16> m_bytes{};
};

} // namespace palaverly

template <> struct std::hash<palaverly::Uuid> {
    size_t operator()(const palaverly::Uuid& id) const noexcept
    {
        size_t h = 1469598103934665603ull;
        for (auto b : id.bytes())
            h = (h ^ b) * 1099511628211ull;
        return h;
    }
};
