// Writes an MSXML document as the settings file's bytes, the same bytes the
// pugixml backend writes for the same document. Windows only.
//
// Stateless functions; the caller's thread must hold the document.
#pragma once

#include <string>

#include "settings/MsxmlHandles.h"

namespace brevane::settings::msxml {

// The file bytes of a document, in the charset its declaration's encoding
// names: pugixml's escapes with raw formatting, empty elements as <name/>,
// and a character the encoding cannot hold as a character reference where
// XML allows one and '?' elsewhere.
std::string WriteDocument(IXMLDOMNode* document);

}  // namespace brevane::settings::msxml
