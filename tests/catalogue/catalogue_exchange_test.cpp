#include "catalogue/catalogue_exchange.h"

#include <gtest/gtest.h>

#include "catalogue_doubles.h"

namespace vantrel {

bool operator==(const IoctlRow& a, const IoctlRow& b) {
    return a.ioctl == b.ioctl && a.object == b.object && a.inputBuffer == b.inputBuffer &&
           a.outputBuffer == b.outputBuffer && a.ioctlName == b.ioctlName;
}
bool operator==(const TemplateRow& a, const TemplateRow& b) {
    return a.name == b.name && a.type == b.type && a.valueName == b.valueName &&
           a.offset == b.offset;
}

namespace {

// Every byte value, in names of at most 255 characters.
std::vector<std::string> AllBytes() {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    return {all.substr(0, 128), all.substr(128)};
}

std::string ParseError(std::string_view text) {
    CatalogueContents contents;
    std::string error;
    EXPECT_FALSE(ParseCatalogueFile(text, contents, error)) << text;
    return error;
}

TEST(CatalogueExchange, JsonIsWrittenExactly) {
    const std::vector<IoctlRow> ioctls = {
        {StoredIoctlCode(0x8000ABCD), "\\Device\\A\"b", "None", "T\x01", "caf\xe9"}};
    const std::vector<TemplateRow> templates = {{"T\x01", "int", "tab\there", -4}};
    EXPECT_EQ(CatalogueToJson(ioctls, templates),
              "{\n"
              "  \"ioctls\": [\n"
              "    {\"ioctl\": \"0x8000abcd\", \"object\": \"\\\\Device\\\\A\\\"b\", "
              "\"ioctl_name\": \"caf\xc3\xa9\", \"input_buffer\": \"None\", "
              "\"output_buffer\": \"T\\u0001\"}\n"
              "  ],\n"
              "  \"templates\": [\n"
              "    {\"name\": \"T\\u0001\", \"offset\": -4, \"type\": \"int\", "
              "\"value_name\": \"tab\\there\"}\n"
              "  ]\n"
              "}\n");
    EXPECT_EQ(CatalogueToJson({}, {}), "{\n  \"ioctls\": [],\n  \"templates\": []\n}\n");
}

TEST(CatalogueExchange, CsvQuotesOnlyWhatNeedsIt) {
    const std::vector<TemplateRow> rows = {{"plain", "int", "a,b", 0},
                                           {"say \"hi\"", "char", "two\r\nlines", 2147483647}};
    EXPECT_EQ(TemplatesToCsv(rows),
              "Name,Offset,Type,Value Name\r\n"
              "plain,0,int,\"a,b\"\r\n"
              "\"say \"\"hi\"\"\",2147483647,char,\"two\r\nlines\"\r\n");
    EXPECT_EQ(IoctlsToCsv({{-1, "\xff", "", "None", ""}}),
              "Ioctl,Object,Ioctl Name,Input Buffer,Output Buffer\r\n"
              "0xffffffff,\xc3\xbf,,,None\r\n");
}

TEST(CatalogueExchange, EveryByteAndHostileNameRoundTripsThroughBothFormats) {
    std::vector<std::string> names = AllBytes();
    for (const char* s : {"\"; DROP TABLE \"Templates\"; --", "[Name]", "' OR 1=1 --", "a\"\"b",
                          ",", "\r", "\n", " lead and trail ", ""})
        names.emplace_back(s);
    std::vector<IoctlRow> ioctls;
    std::vector<TemplateRow> templates;
    for (size_t i = 0; i < names.size(); ++i) {
        ioctls.push_back({static_cast<int32_t>(i) - 3, names[i], names[names.size() - 1 - i],
                          names[i], names[i]});
        templates.push_back(
            {names[i], names[i], names[(i + 1) % names.size()], static_cast<int32_t>(i * 1000003)});
    }
    CatalogueContents back;
    std::string error;
    ASSERT_TRUE(ParseCatalogueFile(CatalogueToJson(ioctls, templates), back, error)) << error;
    EXPECT_EQ(*back.ioctls, ioctls);
    EXPECT_EQ(*back.templates, templates);

    ASSERT_TRUE(ParseCatalogueFile(IoctlsToCsv(ioctls), back, error)) << error;
    EXPECT_EQ(*back.ioctls, ioctls);
    EXPECT_FALSE(back.templates);
    ASSERT_TRUE(ParseCatalogueFile(TemplatesToCsv(templates), back, error)) << error;
    EXPECT_EQ(*back.templates, templates);
    EXPECT_FALSE(back.ioctls);
}

TEST(CatalogueExchange, JsonReaderAcceptsWhatOtherToolsWrite) {
    CatalogueContents c;
    std::string error;
    ASSERT_TRUE(ParseCatalogueFile(
        " {\"templates\":[{\"value_name\":\"\\u00e9\\/\",\"type\":\"int\",\"offset\":7,"
        "\"name\":\"n\"}]}",
        c, error))
        << error;
    EXPECT_FALSE(c.ioctls);  // a table the file does not name is left alone
    ASSERT_EQ(c.templates->size(), 1u);
    EXPECT_EQ((*c.templates)[0].valueName, "\xe9/");
    ASSERT_TRUE(
        ParseCatalogueFile("{\"ioctls\": [{\"ioctl\": 459776, \"object\": \"o\", "
                           "\"ioctl_name\": \"\", \"input_buffer\": \"None\", "
                           "\"output_buffer\": \"None\"}]}",
                           c, error))
        << error;
    EXPECT_EQ((*c.ioctls)[0].ioctl, 0x00070400);
}

TEST(CatalogueExchange, ABadCsvRowIsNamedByItsLine) {
    const std::string ioctlHeader = std::string(kIoctlsCsvHeader) + "\r\n";
    const std::string templateHeader = std::string(kTemplatesCsvHeader) + "\n";
    EXPECT_EQ(ParseError(templateHeader + "a,0,int,\"two\nlines\"\nb,4.5,int,x\n"),
              "line 4: the offset \"4.5\" is not a 32-bit integer");
    EXPECT_EQ(ParseError(templateHeader + "a,0,int\n"), "line 2: expected 4 fields, found 3");
    EXPECT_EQ(ParseError(templateHeader + "a,0,int,x\n\n"), "line 3: expected 4 fields, found 1");
    EXPECT_EQ(ParseError(templateHeader + "a,0,int,x\nb,1,\"int,y\n"),
              "line 3: a quoted field that is never closed");
    EXPECT_EQ(ParseError(templateHeader + "a,0,in\"t\",x\n"),
              "line 2: a quote inside a field that does not start with one");
    EXPECT_EQ(ParseError(templateHeader + "a,0,\"int\"x,x\n"),
              "line 2: text after the closing quote of a field");
    EXPECT_EQ(ParseError(templateHeader + "a,99999999999,int,x\n"),
              "line 2: the offset \"99999999999\" is not a 32-bit integer");
    EXPECT_EQ(ParseError(ioctlHeader + "0x1,o,n,None,None\r\n0x100000000,o,n,None,None\r\n"),
              "line 3: the IOCTL code \"0x100000000\" is not a 32-bit number");
    EXPECT_EQ(ParseError(ioctlHeader + "0x1,o,n,None,None\r\n2,o,n,None,None\r\n1,o,m,a,b\r\n"),
              "line 4: a second row for IOCTL 0x00000001 on \"o\" (the first is on line 2)");
    EXPECT_EQ(ParseError(ioctlHeader + "1,\xe2\x82\xac,n,None,None\r\n"),
              "line 2: the object name holds a character that the catalogue cannot store (above "
              "U+00FF, or not UTF-8)");
    EXPECT_EQ(ParseError(ioctlHeader + "1,o," + std::string(256, 'n') + ",None,None\r\n"),
              "line 2: the IOCTL name is 256 characters long; at most 255 characters are allowed");
    EXPECT_EQ(ParseError("Name,Offset,Type\n"),
              "line 1: the header is neither \"Ioctl,Object,Ioctl Name,Input Buffer,Output "
              "Buffer\" nor \"Name,Offset,Type,Value Name\"");
    EXPECT_EQ(ParseError(""), "the file is empty");
}

TEST(CatalogueExchange, ABadJsonRowIsNamedByItsLine) {
    const std::string row =
        "{\"name\": \"a\", \"offset\": 0, \"type\": \"int\", \"value_name\": \"x\"}";
    EXPECT_EQ(ParseError("{\"templates\": [\n" + row +
                         ",\n{\"name\": \"b\", \"offset\": 1, "
                         "\"type\": \"int\"}\n]}"),
              "line 3: the row has no \"value_name\"");
    EXPECT_EQ(ParseError("{\"templates\": [\n" + row +
                         ",\n\n{\"name\": \"b\", \"offset\": 1, "
                         "\"type\": \"int\", \"value_name\": \"x\", \"size\": 4}]}"),
              "line 4: unknown key \"size\"");
    EXPECT_EQ(ParseError("{\"templates\": [" + row + "],\n\"templates\": []}"),
              "line 2: the key \"templates\" appears twice");
    EXPECT_EQ(ParseError("{\"templates\": [{\"name\": 5, \"offset\": 0, \"type\": \"int\", "
                         "\"value_name\": \"x\"}]}"),
              "line 1: the template name must be a text");
    EXPECT_EQ(ParseError("{\"templates\": [{\"name\": null, \"offset\": 0, \"type\": \"int\", "
                         "\"value_name\": \"x\"}]}"),
              "line 1: \"name\" must be a text or a number");
    EXPECT_EQ(ParseError("{\"ioctl\": []}"), "line 1: unknown table \"ioctl\"");
    EXPECT_EQ(ParseError("{\"templates\": {}}"), "line 1: a table must be an array of rows");
    EXPECT_EQ(ParseError("{\"ioctls\": []}\n,"), "line 2: text after the end of the JSON object");
    EXPECT_EQ(ParseError("{\"ioctls\": [\"\\ud800\"]}"), "line 1: a lone surrogate in a string");
    EXPECT_EQ(ParseError("{\"ioctls\": [\"a\nb\"]}"),
              "line 1: a control character or line break inside a string");
    EXPECT_EQ(ParseError("{\n\"ioctls\": [1,]}"), "line 2: a JSON value was expected");
    EXPECT_EQ(ParseError("{\"a\":" + std::string(40, '[')),
              "line 1: the JSON is nested too deeply");
    EXPECT_EQ(ParseError("{\"ioctls\": [{\"ioctl\": \"1\"} "), "line 1: ',' or ']' was expected");
}

TEST(CatalogueExchange, ReplacingTablesIsAllOrNothing) {
    testing::ScratchDir dir;
    const std::string path = dir / "c.db";
    ASSERT_TRUE(CCatalogue::Create(path, true));
    CCatalogue catalogue;
    ASSERT_TRUE(catalogue.Open(path));
    const std::vector<IoctlRow> before = catalogue.ReadIoctls();
    const std::vector<IoctlRow> ioctls = {{1, "o", "None", "None", "n"}};
    // The second table fails inside the transaction: the first is restored.
    const std::vector<TemplateRow> tooLong = {{std::string(300, 'x'), "int", "v", 0}};
    std::string error;
    EXPECT_FALSE(catalogue.ReplaceTables(&ioctls, &tooLong, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(catalogue.ReadIoctls(), before);
    EXPECT_EQ(catalogue.ReadTemplateRows().size(), 66u);

    const std::vector<TemplateRow> one = {{"T", "int", "v", 0}};
    ASSERT_TRUE(catalogue.ReplaceTables(nullptr, &one, &error)) << error;
    EXPECT_EQ(catalogue.ReadIoctls(), before);
    EXPECT_EQ(catalogue.ReadTemplateRows(), one);
    EXPECT_EQ(catalogue.TemplateNames(), std::vector<std::string>{"T"});
}

}  // namespace
}  // namespace vantrel
