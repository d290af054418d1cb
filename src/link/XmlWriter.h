#pragma once
// A small XML writer: a document that owns its elements, elements with ordered
// attributes, text and children, and serialisation with correct escaping. Enough for
// saving settings; it does not parse.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltro::link {

class XmlElement {
public:
    const std::string& Name() const { return name_; }

    // Replaces the value of an attribute of that name, else appends the attribute.
    void SetAttribute(const std::string& name, const std::string& value);
    // nullptr when the element has no such attribute.
    const std::string* Attribute(const std::string& name) const;
    const std::vector<std::pair<std::string, std::string>>& Attributes() const { return attributes_; }

    void SetText(const std::string& text) { text_ = text; }
    const std::string& Text() const { return text_; }

    // Attaches an element of the same document that has no parent yet; anything else
    // (an element already placed, an ancestor, the element itself) throws
    // std::invalid_argument, since it would make the tree a cycle or a graph.
    void AppendChild(XmlElement* child);
    const std::vector<XmlElement*>& Children() const { return children_; }
    XmlElement* Parent() const { return parent_; }

private:
    friend class XmlDocument;
    XmlElement(const void* document, std::string name) : document_(document), name_(std::move(name)) {}

    const void* document_;
    std::string name_;
    std::vector<std::pair<std::string, std::string>> attributes_;
    std::string text_;
    std::vector<XmlElement*> children_;
    XmlElement* parent_ = nullptr;
};

class XmlDocument {
public:
    XmlDocument() = default;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // A new element owned by the document and attached nowhere. A name that is not an
    // XML name throws std::invalid_argument.
    XmlElement* CreateElement(const std::string& name);
    // The root; must be an element of this document without a parent.
    void SetDocumentElement(XmlElement* root);
    XmlElement* DocumentElement() const { return root_; }

    // The XML declaration followed by the root element (nothing after the declaration
    // when there is no root).
    std::string ToString() const;
    // One element and everything under it.
    static std::string ElementToString(const XmlElement& element);
    // Text as it must be written in character data (attribute false) or inside a
    // double-quoted attribute value (attribute true).
    static std::string Escape(std::string_view text, bool attribute);

private:
    std::vector<std::unique_ptr<XmlElement>> elements_;
    XmlElement* root_ = nullptr;
};

}  // namespace veltro::link
