// SettingsDocument: the XML document behind CXMLSettingsAPI, one backend per
// platform (pugixml on Linux, the MSXML 3.0 DOM over COM on Windows; CMake
// compiles one of SettingsDocumentPosix.cpp and SettingsDocumentWindows.cpp).
// The front decides what to build and where; a backend only selects nodes by
// path expression, changes them and writes the document as file bytes.
//
// Every text given or returned is 8-bit ISO-8859-1, like the front's. Path
// expressions select in document order from the document node; a failed
// expression throws CXMLSettingsError (InvalidPath), a name the document
// refuses throws InvalidName, and exhausted memory throws OutOfMemory.
//
// Owned by one CXMLSettingsAPI, which calls it under its document lock only:
// one thread at a time, though not always the same thread. It is made on the
// thread that opens the settings object and may be destroyed on another.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace brevane::settings {

class SettingsDocument {
   public:
    // What a path expression selects first.
    enum class Selected { Nothing, Element, Attribute, Other };

    // An element to append: `before` is a text node put ahead of it in the
    // parent, `inside` its only child (a text node), `after` a text node that
    // follows it in the parent. Empty texts still make text nodes.
    struct NewElement {
        std::string before;
        std::string name;
        std::vector<std::pair<std::string, std::string>> attributes;
        std::string inside;
        std::string after;
    };

    // Reads the file at `path` (whose bytes the caller found present and not
    // empty). Null when it is not well-formed XML with a root element or the
    // platform's XML runtime is not available.
    static std::unique_ptr<SettingsDocument> Load(const std::string& path);

    virtual ~SettingsDocument() = default;

    virtual Selected Select(const std::string& path) = 0;
    // Nodes from the selected one up to the document node, both counted
    // (2 for the root element); 0 when nothing is selected.
    virtual std::size_t Depth(const std::string& path) = 0;
    // Removes the selected attribute from its element, or the selected node
    // with the whitespace-only text that directly follows it (every such
    // text node up to the next other node: some DOMs merge adjacent text
    // nodes, and the result must not depend on that). False when nothing is
    // selected.
    virtual bool Remove(const std::string& path) = 0;
    // The attribute `name` of the selected element; empty when nothing or no
    // element is selected or it has no such attribute.
    virtual std::string GetAttribute(const std::string& path, const std::string& name) = 0;
    // Sets (adding at the end when missing) the attribute `name` of the
    // selected element, which must exist.
    virtual void SetAttribute(const std::string& path, const std::string& name, const std::string& value) = 0;
    // Appends `element` (see NewElement) to the selected element, which must
    // exist.
    virtual void Append(const std::string& parentPath, const NewElement& element) = 0;

    // The document as the bytes of its file, in the encoding its declaration
    // names: each top-level node on a line of its own, everything inside the
    // root element exactly as it stands.
    virtual std::string Serialize() = 0;

    // True when loading this document started the platform's component
    // runtime on the opening thread (or, where there is none, always).
    virtual bool StartedComponentRuntime() const = 0;
};

}  // namespace brevane::settings
