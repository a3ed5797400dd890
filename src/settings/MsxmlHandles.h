// Owners of MSXML's COM values (an interface reference, a BSTR, a VARIANT)
// and the node accessors the settings document and its writer share.
// Windows only.
//
// Each owner belongs to the function or object that holds it and is used on
// the thread that holds it; the accessors are stateless.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <msxml2.h>

#include <string>
#include <string_view>
#include <utility>

#include "settings/XMLSettingsAPI.h"

namespace brevane::settings::msxml {

[[noreturn]] inline void ThrowOutOfMemory() {
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

inline DOMNodeType TypeOf(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    return SUCCEEDED(node->get_nodeType(&type)) ? type : NODE_INVALID;
}

inline std::wstring NameOf(IXMLDOMNode* node) {
    Bstr name;
    node->get_nodeName(name.Out());
    return std::wstring(name.View());
}

inline std::wstring ValueOf(IXMLDOMNode* node) {
    Variant value;
    node->get_nodeValue(&value.Get());
    return std::wstring(value.Text());
}

}  // namespace brevane::settings::msxml
