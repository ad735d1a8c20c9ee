// The XML of WebDAV answers and requests. The only file pair that includes libxml2: answers are
// read into a plain tree of elements, each named by its namespace and local name, so that the
// prefixes a server chooses never matter.
#pragma once

#include <string>
#include <vector>

struct TXmlElement {
    std::string Namespace;  // "DAV:", "urn:ietf:params:xml:ns:caldav", ...
    std::string Name;       // the local name
    std::string Text;       // the text directly inside, entities decoded
    std::vector<std::pair<std::string, std::string>> Attributes;  // local name, value
    std::vector<TXmlElement> Children;

    bool Is(const char* Ns, const char* Local) const { return Namespace == Ns && Name == Local; }
    // The first child of that name, or nullptr.
    const TXmlElement* Child(const char* Ns, const char* Local) const;
    // Every child of that name.
    std::vector<const TXmlElement*> All(const char* Ns, const char* Local) const;
    std::string Attribute(const char* Local) const;
};

// Reads Text as one XML document; raises EMondrelError naming What when it is not one. Entities
// are not expanded from outside and nothing is fetched from the network.
TXmlElement ReadXml(const std::string& Text, const std::string& What);

// Text with &, <, > and quotes written as entities, fit for an element or an attribute.
std::string XmlEscape(const std::string& Text);
