#include "decode/template_types.h"

namespace vantrel {
namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualAnyCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

}  // namespace

const TemplateTypeInfo* FindTemplateType(std::string_view type) {
    for (const TemplateTypeInfo& t : kTemplateTypes)
        if (t.name == type) return &t;
    return nullptr;
}

std::optional<uint32_t> TemplateTypeSize(std::string_view type) {
    const TemplateTypeInfo* t = FindTemplateType(type);
    if (!t) return std::nullopt;
    return t->size;
}

uint32_t TemplateTypeSizeAnyCase(std::string_view type) {
    for (const TemplateTypeInfo& t : kTemplateTypes)
        if (EqualAnyCase(t.name, type)) return t.size;
    return 0;
}

}  // namespace vantrel
