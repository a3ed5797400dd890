// The settings file's bytes from an MSXML document (see MsxmlWriter.h).
#include "settings/MsxmlWriter.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brevane::settings::msxml {
namespace {

// Writes a document as file bytes the way pugixml does with raw formatting:
// the same escapes (attribute values: & < " and control characters; text:
// & < > and control characters other than tab and line ends, all control
// characters as two-digit references), empty elements as <name/>. A
// character the file's encoding cannot hold becomes a character reference
// where XML allows one and '?' elsewhere.
class XmlWriter {
   public:
    enum class Charset { Utf8, Latin1, Ascii };

    explicit XmlWriter(Charset charset) : m_charset(charset) {}

    void Document(IXMLDOMNode* document) {
        ComPtr<IXMLDOMNode> child;
        for (document->get_firstChild(child.Out()); child;) {
            if (TypeOf(child.Get()) != NODE_TEXT) {
                Node(child.Get());
                m_out.push_back('\n');
            }
            ComPtr<IXMLDOMNode> next;
            child->get_nextSibling(next.Out());
            child = std::move(next);
        }
    }

    std::string Take() { return std::move(m_out); }

   private:
    enum class Context { Raw, Text, Attribute };

    void Node(IXMLDOMNode* node) {
        switch (TypeOf(node)) {
            case NODE_ELEMENT:
                Element(node);
                break;
            case NODE_TEXT:
                Write(ValueOf(node), Context::Text);
                break;
            case NODE_CDATA_SECTION: {
                // "]]>" cannot stand inside a section: it is split in two.
                std::wstring text = ValueOf(node);
                for (std::size_t at = 0; (at = text.find(L"]]>", at)) != std::wstring::npos; at += 15) {
                    text.replace(at, 3, L"]]]]><![CDATA[>");
                }
                m_out += "<![CDATA[";
                Write(text, Context::Raw);
                m_out += "]]>";
                break;
            }
            case NODE_COMMENT:
                m_out += "<!--";
                Write(ValueOf(node), Context::Raw);
                m_out += "-->";
                break;
            case NODE_PROCESSING_INSTRUCTION:
                ProcessingInstruction(node);
                break;
            case NODE_ENTITY_REFERENCE:
                m_out.push_back('&');
                Write(NameOf(node), Context::Raw);
                m_out.push_back(';');
                break;
            case NODE_DOCUMENT_TYPE: {
                Bstr xml;
                node->get_xml(xml.Out());
                Write(xml.View(), Context::Raw);
                break;
            }
            default:
                break;
        }
    }

    void Element(IXMLDOMNode* element) {
        const std::wstring name = NameOf(element);
        m_out.push_back('<');
        Write(name, Context::Raw);
        ComPtr<IXMLDOMNamedNodeMap> attributes;
        long count = 0;
        if (SUCCEEDED(element->get_attributes(attributes.Out())) && attributes &&
            SUCCEEDED(attributes->get_length(&count))) {
            for (long i = 0; i < count; ++i) {
                ComPtr<IXMLDOMNode> attribute;
                if (SUCCEEDED(attributes->get_item(i, attribute.Out())) && attribute) {
                    Attribute(NameOf(attribute.Get()), ValueOf(attribute.Get()));
                }
            }
        }
        ComPtr<IXMLDOMNode> child;
        element->get_firstChild(child.Out());
        if (!child) {
            m_out += "/>";
            return;
        }
        m_out.push_back('>');
        while (child) {
            Node(child.Get());
            ComPtr<IXMLDOMNode> next;
            child->get_nextSibling(next.Out());
            child = std::move(next);
        }
        m_out += "</";
        Write(name, Context::Raw);
        m_out.push_back('>');
    }

    void Attribute(std::wstring_view name, std::wstring_view value) {
        m_out.push_back(' ');
        Write(name, Context::Raw);
        m_out += "=\"";
        Write(value, Context::Attribute);
        m_out.push_back('"');
    }

    // The declaration is written from its pseudo-attributes, each in double
    // quotes; any other instruction as it stands.
    void ProcessingInstruction(IXMLDOMNode* node) {
        const std::wstring target = NameOf(node);
        const std::wstring data = ValueOf(node);
        m_out += "<?";
        Write(target, Context::Raw);
        if (target == L"xml") {
            for (const auto& [name, value] : PseudoAttributes(data)) {
                Attribute(name, value);
            }
        } else if (!data.empty()) {
            m_out.push_back(' ');
            Write(data, Context::Raw);
        }
        m_out += "?>";
    }

    void Write(std::wstring_view text, Context context) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            char32_t ch = text[i];
            if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                ch = 0x10000 + ((ch - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            }
            Character(ch, context);
        }
    }

    void Character(char32_t ch, Context context) {
        if (context != Context::Raw) {
            const char* escape = Escape(ch, context);
            if (escape != nullptr) {
                m_out += escape;
                return;
            }
            if (ch < 32 && (context == Context::Attribute || (ch != '\t' && ch != '\n' && ch != '\r'))) {
                m_out += "&#";
                m_out.push_back(static_cast<char>('0' + ch / 10));
                m_out.push_back(static_cast<char>('0' + ch % 10));
                m_out.push_back(';');
                return;
            }
        }
        const char32_t limit = m_charset == Charset::Utf8 ? 0x10FFFF : m_charset == Charset::Latin1 ? 0xFF : 0x7F;
        if (ch > limit) {
            m_out += context == Context::Raw ? "?" : "&#" + std::to_string(static_cast<unsigned long>(ch)) + ";";
        } else if (ch < 0x80 || m_charset != Charset::Utf8) {
            m_out.push_back(static_cast<char>(ch));
        } else if (ch < 0x800) {
            m_out.push_back(static_cast<char>(0xC0 | (ch >> 6)));
            m_out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
        } else if (ch < 0x10000) {
            m_out.push_back(static_cast<char>(0xE0 | (ch >> 12)));
            m_out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
            m_out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
        } else {
            m_out.push_back(static_cast<char>(0xF0 | (ch >> 18)));
            m_out.push_back(static_cast<char>(0x80 | ((ch >> 12) & 0x3F)));
            m_out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
            m_out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
        }
    }

    static const char* Escape(char32_t ch, Context context) {
        switch (ch) {
            case '&':
                return "&amp;";
            case '<':
                return "&lt;";
            case '>':
                return context == Context::Text ? "&gt;" : nullptr;
            case '"':
                return context == Context::Attribute ? "&quot;" : nullptr;
            default:
                return nullptr;
        }
    }

   public:
    // name="value" pairs of a declaration, in either quotes.
    static std::vector<std::pair<std::wstring, std::wstring>> PseudoAttributes(std::wstring_view data) {
        std::vector<std::pair<std::wstring, std::wstring>> pairs;
        std::size_t pos = 0;
        while (true) {
            const std::size_t nameStart = data.find_first_not_of(L" \t\r\n", pos);
            const std::size_t equals = data.find(L'=', nameStart);
            if (nameStart == std::wstring_view::npos || equals == std::wstring_view::npos) {
                return pairs;
            }
            const std::size_t quoteAt = data.find_first_of(L"\"'", equals);
            if (quoteAt == std::wstring_view::npos) {
                return pairs;
            }
            const std::size_t close = data.find(data[quoteAt], quoteAt + 1);
            if (close == std::wstring_view::npos) {
                return pairs;
            }
            std::wstring_view name = data.substr(nameStart, equals - nameStart);
            name = name.substr(0, name.find_last_not_of(L" \t\r\n") + 1);
            pairs.emplace_back(name, data.substr(quoteAt + 1, close - quoteAt - 1));
            pos = close + 1;
        }
    }

   private:
    Charset m_charset;
    std::string m_out;
};

// The charset the declaration's encoding names: UTF-8 without one; ASCII
// with character references for any encoding not known here (right for
// every encoding that extends ASCII).
XmlWriter::Charset CharsetOf(std::wstring_view declaration) {
    std::wstring encoding;
    for (const auto& [name, value] : XmlWriter::PseudoAttributes(declaration)) {
        if (name == L"encoding") {
            for (const wchar_t ch : value) {
                encoding.push_back(ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch - L'A' + L'a') : ch);
            }
        }
    }
    if (encoding.empty() || encoding == L"utf-8" || encoding == L"utf8") {
        return XmlWriter::Charset::Utf8;
    }
    if (encoding == L"iso-8859-1" || encoding == L"iso_8859-1" || encoding == L"latin1" || encoding == L"l1" ||
        encoding == L"iso8859-1" || encoding == L"iso-ir-100" || encoding == L"cp819" || encoding == L"ibm819") {
        return XmlWriter::Charset::Latin1;
    }
    return XmlWriter::Charset::Ascii;
}

}  // namespace

std::string WriteDocument(IXMLDOMNode* document) {
    // The declaration, when there is one, is the document's first child.
    XmlWriter::Charset charset = XmlWriter::Charset::Utf8;
    ComPtr<IXMLDOMNode> first;
    if (document->get_firstChild(first.Out()) == S_OK && first && TypeOf(first.Get()) == NODE_PROCESSING_INSTRUCTION &&
        NameOf(first.Get()) == L"xml") {
        charset = CharsetOf(ValueOf(first.Get()));
    }
    XmlWriter writer(charset);
    writer.Document(document);
    return writer.Take();
}

}  // namespace brevane::settings::msxml
