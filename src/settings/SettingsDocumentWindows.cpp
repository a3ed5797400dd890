// The settings document on the MSXML 3.0 DOM over COM. MSXML reads the file;
// the bytes written back are made here from the DOM (MSXML's own save does
// not keep every implementation's output in the declared encoding), the
// same bytes the pugixml backend writes for the same document.
#include <windows.h>
#include <ole2.h>
#include <msxml2.h>

#include <cstring>
#include <new>
#include <utility>

#include "settings/ComApartment.h"
#include "settings/SettingsDocument.h"
#include "settings/WideText.h"
#include "settings/XMLSettingsAPI.h"

namespace brevane::settings {
namespace {

// The registered MSXML 3.0 classes and the document interface.
constexpr GUID kFreeThreadedDocument30 = {0xf5078f33, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr GUID kDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr GUID kIXMLDOMDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

[[noreturn]] void ThrowOutOfMemory() {
    throw CXMLSettingsError(CXMLSettingsError::Kind::OutOfMemory, "out of memory");
}

// Owns one reference of a COM interface.
template <class T>
class ComPtr {
   public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For an out-parameter: releases what is held first.
    T** Out() {
        Reset();
        return &m_p;
    }
    void Reset() {
        if (m_p != nullptr) {
            m_p->Release();
            m_p = nullptr;
        }
    }

   private:
    T* m_p = nullptr;
};

// Owns one BSTR.
class Bstr {
   public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text) : m_b(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (m_b == nullptr) {
            ThrowOutOfMemory();
        }
    }
    ~Bstr() { ::SysFreeString(m_b); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const { return m_b; }
    BSTR* Out() {
        ::SysFreeString(m_b);
        m_b = nullptr;
        return &m_b;
    }
    std::wstring_view View() const { return m_b != nullptr ? std::wstring_view(m_b, ::SysStringLen(m_b)) : L""; }

   private:
    BSTR m_b = nullptr;
};

// Owns one VARIANT.
class Variant {
   public:
    Variant() { ::VariantInit(&m_v); }
    ~Variant() { ::VariantClear(&m_v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& Get() { return m_v; }
    // The text of a VT_BSTR value; empty for anything else.
    std::wstring_view Text() const {
        return m_v.vt == VT_BSTR && m_v.bstrVal != nullptr ? std::wstring_view(m_v.bstrVal, ::SysStringLen(m_v.bstrVal))
                                                           : L"";
    }

   private:
    VARIANT m_v;
};

// A VT_BSTR variant holding a copy of text.
class TextVariant : public Variant {
   public:
    explicit TextVariant(std::wstring_view text) {
        Get().vt = VT_BSTR;
        Get().bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (Get().bstrVal == nullptr) {
            ThrowOutOfMemory();
        }
    }
};

DOMNodeType TypeOf(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    return SUCCEEDED(node->get_nodeType(&type)) ? type : NODE_INVALID;
}

std::wstring NameOf(IXMLDOMNode* node) {
    Bstr name;
    node->get_nodeName(name.Out());
    return std::wstring(name.View());
}

std::wstring ValueOf(IXMLDOMNode* node) {
    Variant value;
    node->get_nodeValue(&value.Get());
    return std::wstring(value.Text());
}

bool IsWhitespace(std::wstring_view text) {
    return text.find_first_not_of(L" \t\n\r") == std::wstring_view::npos;
}

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

class MsxmlDocument final : public SettingsDocument {
   public:
    // Declared first: released last, after every COM reference.
    ComApartment m_apartment;
    ComPtr<IXMLDOMDocument2> m_document;

    bool Create() {
        if (!m_apartment.Usable()) {
            return false;
        }
        // The free-threaded document may be used by every thread of the
        // object; where the platform hands out no document interface on it,
        // the apartment-model one, used under the owner's lock, will do.
        void** out = reinterpret_cast<void**>(m_document.Out());
        if (FAILED(::CoCreateInstance(kFreeThreadedDocument30, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument2, out)) &&
            FAILED(::CoCreateInstance(kDocument30, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument2,
                                      reinterpret_cast<void**>(m_document.Out())))) {
            return false;
        }
        TextVariant xpath(L"XPath");
        return SUCCEEDED(m_document->put_async(VARIANT_FALSE)) &&
               SUCCEEDED(m_document->put_preserveWhiteSpace(VARIANT_TRUE)) &&
               SUCCEEDED(m_document->setProperty(Bstr(L"SelectionLanguage").Get(), xpath.Get()));
    }

    // Loads from the file's bytes, so MSXML reads the encoding from the
    // declaration and no path is taken for a URL.
    bool LoadBytes(const std::string& bytes) {
        Variant source;
        SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        if (array == nullptr) {
            return false;
        }
        source.Get().vt = VT_ARRAY | VT_UI1;
        source.Get().parray = array;
        void* data = nullptr;
        if (FAILED(::SafeArrayAccessData(array, &data))) {
            return false;
        }
        std::memcpy(data, bytes.data(), bytes.size());
        ::SafeArrayUnaccessData(array);
        VARIANT_BOOL loaded = VARIANT_FALSE;
        if (FAILED(m_document->load(source.Get(), &loaded)) || loaded != VARIANT_TRUE) {
            return false;
        }
        ComPtr<IXMLDOMElement> root;
        return SUCCEEDED(m_document->get_documentElement(root.Out())) && root;
    }

    ComPtr<IXMLDOMNode> SelectNode(const std::string& path) {
        ComPtr<IXMLDOMNode> node;
        const HRESULT result = m_document->selectSingleNode(Bstr(TextToWide(path)).Get(), node.Out());
        if (result == E_OUTOFMEMORY) {
            ThrowOutOfMemory();
        }
        if (FAILED(result)) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidPath, "invalid path \"" + path + "\"");
        }
        return node;
    }

    ComPtr<IXMLDOMNode> SelectElement(const std::string& path) {
        ComPtr<IXMLDOMNode> node = SelectNode(path);
        if (!node || TypeOf(node.Get()) != NODE_ELEMENT) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidPath, "\"" + path + "\" selects no element");
        }
        return node;
    }

    void AppendChild(IXMLDOMNode* parent, IXMLDOMNode* child) {
        ComPtr<IXMLDOMNode> appended;
        const HRESULT result = parent->appendChild(child, appended.Out());
        if (FAILED(result)) {
            throw CXMLSettingsError(result == E_OUTOFMEMORY ? CXMLSettingsError::Kind::OutOfMemory
                                                            : CXMLSettingsError::Kind::InvalidPath,
                                    "cannot append a node");
        }
    }

    void AppendText(IXMLDOMNode* parent, const std::string& text) {
        ComPtr<IXMLDOMText> node;
        if (FAILED(m_document->createTextNode(Bstr(TextToWide(text)).Get(), node.Out()))) {
            ThrowOutOfMemory();
        }
        AppendChild(parent, node.Get());
    }

    void SetAttributeOf(IXMLDOMNode* element, const std::string& name, const std::string& value) {
        ComPtr<IXMLDOMNamedNodeMap> attributes;
        if (FAILED(element->get_attributes(attributes.Out())) || !attributes) {
            ThrowOutOfMemory();
        }
        const Bstr wideName(TextToWide(name));
        TextVariant wideValue(TextToWide(value));
        ComPtr<IXMLDOMNode> existing;
        if (attributes->getNamedItem(wideName.Get(), existing.Out()) == S_OK && existing) {
            if (FAILED(existing->put_nodeValue(wideValue.Get()))) {
                ThrowOutOfMemory();
            }
            return;
        }
        ComPtr<IXMLDOMAttribute> attribute;
        if (FAILED(m_document->createAttribute(wideName.Get(), attribute.Out()))) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidName, "invalid attribute name \"" + name + "\"");
        }
        ComPtr<IXMLDOMNode> added;
        if (FAILED(attribute->put_nodeValue(wideValue.Get())) ||
            FAILED(attributes->setNamedItem(attribute.Get(), added.Out()))) {
            ThrowOutOfMemory();
        }
    }

    Selected Select(const std::string& path) override {
        const ComPtr<IXMLDOMNode> node = SelectNode(path);
        if (!node) {
            return Selected::Nothing;
        }
        switch (TypeOf(node.Get())) {
            case NODE_ELEMENT:
                return Selected::Element;
            case NODE_ATTRIBUTE:
                return Selected::Attribute;
            default:
                return Selected::Other;
        }
    }

    std::size_t Depth(const std::string& path) override {
        std::size_t depth = 0;
        for (ComPtr<IXMLDOMNode> node = SelectNode(path); node;) {
            ++depth;
            ComPtr<IXMLDOMNode> parent;
            node->get_parentNode(parent.Out());
            node = std::move(parent);
        }
        return depth;
    }

    bool Remove(const std::string& path) override {
        const ComPtr<IXMLDOMNode> node = SelectNode(path);
        if (!node) {
            return false;
        }
        if (TypeOf(node.Get()) == NODE_ATTRIBUTE) {
            // An attribute has no parent node; ".." from it is its element.
            ComPtr<IXMLDOMNode> owner;
            ComPtr<IXMLDOMNamedNodeMap> attributes;
            ComPtr<IXMLDOMNode> removed;
            return node->selectSingleNode(Bstr(L"..").Get(), owner.Out()) == S_OK && owner &&
                   SUCCEEDED(owner->get_attributes(attributes.Out())) && attributes &&
                   attributes->removeNamedItem(Bstr(NameOf(node.Get())).Get(), removed.Out()) == S_OK;
        }
        ComPtr<IXMLDOMNode> parent;
        if (node->get_parentNode(parent.Out()) != S_OK || !parent) {
            return false;
        }
        ComPtr<IXMLDOMNode> next;
        ComPtr<IXMLDOMNode> removed;
        while (node->get_nextSibling(next.Out()) == S_OK && next && TypeOf(next.Get()) == NODE_TEXT &&
               IsWhitespace(ValueOf(next.Get())) && SUCCEEDED(parent->removeChild(next.Get(), removed.Out()))) {
        }
        return SUCCEEDED(parent->removeChild(node.Get(), removed.Out()));
    }

    std::string GetAttribute(const std::string& path, const std::string& name) override {
        const ComPtr<IXMLDOMNode> node = SelectNode(path);
        ComPtr<IXMLDOMNamedNodeMap> attributes;
        ComPtr<IXMLDOMNode> attribute;
        if (!node || TypeOf(node.Get()) != NODE_ELEMENT || FAILED(node->get_attributes(attributes.Out())) ||
            !attributes || attributes->getNamedItem(Bstr(TextToWide(name)).Get(), attribute.Out()) != S_OK ||
            !attribute) {
            return {};
        }
        return WideToText(ValueOf(attribute.Get()));
    }

    void SetAttribute(const std::string& path, const std::string& name, const std::string& value) override {
        SetAttributeOf(SelectElement(path).Get(), name, value);
    }

    void Append(const std::string& parentPath, const NewElement& element) override {
        const ComPtr<IXMLDOMNode> parent = SelectElement(parentPath);
        ComPtr<IXMLDOMElement> child;
        if (FAILED(m_document->createElement(Bstr(TextToWide(element.name)).Get(), child.Out())) || !child) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidName,
                                    "invalid element name \"" + element.name + "\"");
        }
        AppendText(parent.Get(), element.before);
        AppendText(child.Get(), element.inside);
        AppendChild(parent.Get(), child.Get());
        AppendText(parent.Get(), element.after);
        for (const auto& [name, value] : element.attributes) {
            SetAttributeOf(child.Get(), name, value);
        }
    }

    std::string Serialize() override {
        // The declaration, when there is one, is the document's first child.
        XmlWriter::Charset charset = XmlWriter::Charset::Utf8;
        ComPtr<IXMLDOMNode> first;
        if (m_document->get_firstChild(first.Out()) == S_OK && first &&
            TypeOf(first.Get()) == NODE_PROCESSING_INSTRUCTION && NameOf(first.Get()) == L"xml") {
            charset = CharsetOf(ValueOf(first.Get()));
        }
        XmlWriter writer(charset);
        writer.Document(m_document.Get());
        return writer.Take();
    }

    bool StartedComponentRuntime() const override { return m_apartment.Started(); }
};

bool ReadFileBytes(const std::string& path, std::string& bytes) {
    const HANDLE file = ::CreateFileW(PathToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = ::GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0x40000000;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        ok = ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
    }
    ::CloseHandle(file);
    return ok;
}

}  // namespace

std::unique_ptr<SettingsDocument> SettingsDocument::Load(const std::string& path) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) {
        return nullptr;
    }
    auto document = std::unique_ptr<MsxmlDocument>(new (std::nothrow) MsxmlDocument);
    if (!document || !document->Create() || !document->LoadBytes(bytes)) {
        return nullptr;
    }
    return document;
}

}  // namespace brevane::settings
