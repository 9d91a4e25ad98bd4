#include "config/xml_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvolen {
namespace {

struct ValueCase {
    const char* tag;
    std::string source;
    std::string value;
};

void ExpectValues(const std::vector<ValueCase>& cases) {
    for (const ValueCase& c : cases) {
        EXPECT_EQ(XmlTagValue(c.tag, c.source), c.value) << c.tag << " in '" << c.source << "'";
    }
}

TEST(XmlTagValue, FindsTagsInAnyLetterCase) {
    ExpectValues({
        {"<index>", "<index>3</index>", "3"},
        {"<index>", "<INDEX>3</INDEX>", "3"},
        {"<index>", "<Index>3</iNDEX>", "3"},
        {"<INDEX>", "<index>3</index>", "3"},
        {"<index>", "<a><b>x</b><Index>12</Index></a>", "12"},
    });
}

TEST(XmlTagValue, ValueIsTheRawTextUpToTheFirstClosingTag) {
    ExpectValues({
        {"<index>", "<index> 3 </index>", " 3 "},  // not trimmed
        {"<index>", "<index></index>", ""},
        {"<index>", "<index>1</index><index>2</index>", "1"},
        {"<index>", "x<index>a\r\nb</index>y", "a\r\nb"},
        {"<x><y>", "<x><y>v</x></y>", "v"},  // every "<" of the tag gets its "/"
        {"<item>", "<item>a<item>b</item>c</item>", "a<item>b"},  // not nesting-aware
    });
}

TEST(XmlTagValue, MissingElementOrEmptySourceGivesEmpty) {
    ExpectValues({
        {"<index>", "", ""},
        {"<index>", "<other>1</other>", ""},
        {"<index>", "<index id=\"1\">3</index>", ""},  // attributes do not match
        {"<index>", "</index>", ""},
        {"<index>", "<inde", ""},
    });
}

TEST(XmlTagValue, MissingClosingTagGivesTheRestOfTheDocument) {
    ExpectValues({
        {"<index>", "<index>3", "3"},
        {"<index>", "<a><index>3<b>x</b></a>", "3<b>x</b></a>"},
        {"<index>", "<index>", ""},
        {"<index>", "<index>3</inde", "3</inde"},
    });
}

TEST(XmlTagValue, OnlyAmpIsDecoded) {
    ExpectValues({
        {"<name>", "<name>A&amp;B</name>", "A&B"},
        {"<name>", "<name>&amp;&amp;</name>", "&&"},
        {"<name>", "<name>&amp;amp;</name>", "&amp;"},
        {"<name>", "<name>&lt;&gt;&quot;&apos;&#38;&#x26;</name>",
         "&lt;&gt;&quot;&apos;&#38;&#x26;"},
        {"<name>", "<name>&AMP;</name>", "&AMP;"},
    });
}

TEST(XmlTagValue, OpenFormReadsAttributesUpToSlashGreater) {
    ExpectValues({
        {"<disk", "<disk name=\"C\" size=\"10\"/>", "name=\"C\" size=\"10\""},
        {"<disk", "<drives>  <disk name=\"C\" />\r\n</drives>", "name=\"C\""},
        // later elements of the same name lose their tags but are cut off
        {"<disk", "<disk a=\"1\"/><disk b=\"2\"/>", "a=\"1\""},
        {"<disk", "<disk a<disk b/>", "a b"},
        {"<disk", "<disk a=\"1\">", "a=\"1\">"},  // no "/>": the rest
        {"<disk", "<disk n=\"A&amp;B\"/>", "n=\"A&B\""},
        {"<disk", std::string("<disk \xff a \0/>", 13), "a"},  // cleaned
        {"<disk", "<DISK a=\"1\"/>", "a=\"1\""},  // the found tag goes whatever its case
        {"<disk", "<list/>", ""},
        {"<disk", "", ""},
    });
}

TEST(XmlItemLists, ValuesAndLabels) {
    struct Case {
        const char* what;
        std::string source;
        std::string lists;
    };
    const std::string ab =
        "<item><type>a</type><name>A</name></item><item><type>b</type><name>B</name></item>";
    const Case cases[] = {
        {"empty source", "", ""},
        {"no item", "hello", "|"},
        {"two items", ab, "a;b;|A;B;"},
        {"inside a list with line breaks",
         "<list>\r\n  <item>\r\n    <type>a</type>\r\n    <name>A</name>\r\n  </item>\r\n  "
         "<item><type>b</type><name>B</name></item>\r\n</list>",
         "a;b;|A;B;"},
        {"mixed-case tags",
         "<ITEM><TYPE>a</TYPE><NAME>A</NAME></ITEM><Item><type>b</type><Name>B</Name></Item>",
         "a;b;|A;B;"},
        {"type without name ends the run",
         "<item><type>a</type></item><item><type>b</type><name>B</name></item>", "a;|"},
        {"item without type", "<item><name>A</name></item>", "|"},
        {"empty item ends the run", "<item></item>" + ab, "|"},
        {"attributes in the item tag", "<item id=\"1\"><type>a</type><name>A</name></item>", "|"},
        {"identical items consumed together",
         "<item><type>a</type><name>A</name></item>" + ab +
             "<item><type>a</type><name>A</name></item>",
         "a;b;|A;B;"},
        {"last item unterminated", ab + "<item><type>c</type><name>C</name>", "a;b;c;|A;B;C;"},
        {"decoded text", "<item><type>a</type><name>R&amp;D</name></item>" + ab, "a;a;b;|R&D;A;B;"},
        {"text between items", "x" + ab.substr(0, 41) + "y" + ab.substr(41) + "z", "a;b;|A;B;"},
    };
    for (const Case& c : cases) EXPECT_EQ(XmlItemLists("<item>", c.source), c.lists) << c.what;
}

TEST(XmlItemLists, EndsOnTagsThatDifferOnlyInCase) {
    // Each item is cut out where it was found; an exact-text removal alone
    // would find the same upper-case item again forever.
    std::string doc;
    for (int i = 0; i < 50; ++i) {
        doc += i % 2 ? "<ITEM>" : "<iTeM>";
        doc += "<type>v" + std::to_string(i) + "</type><name>n</name></Item>";
    }
    std::string lists = XmlItemLists("<item>", doc);
    EXPECT_EQ(lists.substr(0, 9), "v0;v1;v2;");
    EXPECT_EQ(std::count(lists.begin(), lists.end(), ';'), 100);
}

TEST(XmlItemLists, OddTagsEnd) {
    const std::string doc = "<type>a</type><name>A</name>/><type>b</type><name>B</name>";
    struct Case {
        const char* tag;
        std::string source;
        std::string lists;
    };
    const Case cases[] = {
        {"", doc, "a;|A;"},  // the empty tag is found at the start every time
        {"<", "<<type>a</type><name>A</name>", "|"},
        {">", doc, "|"},
        {"<type>", doc, "|"},
        {"<item", "<item <type>a</type><name>A</name>/><ITEM <type>b</type><name>B</name>/>",
         "a;b;|A;B;"},
    };
    for (const Case& c : cases) EXPECT_EQ(XmlItemLists(c.tag, c.source), c.lists) << c.tag;
}

TEST(RemoveFirst, RemovesOnlyTheFirstExactOccurrence) {
    struct Case {
        const char* needle;
        const char* source;
        const char* result;
    };
    const Case cases[] = {
        {"<a>1</a>", "x<a>1</a>y<a>1</a>z", "xy<a>1</a>z"},
        {"<a>", "<a>", ""},
        {"<b>", "<a>1</a>", "<a>1</a>"},
        {"<A>", "<a>1</a>", "<a>1</a>"},  // case-sensitive
        {"", "abc", "abc"},
        {"abc", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RemoveFirst(c.needle, c.source), c.result) << c.needle << " from " << c.source;
    }
}

TEST(XmlTakeTagValue, WalksARunOfElementsInAnyLetterCase) {
    std::string doc =
        "<x><Input><index>0</index></Input> <INPUT><index>1</index></INPUT>"
        "<input><index>2</index></input><input><index>2</index></input><input><index>3</index>";
    std::vector<std::string> seen;
    for (bool more = true; more;) {
        const std::string e = XmlTakeTagValue("<input>", doc, &more);
        if (e.empty()) break;
        seen.push_back(e);
    }
    // Equal elements are each read in their turn; the last one, without its
    // closing tag, is read and stays where it is.
    EXPECT_EQ(seen,
              (std::vector<std::string>{"<index>0</index>", "<index>1</index>", "<index>2</index>",
                                        "<index>2</index>", "<index>3</index>"}));
    EXPECT_EQ(doc, "<x> <input><index>3</index>");
}

TEST(XmlTakeTagValue, MissingElementLeavesTheSource) {
    std::string doc = "<a>1</a>";
    EXPECT_EQ(XmlTakeTagValue("<b>", doc), "");
    EXPECT_EQ(doc, "<a>1</a>");
}

}  // namespace
}  // namespace tarvolen
