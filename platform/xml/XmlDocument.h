// Reading XML documents that arrive from files (persisted recordsets, settings, directives, SQL
// command files) so that no document, however hostile, can crash a reader: absurd nesting is
// refused when the document is read, and subtrees are removed without recursion.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <stdexcept>
#include <string>

namespace xmldoc {

// The deepest element nesting a document may have; the documents the system reads need about
// ten levels.
constexpr std::size_t kMaxXmlDepth = 256;

// A document that cannot be read: the message says why (and names the file where one is read).
class EXmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses `size` bytes at `buffer` (UTF-8) in place into `doc`; the buffer must outlive the
// document. Raises EXmlError "malformed XML (<fault> at offset <n>)" or "elements nested deeper
// than 256 levels"; callers add the name of the document.
void ParseInPlace(pugi::xml_document& doc, char* buffer, std::size_t size);

// Reads the file `fileName` into `doc`. Raises EXmlError "Cannot read XML file '<name>': <fault>"
// when the file cannot be read, is malformed or is nested too deeply.
void LoadFile(pugi::xml_document& doc, const std::string& fileName);

// Removes `node` and everything below it from its parent. The library's own removal recurses
// once per level, so a deep subtree is taken apart leaf by leaf. A null node is left alone.
void RemoveSubtree(pugi::xml_node node);

}  // namespace xmldoc
