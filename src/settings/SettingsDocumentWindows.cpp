// The settings document on the MSXML 3.0 DOM over COM. MSXML reads the file;
// the bytes written back are made from the DOM by MsxmlWriter (MSXML's own
// save does not keep every implementation's output in the declared
// encoding), the same bytes the pugixml backend writes for the same document.
#include <cstring>
#include <new>
#include <utility>

#include "settings/ComApartment.h"
#include "settings/MsxmlHandles.h"
#include "settings/MsxmlWriter.h"
#include "settings/SettingsDocument.h"
#include "settings/WideText.h"
#include "settings/XMLSettingsAPI.h"

namespace brevane::settings {
namespace {

using msxml::Bstr;
using msxml::ComPtr;
using msxml::NameOf;
using msxml::TextVariant;
using msxml::ThrowOutOfMemory;
using msxml::TypeOf;
using msxml::ValueOf;
using msxml::Variant;

// The registered MSXML 3.0 classes and the document interface.
constexpr GUID kFreeThreadedDocument30 = {0xf5078f33, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr GUID kDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr GUID kIXMLDOMDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

bool IsWhitespace(std::wstring_view text) {
    return text.find_first_not_of(L" \t\n\r") == std::wstring_view::npos;
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

    std::string Serialize() override { return msxml::WriteDocument(m_document.Get()); }

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
