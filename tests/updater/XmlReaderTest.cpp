#include "updater/XmlReader.h"

#include <gtest/gtest.h>

#include <chrono>

using vistrel::CXmlReader;

namespace {

// Loads text and moves to the child called name of the root.
std::string ChildText(const std::string& xml, const std::string& name)
{
    CXmlReader reader;
    EXPECT_TRUE(reader.Load(xml)) << reader.GetError();
    EXPECT_TRUE(reader.FindChild(name));
    return reader.GetChildText();
}

std::string LoadError(const std::string& xml)
{
    CXmlReader reader;
    EXPECT_FALSE(reader.Load(xml));
    EXPECT_FALSE(reader.FindElement(""));
    EXPECT_FALSE(reader.FindChild(""));
    return reader.GetError();
}

} // namespace

TEST(XmlReader, SkipsDeclarationCommentsAndDoctypeBeforeTheRoot)
{
    CXmlReader reader;
    ASSERT_TRUE(reader.Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- made by hand -->"
                            "<!DOCTYPE pad><!-- two > signs --><root a=\"1\"><x>1</x></root>"));
    ASSERT_TRUE(reader.FindElement("root"));
    EXPECT_EQ(reader.GetElementName(reader.MainPosition()), "root");
    ASSERT_TRUE(reader.FindChild("x"));
    EXPECT_EQ(reader.GetChildText(), "1");
}

TEST(XmlReader, EmptyElementHasNoTextAndNoChildren)
{
    CXmlReader reader;
    ASSERT_TRUE(reader.Load("<r><a/><b></b><c /></r>"));
    ASSERT_TRUE(reader.FindChild("a"));
    EXPECT_EQ(reader.GetChildText(), "");
    ASSERT_TRUE(reader.EnterChild());
    EXPECT_FALSE(reader.FindChild(""));
    ASSERT_TRUE(reader.LeaveElement());
    ASSERT_TRUE(reader.FindChild("b"));
    EXPECT_EQ(reader.GetChildText(), "");
    EXPECT_TRUE(reader.FindChild("c"));

    ASSERT_TRUE(reader.Load("<a/>"));
    EXPECT_TRUE(reader.FindElement("a"));
    EXPECT_FALSE(reader.FindChild(""));
}

TEST(XmlReader, TextDecodesTheFiveEntitiesOnceAndKeepsEverythingElse)
{
    EXPECT_EQ(ChildText("<r><a> x &lt; y &amp;amp; </a></r>", "a"), " x < y &amp; ");
    EXPECT_EQ(ChildText("<r><a>&gt;&apos;&quot;&amp;</a></r>", "a"), ">'\"&");
    EXPECT_EQ(ChildText("<r><a>&#60; &lt &LT; &</a></r>", "a"), "&#60; &lt &LT; &");
    // The entity's name and semicolon must lie inside the element.
    EXPECT_EQ(ChildText("<r><a>&lt</a><b>;</b></r>", "a"), "&lt");
    // Multibyte text and line breaks come back as they are.
    EXPECT_EQ(ChildText("<r><a>\xc3\xa9t\xc3\xa9\r\n \t</a></r>", "a"), "\xc3\xa9t\xc3\xa9\r\n \t");
}

TEST(XmlReader, CdataSectionIsTheWholeTextUnchanged)
{
    EXPECT_EQ(ChildText("<r><a>  <![CDATA[1 < 2]]> tail</a></r>", "a"), "1 < 2");
    EXPECT_EQ(ChildText("<r><a><![CDATA[&lt;<b>]]></a></r>", "a"), "&lt;<b>");
    EXPECT_EQ(ChildText("<r><a><![CDATA[]]></a></r>", "a"), "");
    // Text before the section makes it ordinary content.
    EXPECT_EQ(ChildText("<r><a>x<![CDATA[y]]></a></r>", "a"), "x<![CDATA[y]]>");
}

TEST(XmlReader, ElementWithChildElementsHasNoText)
{
    EXPECT_EQ(ChildText("<r><a>text<b/>more</a></r>", "a"), "");
}

TEST(XmlReader, FindChildMovesForwardOnlyAndKeepsPositionOnFailure)
{
    CXmlReader reader;
    ASSERT_TRUE(reader.Load("<r><x>1</x><y>2</y><x>3</x></r>"));
    ASSERT_TRUE(reader.FindElement("r"));
    ASSERT_TRUE(reader.FindChild("y"));
    const int y = reader.ChildPosition();
    ASSERT_TRUE(reader.FindChild("x"));
    EXPECT_EQ(reader.GetChildText(), "3");

    reader.ResetPosition();
    ASSERT_TRUE(reader.FindChild("y"));
    EXPECT_FALSE(reader.FindChild("y"));
    EXPECT_EQ(reader.ChildPosition(), y);
    EXPECT_EQ(reader.GetChildText(), "2");
}

TEST(XmlReader, EnterAndLeaveWalkTheTree)
{
    CXmlReader reader;
    ASSERT_TRUE(reader.Load("<r><a><b>in</b></a><c>after</c></r>"));
    EXPECT_FALSE(reader.LeaveElement()); // nothing entered yet
    ASSERT_TRUE(reader.FindChild("a"));
    ASSERT_TRUE(reader.EnterChild());
    EXPECT_EQ(reader.Depth(), 1);
    ASSERT_TRUE(reader.FindChild("b"));
    EXPECT_EQ(reader.GetChildText(), "in");
    ASSERT_TRUE(reader.LeaveElement());
    EXPECT_EQ(reader.GetElementName(reader.ChildPosition()), "a");
    ASSERT_TRUE(reader.FindChild("c"));
    EXPECT_EQ(reader.GetChildText(), "after");
    EXPECT_FALSE(reader.LeaveElement()); // back at depth 0
    // FindElement looks among the root's siblings, of which there are none.
    EXPECT_FALSE(reader.FindElement("r"));
}

TEST(XmlReader, NamesAreCaseSensitive)
{
    CXmlReader reader;
    ASSERT_TRUE(reader.Load("<r><Program_Name>A</Program_Name></r>"));
    EXPECT_FALSE(reader.FindChild("program_name"));
    EXPECT_TRUE(reader.FindChild("Program_Name"));
    EXPECT_FALSE(reader.FindElement("R"));
}

TEST(XmlReader, OnlyTheFirstTopLevelElementIsRead)
{
    CXmlReader reader;
    ASSERT_TRUE(reader.Load("<a>1</a><b>2</b> trailing < junk"));
    EXPECT_TRUE(reader.FindElement("a"));
    EXPECT_FALSE(reader.FindElement("b"));
    // The last byte of a document may be the '>' of the root's end tag.
    EXPECT_TRUE(reader.Load("<a>1</a>"));
    EXPECT_TRUE(reader.Load("<a>1</a  >"));
}

TEST(XmlReader, AttributesAreSkippedAndTheFirstGreaterThanEndsTheTag)
{
    CXmlReader reader;
    ASSERT_TRUE(reader.Load("<r><a k=\"v\" j='w'>t</a><b k=\"x>y\">u</b></r>"));
    ASSERT_TRUE(reader.FindChild("a"));
    EXPECT_EQ(reader.GetChildText(), "t");
    ASSERT_TRUE(reader.FindChild("b"));
    EXPECT_EQ(reader.GetChildText(), "y\">u");
}

TEST(XmlReader, ParseErrorsNameTheElement)
{
    EXPECT_EQ(LoadError(""), "");
    EXPECT_EQ(LoadError("no tags at all"), "Element tag not found");
    EXPECT_EQ(LoadError("<a>"), "Element tag not found");
    EXPECT_EQ(LoadError("<"), "Abrupt end within tag");
    EXPECT_EQ(LoadError("<abc"), "Abrupt end within tag");
    EXPECT_EQ(LoadError("<\"a\">x</a>"), "Tag starts with quote");
    EXPECT_EQ(LoadError("<a x"), "End of tag not found");
    EXPECT_EQ(LoadError("<!-- open <a></a>"), "End of tag not found");
    EXPECT_EQ(LoadError("<?xml <a></a>"), "End of tag not found");
    EXPECT_EQ(LoadError("<a></b>"), "End tag does not correspond to a");
    EXPECT_EQ(LoadError("<a><b></a>"), "End tag does not correspond to b");
    EXPECT_EQ(LoadError("<a></a"), "End tag not completed for element a");
    EXPECT_EQ(LoadError("<a></a x"), "End tag not completed for element a");
    EXPECT_EQ(LoadError("<a></"), "Abrupt end within tag");
    EXPECT_EQ(LoadError("</a>"), ""); // an end tag first: no root
}

TEST(XmlReader, EndTagErrorsAfterChildren)
{
    // After a child element the end tag is sought from the child's end.
    CXmlReader reader;
    EXPECT_FALSE(reader.Load("<a><b/>"));
    EXPECT_EQ(reader.GetError(), "Element tag not found");
    EXPECT_FALSE(reader.Load("<a><b/></\"a\">"));
    EXPECT_EQ(reader.GetError(), "End tag does not correspond to a");
}

TEST(XmlReader, FailedLoadForgetsThePreviousDocument)
{
    CXmlReader reader;
    ASSERT_TRUE(reader.Load("<a><b>1</b></a>"));
    ASSERT_TRUE(reader.FindChild("b"));
    EXPECT_FALSE(reader.Load("<a>"));
    EXPECT_FALSE(reader.FindElement("a"));
    EXPECT_FALSE(reader.FindChild("b"));
    EXPECT_EQ(reader.GetChildText(), "");
    EXPECT_EQ(reader.GetElementName(1), "");
}

TEST(XmlReader, ManyElementsGrowTheTable)
{
    std::string xml = "<r>";
    for (int i = 0; i < 5000; ++i)
        xml += "<e>" + std::to_string(i) + "</e>";
    xml += "</r>";
    CXmlReader reader;
    ASSERT_TRUE(reader.Load(xml));
    int count = 0;
    std::string last;
    while (reader.FindChild("e")) {
        last = reader.GetChildText();
        ++count;
    }
    EXPECT_EQ(count, 5000);
    EXPECT_EQ(last, "4999");
}

TEST(XmlReader, DeepNestingFailsCleanly)
{
    // Within the limit the walk goes all the way down.
    {
        std::string xml;
        for (int i = 0; i < CXmlReader::kMaxDepth; ++i)
            xml += "<d>";
        for (int i = 0; i < CXmlReader::kMaxDepth; ++i)
            xml += "</d>";
        CXmlReader reader;
        ASSERT_TRUE(reader.Load(xml)) << reader.GetError();
        int depth = 0;
        while (reader.EnterChild())
            ++depth;
        EXPECT_EQ(depth, CXmlReader::kMaxDepth - 1);
    }
    // A million nested elements, closed or not, fail with a message and without exhausting the
    // stack, in linear time.
    const int n = 1000000;
    std::string open;
    open.reserve(n * 3);
    for (int i = 0; i < n; ++i)
        open += "<d>";
    std::string closed = open;
    for (int i = 0; i < n; ++i)
        closed += "</d>";
    const auto start = std::chrono::steady_clock::now();
    CXmlReader reader;
    EXPECT_FALSE(reader.Load(closed));
    EXPECT_EQ(reader.GetError(), "Elements nested too deeply");
    EXPECT_FALSE(reader.Load(open));
    EXPECT_EQ(reader.GetError(), "Elements nested too deeply");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(XmlReader, GetElementNameOutsideTheTableIsEmpty)
{
    CXmlReader reader;
    ASSERT_TRUE(reader.Load("<r><a/></r>"));
    EXPECT_EQ(reader.GetElementName(0), "");
    EXPECT_EQ(reader.GetElementName(1), "r");
    EXPECT_EQ(reader.GetElementName(2), "a");
    EXPECT_EQ(reader.GetElementName(3), "");
    EXPECT_EQ(reader.GetElementName(-5), "");
}
