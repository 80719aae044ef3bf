#include "decode/template_types.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(TemplateTypes, SevenNamesInTheOrderTheyAreTested) {
    const std::string_view expected[] = {"BOOL", "char", "float", "int", "long", "PVOID", "SHORT"};
    ASSERT_EQ(kTemplateTypeNames.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(kTemplateTypeNames[i], expected[i]);
}

TEST(TemplateTypes, BufferSectionsMatchTheNameExactly) {
    EXPECT_EQ(TemplateTypeSize("BOOL"), 4u);
    EXPECT_EQ(TemplateTypeSize("char"), 1u);
    EXPECT_EQ(TemplateTypeSize("SHORT"), 2u);
    EXPECT_EQ(TemplateTypeSize("PVOID"), 4u);
    EXPECT_EQ(TemplateTypeSize("Int"), std::nullopt);
    EXPECT_EQ(TemplateTypeSize("short"), std::nullopt);
    EXPECT_EQ(TemplateTypeSize("int "), std::nullopt);
    EXPECT_EQ(TemplateTypeSize(""), std::nullopt);
    ASSERT_NE(FindTemplateType("float"), nullptr);
    EXPECT_EQ(FindTemplateType("float")->type, TemplateValueType::Float);
}

TEST(TemplateTypes, EditorProposalIgnoresLetterCaseAndCountsOthersAsZero) {
    EXPECT_EQ(TemplateTypeSizeAnyCase("Int"), 4u);
    EXPECT_EQ(TemplateTypeSizeAnyCase("short"), 2u);
    EXPECT_EQ(TemplateTypeSizeAnyCase("CHAR"), 1u);
    EXPECT_EQ(TemplateTypeSizeAnyCase("pvoid"), 4u);
    EXPECT_EQ(TemplateTypeSizeAnyCase(""), 0u);
    EXPECT_EQ(TemplateTypeSizeAnyCase("double"), 0u);
    EXPECT_EQ(TemplateTypeSizeAnyCase("longs"), 0u);
}

}  // namespace
}  // namespace vantrel
