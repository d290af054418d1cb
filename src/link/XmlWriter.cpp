#include "link/XmlWriter.h"

#include <stdexcept>

namespace veltro::link {

namespace {

bool IsNameStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool IsNameChar(unsigned char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void CheckName(const std::string& name)
{
    bool ok = !name.empty() && IsNameStart(static_cast<unsigned char>(name[0]));
    for (size_t i = 1; ok && i < name.size(); ++i)
        ok = IsNameChar(static_cast<unsigned char>(name[i]));
    if (!ok)
        throw std::invalid_argument("not an XML name: '" + name + "'");
}

void Write(const XmlElement& e, int depth, std::string& out)
{
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    out += indent + "<" + e.Name();
    for (const auto& [name, value] : e.Attributes())
        out += " " + name + "=\"" + XmlDocument::Escape(value, true) + "\"";
    if (e.Text().empty() && e.Children().empty()) {
        out += "/>\n";
        return;
    }
    out += ">";
    if (!e.Text().empty() || e.Children().empty()) {
        // Text content is written as it is, without indentation that would change it.
        out += XmlDocument::Escape(e.Text(), false);
        for (const XmlElement* child : e.Children()) {
            std::string inner;
            Write(*child, 0, inner);
            inner.pop_back();
            out += inner;
        }
        out += "</" + e.Name() + ">\n";
        return;
    }
    out += "\n";
    for (const XmlElement* child : e.Children())
        Write(*child, depth + 1, out);
    out += indent + "</" + e.Name() + ">\n";
}

}  // namespace

void XmlElement::SetAttribute(const std::string& name, const std::string& value)
{
    CheckName(name);
    for (auto& attribute : attributes_) {
        if (attribute.first == name) {
            attribute.second = value;
            return;
        }
    }
    attributes_.emplace_back(name, value);
}

const std::string* XmlElement::Attribute(const std::string& name) const
{
    for (const auto& attribute : attributes_)
        if (attribute.first == name)
            return &attribute.second;
    return nullptr;
}

void XmlElement::AppendChild(XmlElement* child)
{
    if (!child || child->document_ != document_ || child->parent_ || child == this)
        throw std::invalid_argument("element cannot be attached here");
    for (const XmlElement* up = parent_; up; up = up->parent_)
        if (up == child)
            throw std::invalid_argument("element cannot be attached here");
    child->parent_ = this;
    children_.push_back(child);
}

XmlElement* XmlDocument::CreateElement(const std::string& name)
{
    CheckName(name);
    elements_.push_back(std::unique_ptr<XmlElement>(new XmlElement(this, name)));
    return elements_.back().get();
}

void XmlDocument::SetDocumentElement(XmlElement* root)
{
    if (root && (root->document_ != this || root->parent_))
        throw std::invalid_argument("element cannot be the document element");
    root_ = root;
}

std::string XmlDocument::ToString() const
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    if (root_)
        Write(*root_, 0, out);
    return out;
}

std::string XmlDocument::ElementToString(const XmlElement& element)
{
    std::string out;
    Write(element, 0, out);
    return out;
}

std::string XmlDocument::Escape(std::string_view text, bool attribute)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += attribute ? "&quot;" : "\""; break;
        // A reader normalises white space in attribute values to blanks; written as
        // character references they survive.
        case '\t': out += attribute ? "&#9;" : "\t"; break;
        case '\n': out += attribute ? "&#10;" : "\n"; break;
        case '\r': out += "&#13;"; break;
        default:
            // XML 1.0 cannot hold the other control characters at all, not even as
            // references; they become U+FFFD so the document stays well-formed.
            if (c < 0x20)
                out += "\xEF\xBF\xBD";
            else
                out += ch;
        }
    }
    return out;
}

}  // namespace veltro::link
