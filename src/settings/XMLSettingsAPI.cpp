#include "settings/XMLSettingsAPI.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>
#include <pugixml.hpp>

#include "settings/AtomicFile.h"
#include "settings/DinaFileBase.h"
#include "settings/Latin1.h"
#include "settings/SettingsDirectory.h"

using brevane::CLockGuard;
using brevane::settings::Latin1ToUtf8;
using brevane::settings::Utf8ToLatin1;

namespace {

// Whitespace text nodes are part of the document: the indentation written
// by CreateNode survives a load and save cycle unchanged.
constexpr unsigned kParseOptions = pugi::parse_full | pugi::parse_ws_pcdata;

// Formats a path into at most kMaxPathLength characters and converts it to
// the document's UTF-8.
std::string FormatPath(const char* format, va_list args) {
    if (format == nullptr) {
        return {};
    }
    char buffer[CXMLSettingsAPI::kMaxPathLength + 1];
    const int length = std::vsnprintf(buffer, sizeof(buffer), format, args);
    if (length < 0) {
        return {};
    }
    return Latin1ToUtf8(buffer);
}

pugi::xpath_node Select(const pugi::xml_document& document, const std::string& path) {
    try {
        return document.select_node(path.c_str());
    } catch (const pugi::xpath_exception& error) {
        throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidPath,
                                "invalid path \"" + path + "\": " + error.what());
    } catch (const std::bad_alloc&) {
        throw CXMLSettingsError(CXMLSettingsError::Kind::OutOfMemory, "out of memory selecting \"" + path + "\"");
    }
}

bool IsNameStart(unsigned char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_' || ch == ':' || ch >= 0x80;
}

bool IsNameChar(unsigned char ch) {
    return IsNameStart(ch) || (ch >= '0' && ch <= '9') || ch == '-' || ch == '.';
}

// An XML name (non-ASCII characters are accepted as name characters).
bool IsValidName(const std::string& name) {
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    for (const char ch : name) {
        if (!IsNameChar(static_cast<unsigned char>(ch))) {
            return false;
        }
    }
    return true;
}

// Position of the last "/" that separates steps, ignoring any inside a
// predicate; npos when there is none.
std::size_t LastStepSeparator(const std::string& path) {
    std::size_t last = std::string::npos;
    int depth = 0;
    char quote = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char ch = path[i];
        if (quote != 0) {
            quote = ch == quote ? 0 : quote;
        } else if ((ch == '"' || ch == '\'') && depth > 0) {
            quote = ch;
        } else if (ch == '[') {
            ++depth;
        } else if (ch == ']' && depth > 0) {
            --depth;
        } else if (ch == '/' && depth == 0) {
            last = i;
        }
    }
    return last;
}

struct Step {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
};

// Parses Name[@a="1"][@b='2']: the element name is the text before the
// first "["; each group gives one attribute, its value in either quotes.
Step ParseStep(const std::string& text) {
    Step step;
    const auto open = text.find('[');
    step.name = text.substr(0, open);
    if (!IsValidName(step.name)) {
        throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidName, "invalid element name \"" + step.name + "\"");
    }
    std::size_t pos = open;
    while (pos != std::string::npos && pos < text.size()) {
        if (text[pos] != '[') {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidPath, "invalid step \"" + text + "\"");
        }
        // The group ends at the first "]" outside the quoted value.
        std::size_t end = pos + 1;
        char open = 0;
        while (end < text.size() && (open != 0 || text[end] != ']')) {
            if (open != 0) {
                open = text[end] == open ? 0 : open;
            } else if (text[end] == '"' || text[end] == '\'') {
                open = text[end];
            }
            ++end;
        }
        if (end >= text.size()) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidPath, "unterminated predicate in \"" + text + "\"");
        }
        const std::string group = text.substr(pos + 1, end - pos - 1);
        const auto equals = group.find('=');
        const char quote = equals != std::string::npos && equals + 1 < group.size() ? group[equals + 1] : '\0';
        const auto lastQuote = quote != '\0' ? group.rfind(quote) : std::string::npos;
        if (group.size() < 4 || group[0] != '@' || equals == std::string::npos || (quote != '"' && quote != '\'') ||
            lastQuote == std::string::npos || lastQuote <= equals + 1) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidPath, "unsupported predicate [" + group + "]");
        }
        std::string attribute = group.substr(1, equals - 1);
        if (!IsValidName(attribute)) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidName, "invalid attribute name \"" + attribute + "\"");
        }
        step.attributes.emplace_back(std::move(attribute), group.substr(equals + 2, lastQuote - equals - 2));
        pos = end + 1;
    }
    return step;
}

bool IsWhitespace(const char* text) {
    for (; *text != '\0'; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r') {
            return false;
        }
    }
    return true;
}

pugi::xml_node AppendText(pugi::xml_node parent, const std::string& text) {
    pugi::xml_node node = parent.append_child(pugi::node_pcdata);
    if (!node || !node.set_value(text.c_str())) {
        throw CXMLSettingsError(CXMLSettingsError::Kind::OutOfMemory, "out of memory");
    }
    return node;
}

class StringWriter : public pugi::xml_writer {
   public:
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
    std::string text;
};

// The document as file text: each top-level node (declaration, root, ...) on
// a line of its own, everything inside the root exactly as it stands.
std::string Serialize(const pugi::xml_document& document, pugi::xml_encoding encoding) {
    StringWriter writer;
    for (pugi::xml_node node : document.children()) {
        if (node.type() == pugi::node_pcdata) {
            continue;
        }
        node.print(writer, "", pugi::format_raw, encoding);
        writer.text.push_back('\n');
    }
    return std::move(writer.text);
}

void WriteOrThrow(const std::string& path, const std::string& text) {
    std::string error;
    if (!brevane::settings::WriteFileAtomically(path, text, &error)) {
        throw CXMLSettingsError(CXMLSettingsError::Kind::WriteFailed, error);
    }
}

}  // namespace

CXMLSettingsAPI::CXMLSettingsAPI() = default;

CXMLSettingsAPI::~CXMLSettingsAPI() {
    Close();
}

std::int32_t CXMLSettingsAPI::Open(const char* fileName) {
    CLockGuard openGuard(m_openLock);
    if (m_openCount != 0) {
        ++m_openCount;
        return kOk;
    }
    m_comInitialized = 1;
    if (fileName == nullptr || *fileName == '\0') {
        return kFail;
    }
    const std::string path = brevane::settings::SettingsFilePath(fileName);
    {
        CDinaFileBase file;
        if (!file.Open(path.c_str()) || file.GetSize() == 0) {
            return kFail;
        }
    }
    auto document = std::unique_ptr<pugi::xml_document>(new (std::nothrow) pugi::xml_document);
    if (!document) {
        return kFail;
    }
    const pugi::xml_parse_result result = document->load_file(path.c_str(), kParseOptions, pugi::encoding_auto);
    if (!result || !document->document_element()) {
        return kFail;
    }
    CLockGuard documentGuard(m_documentLock);
    m_filePath = path;
    m_encoding = result.encoding;
    m_document = std::move(document);
    m_openCount = 1;
    return kOk;
}

std::int32_t CXMLSettingsAPI::Close() {
    CLockGuard openGuard(m_openLock);
    if (m_openCount != 0) {
        --m_openCount;
        if (m_openCount == 0) {
            CLockGuard documentGuard(m_documentLock);
            m_document.reset();
            // The runtime flag needs no undoing here.
        }
    }
    return m_openCount;
}

bool CXMLSettingsAPI::Save() {
    return WithDocument(false, [&](pugi::xml_document& document) {
        WriteOrThrow(m_filePath, Serialize(document, static_cast<pugi::xml_encoding>(m_encoding)));
        return true;
    });
}

std::int32_t CXMLSettingsAPI::CreateDocument(const char* rootName, const char* fileName, bool /*initializeCom*/) {
    const std::string root = rootName != nullptr ? Latin1ToUtf8(rootName) : std::string();
    if (!IsValidName(root)) {
        throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidName, "invalid root element name \"" + root + "\"");
    }
    if (fileName == nullptr || *fileName == '\0') {
        throw CXMLSettingsError(CXMLSettingsError::Kind::WriteFailed, "no file name");
    }
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "iso-8859-1";
    document.append_child(root.c_str());
    WriteOrThrow(brevane::settings::SettingsFilePath(fileName), Serialize(document, pugi::encoding_latin1));
    return 1;
}

bool CXMLSettingsAPI::NodeExists(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    return WithDocument(false, [&](pugi::xml_document& document) { return static_cast<bool>(Select(document, path)); });
}

bool CXMLSettingsAPI::RemoveNode(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    return WithDocument(false, [&](pugi::xml_document& document) { return RemoveSelected(Select(document, path)); });
}

bool CXMLSettingsAPI::RemoveSelected(const pugi::xpath_node& selected) {
    if (selected.attribute()) {
        return selected.parent().remove_attribute(selected.attribute());
    }
    const pugi::xml_node node = selected.node();
    pugi::xml_node parent = node.parent();
    if (!node || !parent) {
        return false;
    }
    // The line break that followed the element goes with it, so removing and
    // re-creating an element again and again does not grow the file.
    const pugi::xml_node next = node.next_sibling();
    if (next.type() == pugi::node_pcdata && IsWhitespace(next.value())) {
        parent.remove_child(next);
    }
    return parent.remove_child(node);
}

std::string CXMLSettingsAPI::GetString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    return WithDocument(std::string(), [&](pugi::xml_document& document) {
        const pugi::xml_node node = Select(document, path).node();
        return node.type() == pugi::node_element ? Utf8ToLatin1(node.attribute("value").value()) : std::string();
    });
}

bool CXMLSettingsAPI::SetString(const char* value, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    return WithDocument(false, [&](pugi::xml_document& document) {
        pugi::xpath_node selected = Select(document, path);
        if (!selected) {
            if (!CreateNodeLocked(path)) {
                return false;
            }
            selected = Select(document, path);
            if (!selected) {
                return false;  // the predicates of the path do not match what was created
            }
        }
        if (selected.node().type() != pugi::node_element) {
            throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidPath, "\"" + path + "\" selects no element");
        }
        SetValueAttribute(selected.node(), Latin1ToUtf8(value != nullptr ? value : ""));
        return true;
    });
}

bool CXMLSettingsAPI::CreateNode(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    return WithDocument(false, [&](pugi::xml_document&) { return CreateNodeLocked(path); });
}

bool CXMLSettingsAPI::CreateNodeLocked(const std::string& path) {
    try {
        if (Select(*m_document, path)) {
            return true;
        }
    } catch (const CXMLSettingsError&) {
        // An expression that does not parse selects nothing; the steps below
        // decide whether it can be built.
    }
    const std::size_t separator = LastStepSeparator(path);
    if (separator == std::string::npos || separator == 0) {
        return false;  // no parent below the document: the root is never created here
    }
    const std::string parentPath = path.substr(0, separator);
    pugi::xml_node parent = Select(*m_document, parentPath).node();
    if (!parent) {
        if (!CreateNodeLocked(parentPath)) {
            return false;
        }
        parent = Select(*m_document, parentPath).node();
    }
    if (parent.type() != pugi::node_element) {
        return false;
    }
    const Step step = ParseStep(path.substr(separator + 1));

    // d counts the nodes from the parent up to the document, both included:
    // 2 below the root element, one more per level.
    std::size_t d = 0;
    for (pugi::xml_node node = parent; node; node = node.parent()) {
        ++d;
    }
    const std::string parentIndent(d - 2, '\t');
    AppendText(parent, parentIndent);
    pugi::xml_node element = parent.append_child(step.name.c_str());
    if (!element) {
        throw CXMLSettingsError(CXMLSettingsError::Kind::OutOfMemory, "out of memory");
    }
    AppendText(element, "\n" + std::string(d - 1, '\t'));
    AppendText(parent, "\n" + parentIndent);
    for (const auto& [name, value] : step.attributes) {
        pugi::xml_attribute attribute = element.attribute(name.c_str());
        if (!attribute) {
            attribute = element.append_attribute(name.c_str());
        }
        attribute.set_value(value.c_str());
    }
    return true;
}

void CXMLSettingsAPI::SetValueAttribute(pugi::xml_node element, const std::string& utf8Value) {
    pugi::xml_attribute attribute = element.attribute("value");
    if (!attribute) {
        attribute = element.append_attribute("value");
    }
    if (!attribute || !attribute.set_value(utf8Value.c_str())) {
        throw CXMLSettingsError(CXMLSettingsError::Kind::OutOfMemory, "out of memory");
    }
}

std::int32_t CXMLSettingsAPI::OpenCount() const {
    CLockGuard guard(m_openLock);
    return m_openCount;
}

bool CXMLSettingsAPI::ComInitialized() const {
    CLockGuard guard(m_openLock);
    return m_comInitialized != 0;
}

std::string CXMLSettingsAPI::FilePath() const {
    CLockGuard guard(m_documentLock);
    return m_filePath;
}
