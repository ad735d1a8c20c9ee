#include "WebDavXml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

#include "CommandSupport.h"
#include "MondrelError.h"

namespace {

struct TDocFree {
    void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
};

std::string Chars(const xmlChar* text) {
    return text == nullptr ? "" : reinterpret_cast<const char*>(text);
}

// Deep documents are refused by the parser itself (its default depth limit); this copies what
// it built.
TXmlElement Copy(const xmlNode* node) {
    TXmlElement element;
    element.Name = Chars(node->name);
    if (node->ns != nullptr) {
        element.Namespace = Chars(node->ns->href);
    }
    for (const xmlAttr* attribute = node->properties; attribute != nullptr;
         attribute = attribute->next) {
        std::string value;
        for (const xmlNode* text = attribute->children; text != nullptr; text = text->next) {
            value += Chars(text->content);
        }
        element.Attributes.emplace_back(Chars(attribute->name), value);
    }
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            element.Children.push_back(Copy(child));
        } else if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
            element.Text += Chars(child->content);
        }
    }
    return element;
}

}  // namespace

const TXmlElement* TXmlElement::Child(const char* Ns, const char* Local) const {
    for (const TXmlElement& child : Children) {
        if (child.Is(Ns, Local)) {
            return &child;
        }
    }
    return nullptr;
}

std::vector<const TXmlElement*> TXmlElement::All(const char* Ns, const char* Local) const {
    std::vector<const TXmlElement*> found;
    for (const TXmlElement& child : Children) {
        if (child.Is(Ns, Local)) {
            found.push_back(&child);
        }
    }
    return found;
}

std::string TXmlElement::Attribute(const char* Local) const {
    for (const auto& [name, value] : Attributes) {
        if (name == Local) {
            return value;
        }
    }
    return "";
}

TXmlElement ReadXml(const std::string& Text, const std::string& What) {
    if (Text.size() > static_cast<size_t>(INT32_MAX)) {
        throw EMondrelError(What + " is too large");
    }
    std::unique_ptr<xmlDoc, TDocFree> doc(xmlReadMemory(
        Text.data(), static_cast<int>(Text.size()), nullptr, nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA));
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (root == nullptr) {
        const xmlError* error = xmlGetLastError();
        std::string reason = error != nullptr && error->message != nullptr
                                 ? Chars(reinterpret_cast<const xmlChar*>(error->message))
                                 : "no XML document";
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) {
            reason.pop_back();
        }
        reason = Printable(reason);
        throw EMondrelError(What + " is not XML (" + reason + ")");
    }
    return Copy(root);
}

std::string XmlEscape(const std::string& Text) {
    std::string escaped;
    escaped.reserve(Text.size());
    for (char c : Text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}
