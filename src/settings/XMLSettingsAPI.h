// CXMLSettingsAPI: one XML settings document in memory, read and changed
// through path expressions. Every value lives in the attribute "value" of
// the element a path selects; missing elements are created on demand,
// indented with tab and line-feed text nodes. The document is loaded from and
// saved to a file of the settings directory (see SettingsDirectory.h) in the
// encoding its declaration names (ISO-8859-1 for documents made here).
//
// Text crossing this interface (values, paths, names) is 8-bit ISO-8859-1.
// The document itself is one backend per platform (SettingsDocument.h).
//
// Owned by one user (the preset file reader). Any thread may call: opening
// and closing are serialised by m_openLock, document access by
// m_documentLock; both are recursive. On Windows the opening thread joins
// COM for the document's lifetime (see ComApartment.h). Failures of the document itself (an
// invalid path expression, an invalid element name, a file that cannot be
// written) are thrown as CXMLSettingsError; the operations on a closed object
// return false or empty text instead.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/PrintfFormat.h"
#include "thread/RecursiveLock.h"

namespace brevane::settings {
class SettingsDocument;
}

// The failure of a document operation.
class CXMLSettingsError : public std::runtime_error {
   public:
    enum class Kind {
        InvalidPath,   // the path expression does not parse or selects no element
        InvalidName,   // an element or attribute name is not a valid XML name
        WriteFailed,   // the document could not be written to its file
        OutOfMemory,
    };

    CXMLSettingsError(Kind kind, const std::string& what) : std::runtime_error(what), m_kind(kind) {}
    Kind GetKind() const { return m_kind; }

   private:
    Kind m_kind;
};

class CXMLSettingsAPI {
   public:
    // Results of Open.
    static constexpr std::int32_t kOk = 0;
    static constexpr std::int32_t kFail = static_cast<std::int32_t>(0x80004005u);
    // Longest formatted path; longer results are cut.
    static constexpr std::size_t kMaxPathLength = 1023;

    CXMLSettingsAPI();
    virtual ~CXMLSettingsAPI();
    CXMLSettingsAPI(const CXMLSettingsAPI&) = delete;
    CXMLSettingsAPI& operator=(const CXMLSettingsAPI&) = delete;

    // Loads fileName (relative to the settings directory) on the first call;
    // later calls only count and share that document. kOk, or kFail when the
    // file is missing, empty or not well-formed XML.
    std::int32_t Open(const char* fileName);
    // Undoes one Open; the last one releases the document. Returns the
    // remaining open count.
    std::int32_t Close();
    // Writes the document to its file, replacing the file atomically. False
    // when closed; throws CXMLSettingsError when the file cannot be written
    // (the previous file is then untouched).
    bool Save();

    // Writes a new file holding an XML declaration for ISO-8859-1 and one
    // empty root element, replacing any file of that name. 1 on success;
    // throws CXMLSettingsError for an invalid root name or a failed write.
    // The file is written as text without building a document, so nothing
    // needs COM here.
    static std::int32_t CreateDocument(const char* rootName, const char* fileName);

    // Path operations: the path is a printf format with its arguments. Its
    // first step is the root element, with or without a leading "/"; steps
    // may carry predicates of the form [@name="value"].
    bool NodeExists(const char* format, ...) DARVIK_PRINTF_FORMAT(2, 3);
    // Removes the selected node, and the whitespace text that followed it.
    bool RemoveNode(const char* format, ...) DARVIK_PRINTF_FORMAT(2, 3);
    // The "value" attribute of the selected element; empty when closed, when
    // nothing is selected or the element has no such attribute.
    std::string GetString(const char* format, ...) DARVIK_PRINTF_FORMAT(2, 3);
    // Sets the "value" attribute of the selected element, creating the
    // element and its missing ancestors first. False when closed or when the
    // path cannot be created below the root element.
    bool SetString(const char* value, const char* format, ...) DARVIK_PRINTF_FORMAT(3, 4);
    // Creates the selected element and its missing ancestors (with the
    // attributes of their predicates) unless it exists. False when closed or
    // when the path does not start at the root element.
    bool CreateNode(const char* format, ...) DARVIK_PRINTF_FORMAT(2, 3);

    std::int32_t OpenCount() const;
    // Full path of the loaded file; empty before the first successful Open.
    std::string FilePath() const;
    // Whether the object counts as having started the platform's component
    // runtime (COM on Windows): false only after an Open on a thread whose
    // COM already ran in another mode, which is then used as it is.
    bool ComInitialized() const;

   private:
    // Runs work(document) under m_documentLock; `absent` when no document is
    // loaded. A work that touches the object's own state is marked
    // REQUIRES(m_documentLock).
    template <class Result, class Work>
    Result WithDocument(Result absent, Work&& work) {
        brevane::CLockGuard guard(m_documentLock);
        if (!m_document) {
            return absent;
        }
        return work(*m_document);
    }
    // Expects a loaded document.
    bool CreateNodeLocked(const std::string& path) REQUIRES(m_documentLock);

    mutable brevane::CRecursiveLock m_openLock;
    std::int32_t m_openCount GUARDED_BY(m_openLock) = 0;
    std::int32_t m_comInitialized GUARDED_BY(m_openLock) = 1;

    mutable brevane::CRecursiveLock m_documentLock;
    // Null while closed. Replaced only while both locks are held.
    std::unique_ptr<brevane::settings::SettingsDocument> m_document GUARDED_BY(m_documentLock);
    std::string m_filePath GUARDED_BY(m_documentLock);
};
