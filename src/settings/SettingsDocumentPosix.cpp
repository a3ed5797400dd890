// The settings document on pugixml. The document keeps UTF-8 in memory; text
// crosses the seam as ISO-8859-1 (see Latin1.h).
#include <new>
#include <pugixml.hpp>

#include "settings/Latin1.h"
#include "settings/SettingsDocument.h"
#include "settings/XMLSettingsAPI.h"

namespace brevane::settings {
namespace {

// Whitespace text nodes are part of the document: the indentation written
// by CreateNode survives a load and save cycle unchanged.
constexpr unsigned kParseOptions = pugi::parse_full | pugi::parse_ws_pcdata;

[[noreturn]] void ThrowOutOfMemory() {
    throw CXMLSettingsError(CXMLSettingsError::Kind::OutOfMemory, "out of memory");
}

bool IsWhitespace(const char* text) {
    for (; *text != '\0'; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r') {
            return false;
        }
    }
    return true;
}

void AppendText(pugi::xml_node parent, const std::string& text) {
    pugi::xml_node node = parent.append_child(pugi::node_pcdata);
    if (!node || !node.set_value(Latin1ToUtf8(text).c_str())) {
        ThrowOutOfMemory();
    }
}

void SetAttributeOf(pugi::xml_node element, const std::string& name, const std::string& value) {
    const std::string utf8Name = Latin1ToUtf8(name);
    pugi::xml_attribute attribute = element.attribute(utf8Name.c_str());
    if (!attribute) {
        attribute = element.append_attribute(utf8Name.c_str());
    }
    if (!attribute || !attribute.set_value(Latin1ToUtf8(value).c_str())) {
        ThrowOutOfMemory();
    }
}

class StringWriter : public pugi::xml_writer {
   public:
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
    std::string text;
};

class PugiDocument final : public SettingsDocument {
   public:
    pugi::xml_document m_document;
    pugi::xml_encoding m_encoding = pugi::encoding_utf8;

    pugi::xpath_node SelectNode(const std::string& path) {
        const std::string utf8 = Latin1ToUtf8(path);
        try {
            return m_document.select_node(utf8.c_str());
        } catch (const pugi::xpath_exception& error) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidPath,
                                    "invalid path \"" + path + "\": " + error.what());
        } catch (const std::bad_alloc&) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::OutOfMemory, "out of memory selecting \"" + path + "\"");
        }
    }

    pugi::xml_node SelectElement(const std::string& path) {
        const pugi::xml_node node = SelectNode(path).node();
        if (node.type() != pugi::node_element) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidPath, "\"" + path + "\" selects no element");
        }
        return node;
    }

    Selected Select(const std::string& path) override {
        const pugi::xpath_node selected = SelectNode(path);
        if (selected.attribute()) {
            return Selected::Attribute;
        }
        if (!selected.node()) {
            return Selected::Nothing;
        }
        return selected.node().type() == pugi::node_element ? Selected::Element : Selected::Other;
    }

    std::size_t Depth(const std::string& path) override {
        std::size_t depth = 0;
        for (pugi::xml_node node = SelectNode(path).node(); node; node = node.parent()) {
            ++depth;
        }
        return depth;
    }

    bool Remove(const std::string& path) override {
        const pugi::xpath_node selected = SelectNode(path);
        if (selected.attribute()) {
            return selected.parent().remove_attribute(selected.attribute());
        }
        const pugi::xml_node node = selected.node();
        pugi::xml_node parent = node.parent();
        if (!node || !parent) {
            return false;
        }
        for (pugi::xml_node next = node.next_sibling();
             next.type() == pugi::node_pcdata && IsWhitespace(next.value()); next = node.next_sibling()) {
            parent.remove_child(next);
        }
        return parent.remove_child(node);
    }

    std::string GetAttribute(const std::string& path, const std::string& name) override {
        const pugi::xml_node node = SelectNode(path).node();
        if (node.type() != pugi::node_element) {
            return {};
        }
        return Utf8ToLatin1(node.attribute(Latin1ToUtf8(name).c_str()).value());
    }

    void SetAttribute(const std::string& path, const std::string& name, const std::string& value) override {
        SetAttributeOf(SelectElement(path), name, value);
    }

    void Append(const std::string& parentPath, const NewElement& element) override {
        pugi::xml_node parent = SelectElement(parentPath);
        AppendText(parent, element.before);
        pugi::xml_node child = parent.append_child(Latin1ToUtf8(element.name).c_str());
        if (!child) {
            ThrowOutOfMemory();
        }
        AppendText(child, element.inside);
        AppendText(parent, element.after);
        for (const auto& [name, value] : element.attributes) {
            SetAttributeOf(child, name, value);
        }
    }

    std::string Serialize() override {
        StringWriter writer;
        for (pugi::xml_node node : m_document.children()) {
            if (node.type() == pugi::node_pcdata) {
                continue;
            }
            node.print(writer, "", pugi::format_raw, m_encoding);
            writer.text.push_back('\n');
        }
        return std::move(writer.text);
    }

    bool StartedComponentRuntime() const override { return true; }
};

}  // namespace

std::unique_ptr<SettingsDocument> SettingsDocument::Load(const std::string& path) {
    auto document = std::unique_ptr<PugiDocument>(new (std::nothrow) PugiDocument);
    if (!document) {
        return nullptr;
    }
    const pugi::xml_parse_result result =
        document->m_document.load_file(path.c_str(), kParseOptions, pugi::encoding_auto);
    if (!result || !document->m_document.document_element()) {
        return nullptr;
    }
    document->m_encoding = result.encoding;
    return document;
}

}  // namespace brevane::settings
