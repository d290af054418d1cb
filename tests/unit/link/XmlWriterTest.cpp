// The XML writer: escaping, nesting, and what it refuses.
#include "link/XmlWriter.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace veltro::link;

TEST(XmlWriter, EscapesMarkupQuotesAndWhiteSpaceWhereTheyWouldChangeTheDocument)
{
    XmlDocument doc;
    XmlElement* root = doc.CreateElement("root");
    root->SetAttribute("a", "x<y & \"z\"\tq\nr");
    root->SetText("1 < 2 & \"3\" > 0\n");
    doc.SetDocumentElement(root);
    EXPECT_EQ(doc.ToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<root a=\"x&lt;y &amp; &quot;z&quot;&#9;q&#10;r\">1 &lt; 2 &amp; \"3\" &gt; 0\n</root>\n");
    // Control characters XML cannot carry at all are replaced, never written raw.
    EXPECT_EQ(XmlDocument::Escape(std::string("a\x01" "b\r", 4), false), "a\xEF\xBF\xBD" "b&#13;");
}

TEST(XmlWriter, NestsChildrenAndKeepsAttributeOrder)
{
    XmlDocument doc;
    XmlElement* root = doc.CreateElement("links");
    XmlElement* a = doc.CreateElement("link");
    a->SetAttribute("z", "1");
    a->SetAttribute("b", "2");
    a->SetAttribute("z", "3");  // replaced in place
    XmlElement* b = doc.CreateElement("link");
    root->AppendChild(a);
    root->AppendChild(b);
    EXPECT_EQ(XmlDocument::ElementToString(*root), "<links>\n  <link z=\"3\" b=\"2\"/>\n  <link/>\n</links>\n");
    EXPECT_EQ(a->Parent(), root);
    ASSERT_NE(a->Attribute("b"), nullptr);
    EXPECT_EQ(*a->Attribute("b"), "2");
    EXPECT_EQ(a->Attribute("missing"), nullptr);
}

TEST(XmlWriter, RefusesWhatWouldMakeTheDocumentMalformed)
{
    XmlDocument doc, other;
    XmlElement* root = doc.CreateElement("root");
    XmlElement* child = doc.CreateElement("child");
    root->AppendChild(child);
    EXPECT_THROW(child->AppendChild(root), std::invalid_argument);          // a cycle
    EXPECT_THROW(root->AppendChild(child), std::invalid_argument);          // placed twice
    EXPECT_THROW(root->AppendChild(root), std::invalid_argument);
    EXPECT_THROW(root->AppendChild(other.CreateElement("x")), std::invalid_argument);
    EXPECT_THROW(doc.SetDocumentElement(child), std::invalid_argument);     // has a parent
    for (const char* bad : {"", "1a", "a b", "a\"", "<a>"}) {
        EXPECT_THROW(doc.CreateElement(bad), std::invalid_argument) << bad;
        EXPECT_THROW(root->SetAttribute(bad, "v"), std::invalid_argument) << bad;
    }
}
