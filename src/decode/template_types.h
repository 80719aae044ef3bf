#pragma once
// The value types of a buffer template and their sizes in bytes: the one
// table behind the template buffer sections and the template editor's
// proposal of the next offset.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vantrel {

enum class TemplateValueType : uint8_t { Bool, Char, Float, Int, Long, Pvoid, Short };

struct TemplateTypeInfo {
    std::string_view name;  // as the Templates table stores it
    TemplateValueType type;
    uint32_t size;  // bytes read from the buffer
};

// In the order a row's type is tested, which is also the order the editor
// lists them.
inline constexpr std::array<TemplateTypeInfo, 7> kTemplateTypes = {{
    {"BOOL", TemplateValueType::Bool, 4},
    {"char", TemplateValueType::Char, 1},
    {"float", TemplateValueType::Float, 4},
    {"int", TemplateValueType::Int, 4},
    {"long", TemplateValueType::Long, 4},
    {"PVOID", TemplateValueType::Pvoid, 4},
    {"SHORT", TemplateValueType::Short, 2},
}};

// The seven names in that order.
inline constexpr std::array<std::string_view, 7> kTemplateTypeNames = [] {
    std::array<std::string_view, 7> names{};
    for (size_t i = 0; i < names.size(); ++i) names[i] = kTemplateTypes[i].name;
    return names;
}();

// The type a row's Type text names, compared exactly (case-sensitive), as
// the buffer sections do: "Int" is no type and its row prints nothing.
const TemplateTypeInfo* FindTemplateType(std::string_view type);

// The size of the exactly named type; none for any other text.
std::optional<uint32_t> TemplateTypeSize(std::string_view type);

// The size the template editor adds to the last offset for its next
// proposal: the name matched without regard to letter case, 0 for any other
// text (an empty last type included).
uint32_t TemplateTypeSizeAnyCase(std::string_view type);

}  // namespace vantrel
