// The serial link's settings: its description, its settings element, link identity.
#include "link/LinkSerial.h"
#include "link/XmlWriter.h"
#include "support/NullLink.h"

#include <gtest/gtest.h>

using namespace veltro::link;

TEST(TLinkSerial, SettingsElementAndDescriptionUseTheLabels)
{
    TLinkSerial link;
    std::string text;
    link.GetDescription(text);
    EXPECT_EQ(text, "Serial, COM1, 9600, Pari, 7, 1");

    link.SetPort(3);
    link.SetPort(-1);  // ignored
    link.SetBaudRate(6);
    link.SetParity(0);
    link.SetDataBits(1);
    link.SetStopBits(1);
    XmlDocument doc;
    XmlElement* element = nullptr;
    link.SaveToXml(doc, element);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->Parent(), nullptr);
    EXPECT_EQ(XmlDocument::ElementToString(*element),
              "<LinkSerial serial_port=\"3\" bps=\"19200\" parity=\"Nessuna\" data_bits=\"8\" stop_bits=\"2\"/>\n");

    // Indices are stored unchecked; an impossible one must not read past a table.
    link.SetBaudRate(200);
    link.GetDescription(text);
    EXPECT_EQ(text, "Serial, COM3, ?, Nessuna, 8, 2");
}

TEST(TLinkSerial, SameLinkMeansSerialOnTheSamePort)
{
    TLinkSerial a, b;
    veltro::test::NullLink other;
    EXPECT_TRUE(a.IsSameLink(&b));
    b.SetPort(2);
    EXPECT_FALSE(a.IsSameLink(&b));
    EXPECT_FALSE(a.IsSameLink(&other));
    EXPECT_FALSE(a.IsSameLink(nullptr));
}
