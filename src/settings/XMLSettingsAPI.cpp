#include "settings/XMLSettingsAPI.h"

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

#include "settings/AtomicFile.h"
#include "settings/DinaFileBase.h"
#include "settings/SettingsDocument.h"
#include "settings/SettingsDirectory.h"

using brevane::CLockGuard;
using brevane::settings::SettingsDocument;

namespace {

// Formats a path into at most kMaxPathLength characters.
std::string FormatPath(const char* format, va_list args) {
    if (format == nullptr) {
        return {};
    }
    char buffer[CXMLSettingsAPI::kMaxPathLength + 1];
    const int length = std::vsnprintf(buffer, sizeof(buffer), format, args);
    if (length < 0) {
        return {};
    }
    return buffer;
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
    std::unique_ptr<SettingsDocument> document = SettingsDocument::Load(path);
    if (!document) {
        return kFail;
    }
    m_comInitialized = document->StartedComponentRuntime() ? 1 : 0;
    CLockGuard documentGuard(m_documentLock);
    m_filePath = path;
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
        }
    }
    return m_openCount;
}

bool CXMLSettingsAPI::Save() {
    return WithDocument(false, [&](SettingsDocument& document) REQUIRES(m_documentLock) {
        WriteOrThrow(m_filePath, document.Serialize());
        return true;
    });
}

std::int32_t CXMLSettingsAPI::CreateDocument(const char* rootName, const char* fileName) {
    const std::string root = rootName != nullptr ? rootName : "";
    if (!IsValidName(root)) {
        throw CXMLSettingsError(CXMLSettingsError::Kind::InvalidName, "invalid root element name \"" + root + "\"");
    }
    if (fileName == nullptr || *fileName == '\0') {
        throw CXMLSettingsError(CXMLSettingsError::Kind::WriteFailed, "no file name");
    }
    // The name is ISO-8859-1 text already, as the file is: no document is
    // needed to write it.
    WriteOrThrow(brevane::settings::SettingsFilePath(fileName),
                 "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<" + root + "/>\n");
    return 1;
}

bool CXMLSettingsAPI::NodeExists(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    return WithDocument(false, [&](SettingsDocument& document) {
        return document.Select(path) != SettingsDocument::Selected::Nothing;
    });
}

bool CXMLSettingsAPI::RemoveNode(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    // The line break that followed a removed element goes with it, so
    // removing and re-creating an element again and again does not grow the
    // file.
    return WithDocument(false, [&](SettingsDocument& document) { return document.Remove(path); });
}

std::string CXMLSettingsAPI::GetString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    return WithDocument(std::string(),
                        [&](SettingsDocument& document) { return document.GetAttribute(path, "value"); });
}

bool CXMLSettingsAPI::SetString(const char* value, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    return WithDocument(false, [&](SettingsDocument& document) REQUIRES(m_documentLock) {
        if (document.Select(path) == SettingsDocument::Selected::Nothing) {
            if (!CreateNodeLocked(path)) {
                return false;
            }
            if (document.Select(path) == SettingsDocument::Selected::Nothing) {
                return false;  // the predicates of the path do not match what was created
            }
        }
        document.SetAttribute(path, "value", value != nullptr ? value : "");
        return true;
    });
}

bool CXMLSettingsAPI::CreateNode(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string path = FormatPath(format, args);
    va_end(args);
    return WithDocument(false,
                        [&](SettingsDocument&) REQUIRES(m_documentLock) { return CreateNodeLocked(path); });
}

bool CXMLSettingsAPI::CreateNodeLocked(const std::string& path) {
    SettingsDocument& document = *m_document;
    try {
        if (document.Select(path) != SettingsDocument::Selected::Nothing) {
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
    SettingsDocument::Selected parent = document.Select(parentPath);
    if (parent == SettingsDocument::Selected::Nothing) {
        if (!CreateNodeLocked(parentPath)) {
            return false;
        }
        parent = document.Select(parentPath);
    }
    if (parent != SettingsDocument::Selected::Element) {
        return false;
    }
    Step step = ParseStep(path.substr(separator + 1));

    // d counts the nodes from the parent up to the document, both included:
    // 2 below the root element, one more per level.
    const std::size_t d = document.Depth(parentPath);
    SettingsDocument::NewElement element;
    element.before.assign(d - 2, '\t');
    element.name = std::move(step.name);
    element.attributes = std::move(step.attributes);
    element.inside.assign(1, '\n').append(d - 1, '\t');
    element.after.assign(1, '\n').append(element.before);
    document.Append(parentPath, element);
    return true;
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
